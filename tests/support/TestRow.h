// Data rows of table-driven tests, one call a row.
#pragma once

#include <QTest>

// One data row, its values in column order.
template <class... Values> void Row(const char* name, const Values&... values) {
    (QTest::newRow(name) << ... << values);
}
