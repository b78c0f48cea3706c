#pragma once

#include <QAbstractTableModel>
#include <QPointer>

class LocalDataSet;

// The three columns of the patient grid (name, first name, birth date) over
// whichever patient query the window shows; fields are found by name, so
// both queries may list them in their own order.
class PatientGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit PatientGridModel(QObject *parent = nullptr);

    void setDataSet(LocalDataSet *dataSet);
    LocalDataSet *dataSet() const { return m_dataSet; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void reset();

    QPointer<LocalDataSet> m_dataSet;
    QList<QMetaObject::Connection> m_connections;
};
