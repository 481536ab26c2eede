// Report-style list view: item view with centred columns, full-row
// selection, several rows selectable, no sorting; Tab and Shift+Tab leave it
// for the dialog's next and previous control. Click notifications carry
// the row under the mouse, or -1 when the click hit no row. The rows live in
// its model; callers that need a row's cells read them there.
#pragma once

#include "dialog/ListRows.h"

#include <QTableView>
#include <string>

class QTimer;

class CListViewCtrl : public QTableView {
    Q_OBJECT
public:
    explicit CListViewCtrl(QWidget* parent = nullptr);
    ~CListViewCtrl() override;

    void InsertColumn(int column, const std::string& heading, int width);
    // Inserts a row at `index` (beyond the end: appends) with `text` in
    // column 0; returns the row's actual position.
    int InsertItem(int index, const std::string& text);
    void SetItemText(int row, int column, const std::string& text);
    std::string GetItemText(int row, int column) const;
    void DeleteItem(int row);
    int GetItemCount() const;
    // First selected row in list order; -1 when none.
    int GetFirstSelected() const;
    int ClientWidth() const;

    CListRows& ListRows() { return *m_rows; }
    const CListRows& ListRows() const { return *m_rows; }

    // Grid lines; selection drawn only while the list has the focus.
    void SetGridLines(bool on);
    void SetSelectionOnlyWhenFocused(bool on);
    // A row becomes selected when the pointer rests on it.
    void SetHotTrack(bool on);

signals:
    void Clicked(int row);
    void DoubleClicked(int row);

protected:
    bool viewportEvent(QEvent* event) override;

private:
    CListRows* m_rows;
    bool m_hotTrack = false;
    bool m_pressed = false;    // a left press in the viewport awaits its release
    int m_pressRow = -1;       // the row under that press
    QPoint m_hoverPos{-1, -1}; // where the pointer last moved, for hot tracking
    QTimer* m_hoverTimer = nullptr;
};
