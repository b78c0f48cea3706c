#include "views/PatientGridModel.h"

#include "platform/LocalTables.h"

namespace {

struct Column {
    const char *field;
    const char16_t *title;
};

const Column kColumns[] = {{"NOM", u"Nom"}, {"PRENOM", u"Prénom"}, {"NE_LE", u"Né(e) le"}};
constexpr int kBirthDateColumn = 2;

} // namespace

PatientGridModel::PatientGridModel(QObject *parent) : QAbstractTableModel(parent)
{
}

void PatientGridModel::setDataSet(LocalDataSet *dataSet)
{
    if (dataSet == m_dataSet)
        return;
    beginResetModel();
    for (const auto &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_dataSet = dataSet;
    if (dataSet) {
        m_connections << connect(dataSet, &LocalDataSet::afterOpen, this, &PatientGridModel::reset)
                      << connect(dataSet, &LocalDataSet::afterClose, this, &PatientGridModel::reset)
                      << connect(dataSet, &LocalDataSet::rowsChanged, this, &PatientGridModel::reset);
    }
    endResetModel();
}

void PatientGridModel::reset()
{
    beginResetModel();
    endResetModel();
}

int PatientGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_dataSet || !m_dataSet->isActive() ? 0 : m_dataSet->recordCount();
}

int PatientGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(std::size(kColumns));
}

QVariant PatientGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_dataSet || !m_dataSet->isActive())
        return {};
    if (role == Qt::TextAlignmentRole && index.column() == kBirthDateColumn)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return {};
    const int field = m_dataSet->fieldIndex(QLatin1String(kColumns[index.column()].field));
    return field < 0 ? QVariant() : QVariant(m_dataSet->displayText(index.row(), field));
}

QVariant PatientGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return QString::fromUtf16(kColumns[section].title);
    if (role == Qt::TextAlignmentRole && section == kBirthDateColumn)
        return int(Qt::AlignCenter);
    return {};
}
