#include "VmListCtrl.h"

#include "RecordText.h"

VmRow VmRow::FromRecord(const EmulatorOptions& options) {
    const GeneralOptions& g = options.general;
    return VmRow{GetField(g.name), GetField(g.arch), GetField(g.target), GetField(g.cpu)};
}

CVmListCtrl::CVmListCtrl(QWidget* parent) : CListViewCtrl(parent) {}

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
