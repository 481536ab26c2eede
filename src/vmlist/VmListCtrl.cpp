#include "vmlist/VmListCtrl.h"

#include "config/RecordText.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QStyle>
#include <algorithm>

namespace {

// The state a row's indicator shows, kept on the name cell.
constexpr int kRunStateRole = Qt::UserRole + 2;

} // namespace

VmRow VmRow::FromRecord(const EmulatorOptions& options) {
    const GeneralOptions& g = options.general;
    return VmRow{GetField(g.name), GetField(g.arch), GetField(g.target), GetField(g.cpu)};
}

CVmListCtrl::CVmListCtrl(QWidget* parent) : CListViewCtrl(parent) {
    // The indicator fits the fixed row height.
    const int side = std::max(8, fontMetrics().height() - 4);
    setIconSize(QSize(side, side));
}

CVmListCtrl::~CVmListCtrl() = default;

int CVmListCtrl::InsertRow(int index, const VmRow& row) {
    const int position = InsertItem(index, row.name);
    SetCells(position, row);
    return position;
}

void CVmListCtrl::AppendRows(const std::vector<VmRow>& rows) {
    if (rows.empty())
        return;
    // Growing the row count once keeps the header and the model from
    // relaying out after every row.
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    const int first = GetItemCount();
    setRowCount(first + static_cast<int>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i)
        SetCells(first + static_cast<int>(i), rows[i]);
    setUpdatesEnabled(updates);
}

void CVmListCtrl::SetCells(int position, const VmRow& row) {
    SetItemText(position, 0, row.name);
    SetItemText(position, 1, row.arch);
    SetItemText(position, 2, row.target);
    SetItemText(position, 3, row.cpu);
}

void CVmListCtrl::SetRunIndicator(int row, VmRunState state) {
    QTableWidgetItem* cell = item(row, 0);
    if (!cell)
        return;
    if (state != VmRunState::Running && state != VmRunState::Paused)
        state = VmRunState::Unknown;
    // Most rows keep what they show; leaving them untouched spares the view a
    // repaint per row when every state is read.
    if (RunIndicator(row) == state)
        return;
    cell->setData(kRunStateRole, static_cast<int>(state));
    switch (state) {
    case VmRunState::Running:
        cell->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
        break;
    case VmRunState::Paused:
        cell->setIcon(style()->standardIcon(QStyle::SP_MediaPause));
        break;
    default:
        cell->setIcon(QIcon());
        break;
    }
}

VmRunState CVmListCtrl::RunIndicator(int row) const {
    const QTableWidgetItem* cell = item(row, 0);
    const QVariant state = cell ? cell->data(kRunStateRole) : QVariant();
    return state.isValid() ? static_cast<VmRunState>(state.toInt()) : VmRunState::Unknown;
}

void CVmListCtrl::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    // A keyboard request also arrives as the key press itself (some window
    // systems send both), which opens the menu; taking both would open it twice.
    if (event->reason() == QContextMenuEvent::Mouse)
        emit ContextMenuRequested(indexAt(event->pos()).row(), event->globalPos());
}

void CVmListCtrl::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Menu && modifiers == Qt::NoModifier) ||
        (event->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
        event->accept();
        RequestMenuByKeyboard();
        return;
    }
    CListViewCtrl::keyPressEvent(event);
}

void CVmListCtrl::RequestMenuByKeyboard() {
    const int row = GetFirstSelected();
    QPoint at = viewport()->rect().topLeft();
    if (row >= 0) {
        scrollTo(model()->index(row, 0));
        const QRect cell = visualRect(model()->index(row, 0));
        at = QPoint(cell.center().x(), cell.bottom());
    }
    emit ContextMenuRequested(row, viewport()->mapToGlobal(at));
}
