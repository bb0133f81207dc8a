#pragma once
// The columns of a data-driven test in one call, types in the template arguments and names in
// the same order: addColumns<int, QString>("rate", "name") is QTest::addColumn<int>("rate")
// followed by QTest::addColumn<QString>("name"). A name missing or left over does not compile.

#include <QTest>

namespace korvane::test {

template <typename T> using ColumnName = const char *;

template <typename... Ts> void addColumns(ColumnName<Ts>... names) { (QTest::addColumn<Ts>(names), ...); }

// A test run twice, with one bool column: false in the row named whenFalse, true in whenTrue.
inline void addBoolRows(const char *column, const char *whenFalse, const char *whenTrue)
{
    QTest::addColumn<bool>(column);
    QTest::newRow(whenFalse) << false;
    QTest::newRow(whenTrue) << true;
}

} // namespace korvane::test
