#include "views/FieldColumnsModel.h"

#include <QItemSelectionModel>
#include <QTableView>

FieldColumnsModel::FieldColumnsModel(LocalDataSet *dataSet, QList<GridColumn> columns, QObject *parent)
    : LocalDataSetModel(dataSet, parent), m_columns(std::move(columns))
{
}

int FieldColumnsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

int FieldColumnsModel::fieldIndex(int column) const
{
    LocalDataSet *set = dataSet();
    if (!set || !set->isActive() || column < 0 || column >= m_columns.size())
        return -1;
    return set->fieldIndex(m_columns.at(column).field);
}

QVariant FieldColumnsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(m_columns.at(index.column()).alignment);
    if (role != Qt::DisplayRole)
        return {};
    const int field = fieldIndex(index.column());
    return field < 0 ? QString() : dataSet()->displayText(index.row(), field);
}

QVariant FieldColumnsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) {
        const GridColumn &column = m_columns.at(section);
        return column.title.isEmpty() ? column.field : column.title;
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

void FollowCurrentRow(QTableView *view, LocalDataSet *dataSet)
{
    QPointer<LocalDataSet> guarded(dataSet);
    const auto selectCurrent = [view, guarded] {
        if (!guarded || !view->model())
            return;
        const int row = guarded->recNo();
        if (row < 0 || row >= view->model()->rowCount())
            return;
        if (view->currentIndex().row() != row)
            view->selectRow(row);
    };
    QObject::connect(dataSet, &LocalDataSet::afterScroll, view, selectCurrent);
    QObject::connect(view->model(), &QAbstractItemModel::modelReset, view, selectCurrent);
    QObject::connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, view,
                     [guarded](const QModelIndex &current) {
                         if (guarded && current.isValid() && guarded->recNo() != current.row())
                             guarded->moveTo(current.row());
                     });
}
