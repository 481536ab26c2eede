#include "vmlist/VmListCtrl.h"

#include "config/RecordText.h"
#include "vmlist/VmContextMenu.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QStyle>
#include <algorithm>

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
    // One insertion keeps the header and the view from relaying out after
    // every row.
    std::vector<CListRows::Cells> cells;
    cells.reserve(rows.size());
    for (const VmRow& row : rows)
        cells.push_back({row.name, row.arch, row.target, row.cpu});
    ListRows().AppendRows(std::move(cells));
}

void CVmListCtrl::SetCells(int position, const VmRow& row) {
    SetItemText(position, 0, row.name);
    SetItemText(position, 1, row.arch);
    SetItemText(position, 2, row.target);
    SetItemText(position, 3, row.cpu);
}

void CVmListCtrl::SetRunIndicator(int row, VmRunState state) {
    if (row < 0 || row >= GetItemCount())
        return;
    if (state != VmRunState::Running && state != VmRunState::Paused)
        state = VmRunState::Unknown;
    // Most rows keep what they show; leaving them untouched spares the view a
    // repaint per row when every state is read.
    if (RunIndicator(row) == state)
        return;
    QIcon mark;
    if (state == VmRunState::Running)
        mark = style()->standardIcon(QStyle::SP_MediaPlay);
    else if (state == VmRunState::Paused)
        mark = style()->standardIcon(QStyle::SP_MediaPause);
    ListRows().SetRowState(row, static_cast<int>(state), mark);
}

VmRunState CVmListCtrl::RunIndicator(int row) const {
    // A new row's state, 0, is Unknown.
    return static_cast<VmRunState>(ListRows().RowState(row));
}

void CVmListCtrl::contextMenuEvent(QContextMenuEvent* event) {
    if (!CVmContextMenu::Offered()) {
        CListViewCtrl::contextMenuEvent(event);
        return;
    }
    event->accept();
    // A keyboard request also arrives as the key press itself (some window
    // systems send both), which opens the menu; taking both would open it twice.
    if (event->reason() == QContextMenuEvent::Mouse)
        emit ContextMenuRequested(indexAt(event->pos()).row(), event->globalPos());
}

void CVmListCtrl::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool menuKey = (event->key() == Qt::Key_Menu && modifiers == Qt::NoModifier) ||
                         (event->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
    if (menuKey && CVmContextMenu::Offered()) {
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
