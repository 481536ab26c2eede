#include "dialog/ListViewCtrl.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

namespace {

// How long the pointer rests on a row before hot tracking selects it.
constexpr int kHoverMs = 400;

} // namespace

CListViewCtrl::CListViewCtrl(QWidget* parent) : QTableView(parent), m_rows(new CListRows(this)) {
    setModel(m_rows);
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
    // A list is one stop in its dialog's tab order: Tab and Shift+Tab go on
    // to the neighbouring controls, the arrows move within the rows.
    setTabKeyNavigation(false);
}

CListViewCtrl::~CListViewCtrl() = default;

void CListViewCtrl::InsertColumn(int column, const std::string& heading, int width) {
    setColumnWidth(m_rows->InsertColumn(column, heading), std::max(0, width));
}

int CListViewCtrl::InsertItem(int index, const std::string& text) {
    return m_rows->InsertRow(index, text);
}

void CListViewCtrl::SetItemText(int row, int column, const std::string& text) {
    m_rows->SetText(row, column, text);
}

std::string CListViewCtrl::GetItemText(int row, int column) const {
    return m_rows->Text(row, column);
}

void CListViewCtrl::DeleteItem(int row) {
    m_rows->RemoveRow(row);
}

int CListViewCtrl::GetItemCount() const {
    return m_rows->RowCount();
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
            const bool handled = QTableView::viewportEvent(event);
            emit DoubleClicked(indexAt(e->position().toPoint()).row());
            return handled;
        }
        break;
    }
    case QEvent::MouseButtonRelease: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton && m_pressed) {
            m_pressed = false;
            const bool handled = QTableView::viewportEvent(event);
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
    return QTableView::viewportEvent(event);
}
