// Reading and clicking the rows of a report list, as the lists' tests share.
#pragma once

#include "dialog/ListViewCtrl.h"

#include <QStringList>
#include <QTest>

namespace ListTest {

// Every row's cells from the list's model, joined "a|b|...".
inline QStringList Rows(const CListViewCtrl* list) {
    const CListRows& rows = list->ListRows();
    QStringList all;
    for (int r = 0; r < rows.RowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < rows.ColumnCount(); ++c)
            cells << QString::fromStdString(rows.Text(r, c));
        all << cells.join(QLatin1Char('|'));
    }
    return all;
}

inline QPoint RowCentre(const CListViewCtrl* list, int row) {
    return list->visualRect(list->model()->index(row, 0)).center();
}

inline void ClickRow(CListViewCtrl* list, int row,
                     Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, RowCentre(list, row));
}

} // namespace ListTest
