// The rows of a report list: each cell's exact bytes, centred and read-only,
// and per row a state its owner defines with the mark drawn before the first
// cell. Cells may hold any bytes (names are the back end's keys); they are
// converted only to be shown.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <string>
#include <vector>

class CListRows : public QAbstractTableModel {
    Q_OBJECT
public:
    using Cells = std::vector<std::string>;

    explicit CListRows(QObject* parent = nullptr);
    ~CListRows() override;

    int ColumnCount() const { return static_cast<int>(m_headings.size()); }
    int RowCount() const { return static_cast<int>(m_rows.size()); }

    // `column` is clamped into 0..ColumnCount(); every row gains an empty
    // cell. Returns the column's actual position.
    int InsertColumn(int column, const std::string& heading);
    // Inserts a row at `index` (outside the rows: appends) with `text` in
    // column 0; returns the row's actual position.
    int InsertRow(int index, const std::string& text);
    // Appends many rows in one insertion; cells beyond the columns are dropped.
    void AppendRows(std::vector<Cells> rows);
    void RemoveRow(int row);
    // No rows and no columns.
    void Clear();

    // Out of range: ignored, or read as empty.
    void SetText(int row, int column, const std::string& text);
    std::string Text(int row, int column) const;

    // 0 with no mark until set.
    void SetRowState(int row, int state, const QIcon& mark);
    int RowState(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Row {
        Cells cells;
        int state = 0;
        QIcon mark;
    };

    bool Valid(int row, int column) const;

    std::vector<std::string> m_headings;
    std::vector<Row> m_rows;
};
