#pragma once
// The rows of the resource editor's grid flgData: "Num", "STN",
// "PCD Variables", "Headline Texts". The numbers are the row positions, so
// they stay consecutive whatever is inserted, removed or moved; there is
// always at least one row.

#include <QAbstractTableModel>
#include <vector>

#include "tasks/ResourceRows.h"

namespace pelkor {

class ResourceGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ResourceGridModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    const std::vector<ResourceRow>& Rows() const { return rows_; }
    void SetRows(std::vector<ResourceRow> rows);
    const ResourceRow& Row(int r) const { return rows_.at(static_cast<std::size_t>(r)); }
    // Column 1 station, 2 variable, 3 headline.
    void SetCell(int r, int column, const std::string& text);
    void AppendRow();
    void InsertRow(int r);
    // The last row is emptied instead of removed.
    void RemoveRow(int r);
    // Exchanges the contents of two rows (their numbers stay).
    void SwapRows(int a, int b);

private:
    std::vector<ResourceRow> rows_;
};

} // namespace pelkor
