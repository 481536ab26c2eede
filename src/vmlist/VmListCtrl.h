// The main window's list of machines: one row per machine, four cells.
#pragma once

#include "ListViewCtrl.h"
#include "brevantix.h"

#include <string>
#include <vector>

// The four cells of a row, read from a record within each field's bounds.
struct VmRow {
    std::string name;
    std::string arch;
    std::string target;
    std::string cpu;

    static VmRow FromRecord(const EmulatorOptions& options);
};

class CVmListCtrl : public CListViewCtrl {
    Q_OBJECT
public:
    explicit CVmListCtrl(QWidget* parent = nullptr);
    ~CVmListCtrl() override;

    // Inserts one row, not selected; an index beyond the end appends.
    // Returns the row's actual position.
    int InsertRow(int index, const VmRow& row);
    // Appends many rows at once, with one relayout instead of one per row.
    void AppendRows(const std::vector<VmRow>& rows);

private:
    void SetCells(int position, const VmRow& row);
};
