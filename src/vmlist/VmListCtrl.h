// The main window's list of machines: one row per machine, four cells.
#pragma once

#include "app/backend/brevantix.h"
#include "dialog/ListViewCtrl.h"
#include "vmlist/VmRunState.h"

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

    // The running indicator: an icon beside the name of a running or paused
    // machine. The cell's text stays the name, the machine's key.
    void SetRunIndicator(int row, VmRunState state);
    // Running or Paused while the row shows that indicator; else Unknown.
    VmRunState RunIndicator(int row) const;

signals:
    // The context menu is asked for: by the mouse for the row under the
    // pointer, by the Menu key or Shift+F10 for the first selected row; -1
    // when there is no such row. `globalPos`: where the menu goes. Never
    // while CVmContextMenu::Offered() says no: then the list takes the mouse
    // and the keys as a plain table view does.
    void ContextMenuRequested(int row, const QPoint& globalPos);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetCells(int position, const VmRow& row);
    void RequestMenuByKeyboard();
};
