// Data rows of table-driven tests, one call a row.
#pragma once

#include <QTest>
#include <tuple>

// One data row, its values in column order.
template <class... Values> void Row(const char* name, const Values&... values) {
    (QTest::newRow(name) << ... << values);
}

// The columns of a data table, their types in order: Columns<int, QString>("n", "s").
template <class... Types, class... Names> void Columns(const Names&... names) {
    (QTest::addColumn<Types>(names), ...);
}

// The running row's values in the order named, for structured bindings:
// auto [n, s] = Fetch<int, QString>("n", "s").
template <class... Types, class... Names> std::tuple<Types...> Fetch(const Names&... names) {
    return {*static_cast<Types*>(QTest::qData(names, qMetaTypeId<Types>()))...};
}
