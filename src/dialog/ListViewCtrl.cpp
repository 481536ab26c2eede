#include "dialog/ListViewCtrl.h"

#include "dialog/MessageBox.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

namespace {

// The bytes a cell was set from when QString cannot give them back (invalid
// sequences): names in the list are the back end's keys and must stay exact.
constexpr int kBytesRole = Qt::UserRole + 1;
// How long the pointer rests on a row before hot tracking selects it.
constexpr int kHoverMs = 400;

QTableWidgetItem* NewItem(const std::string& text) {
    const QString s = FromLocal(text);
    auto* item = new QTableWidgetItem(s);
    item->setTextAlignment(Qt::AlignCenter);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (ToLocal(s) != text)
        item->setData(kBytesRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    return item;
}

} // namespace

CListViewCtrl::CListViewCtrl(QWidget* parent) : QTableWidget(parent) {
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

CListViewCtrl::~CListViewCtrl() = default;

void CListViewCtrl::InsertColumn(int column, const std::string& heading, int width) {
    column = std::clamp(column, 0, columnCount());
    insertColumn(column);
    auto* header = new QTableWidgetItem(FromLocal(heading));
    header->setTextAlignment(Qt::AlignCenter);
    setHorizontalHeaderItem(column, header);
    setColumnWidth(column, std::max(0, width));
}

int CListViewCtrl::InsertItem(int index, const std::string& text) {
    const int count = rowCount();
    if (index < 0 || index > count)
        index = count;
    insertRow(index);
    if (columnCount() > 0)
        setItem(index, 0, NewItem(text));
    return index;
}

void CListViewCtrl::SetItemText(int row, int column, const std::string& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return;
    setItem(row, column, NewItem(text));
}

std::string CListViewCtrl::GetItemText(int row, int column) const {
    const QTableWidgetItem* it = (row >= 0 && column >= 0) ? item(row, column) : nullptr;
    if (!it)
        return {};
    const QVariant bytes = it->data(kBytesRole);
    if (bytes.isValid()) {
        const QByteArray b = bytes.toByteArray();
        return std::string(b.constData(), static_cast<size_t>(b.size()));
    }
    return ToLocal(it->text());
}

void CListViewCtrl::DeleteItem(int row) {
    if (row >= 0 && row < rowCount())
        removeRow(row);
}

int CListViewCtrl::GetItemCount() const {
    return rowCount();
}

int CListViewCtrl::GetFirstSelected() const {
    int first = -1;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (first < 0 || range.top() < first)
            first = range.top();
    }
    return first;
}

int CListViewCtrl::ClientWidth() const {
    // The viewport is laid out only once the list is shown; the frame's
    // contents less a shown vertical scroll bar are known before.
    int width = contentsRect().width();
    if (verticalScrollBar()->isVisibleTo(this))
        width -= verticalScrollBar()->sizeHint().width();
    return std::max(0, width);
}

void CListViewCtrl::SetGridLines(bool on) {
    setShowGrid(on);
}

void CListViewCtrl::SetSelectionOnlyWhenFocused(bool on) {
    QPalette p = palette();
    const QPalette base = QPalette();
    if (on) {
        p.setColor(QPalette::Inactive, QPalette::Highlight,
                   p.color(QPalette::Inactive, QPalette::Base));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   p.color(QPalette::Inactive, QPalette::Text));
    } else {
        p.setColor(QPalette::Inactive, QPalette::Highlight,
                   base.color(QPalette::Inactive, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   base.color(QPalette::Inactive, QPalette::HighlightedText));
    }
    setPalette(p);
}

void CListViewCtrl::SetHotTrack(bool on) {
    m_hotTrack = on;
    viewport()->setMouseTracking(on || hasMouseTracking());
    if (on && !m_hoverTimer) {
        m_hoverTimer = new QTimer(this);
        m_hoverTimer->setSingleShot(true);
        m_hoverTimer->setInterval(kHoverMs);
        connect(m_hoverTimer, &QTimer::timeout, this, [this] {
            if (!m_hotTrack)
                return;
            const QModelIndex index = indexAt(m_hoverPos);
            if (!index.isValid())
                return;
            selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
        });
    }
}

bool CListViewCtrl::viewportEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton) {
            m_pressed = true;
            m_pressRow = indexAt(e->position().toPoint()).row();
        }
        break;
    }
    case QEvent::MouseButtonDblClick: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton) {
            m_pressed = false; // the release that ends a double click is no click
            const bool handled = QTableWidget::viewportEvent(event);
            emit DoubleClicked(indexAt(e->position().toPoint()).row());
            return handled;
        }
        break;
    }
    case QEvent::MouseButtonRelease: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton && m_pressed) {
            m_pressed = false;
            const bool handled = QTableWidget::viewportEvent(event);
            emit Clicked(m_pressRow);
            return handled;
        }
        break;
    }
    case QEvent::MouseMove:
        if (m_hotTrack) {
            m_hoverPos = static_cast<QMouseEvent*>(event)->position().toPoint();
            if (m_hoverTimer)
                m_hoverTimer->start();
        }
        break;
    case QEvent::Leave:
        if (m_hoverTimer)
            m_hoverTimer->stop();
        m_hoverPos = QPoint(-1, -1);
        break;
    default:
        break;
    }
    return QTableWidget::viewportEvent(event);
}
