#include "dialog/ListRows.h"

#include "dialog/MessageBox.h"

#include <algorithm>

CListRows::CListRows(QObject* parent) : QAbstractTableModel(parent) {}

CListRows::~CListRows() = default;

bool CListRows::Valid(int row, int column) const {
    return row >= 0 && row < RowCount() && column >= 0 && column < ColumnCount();
}

int CListRows::InsertColumn(int column, const std::string& heading) {
    column = std::clamp(column, 0, ColumnCount());
    beginInsertColumns(QModelIndex(), column, column);
    m_headings.insert(m_headings.begin() + column, heading);
    for (Row& row : m_rows)
        row.cells.insert(row.cells.begin() + column, std::string());
    endInsertColumns();
    return column;
}

int CListRows::InsertRow(int index, const std::string& text) {
    if (index < 0 || index > RowCount())
        index = RowCount();
    beginInsertRows(QModelIndex(), index, index);
    Row row;
    row.cells.resize(m_headings.size());
    if (!row.cells.empty())
        row.cells[0] = text;
    m_rows.insert(m_rows.begin() + index, std::move(row));
    endInsertRows();
    return index;
}

void CListRows::AppendRows(std::vector<Cells> rows) {
    if (rows.empty())
        return;
    const int first = RowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
    m_rows.reserve(m_rows.size() + rows.size());
    for (Cells& cells : rows) {
        cells.resize(m_headings.size());
        m_rows.push_back(Row{std::move(cells), 0, QIcon()});
    }
    endInsertRows();
}

void CListRows::RemoveRow(int row) {
    if (row < 0 || row >= RowCount())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void CListRows::Clear() {
    beginResetModel();
    m_rows.clear();
    m_headings.clear();
    endResetModel();
}

void CListRows::SetText(int row, int column, const std::string& text) {
    if (!Valid(row, column))
        return;
    m_rows[row].cells[column] = text;
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at, {Qt::DisplayRole});
}

std::string CListRows::Text(int row, int column) const {
    return Valid(row, column) ? m_rows[row].cells[column] : std::string();
}

void CListRows::SetRowState(int row, int state, const QIcon& mark) {
    if (row < 0 || row >= RowCount())
        return;
    m_rows[row].state = state;
    m_rows[row].mark = mark;
    if (ColumnCount() > 0) {
        const QModelIndex at = index(row, 0);
        emit dataChanged(at, at, {Qt::DecorationRole});
    }
}

int CListRows::RowState(int row) const {
    return row >= 0 && row < RowCount() ? m_rows[row].state : 0;
}

int CListRows::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RowCount();
}

int CListRows::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount();
}

QVariant CListRows::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !Valid(index.row(), index.column()))
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return FromLocal(m_rows[index.row()].cells[index.column()]);
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    case Qt::DecorationRole:
        if (index.column() == 0 && !m_rows[index.row()].mark.isNull())
            return m_rows[index.row()].mark;
        return {};
    default:
        return {};
    }
}

QVariant CListRows::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount())
        return {};
    if (role == Qt::DisplayRole)
        return FromLocal(m_headings[section]);
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    return {};
}

Qt::ItemFlags CListRows::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}
