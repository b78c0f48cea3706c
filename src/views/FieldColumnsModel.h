#pragma once

#include "platform/LocalTables.h"

#include <QList>

class QTableView;

// One grid column: the field it shows (a field the data set lacks stays
// empty), its title (the field name when empty) and the cell alignment.
struct GridColumn
{
    QString field;
    QString title;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

// Read-only grid model over a data set with chosen columns, in the data
// set's row order. Follows the data set's opening, closing and changes.
class FieldColumnsModel : public LocalDataSetModel
{
    Q_OBJECT
public:
    FieldColumnsModel(LocalDataSet *dataSet, QList<GridColumn> columns, QObject *parent = nullptr);

    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const QList<GridColumn> &columns() const { return m_columns; }
    // Index of the column's field in the data set, -1 when it has none.
    int fieldIndex(int column) const;

private:
    QList<GridColumn> m_columns;
};

// Keeps a grid's selected row and the data set's current row together, as a
// data-aware grid does: choosing a row moves the data set, moving the data
// set selects its row.
void FollowCurrentRow(QTableView *view, LocalDataSet *dataSet);
