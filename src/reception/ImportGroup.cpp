#include "reception/ImportGroup.h"

#include "platform/LocalTables.h"

namespace {
const QString kFileSavepoint = QStringLiteral("report_file");
}

ImportGroup::ImportGroup(QString folder, DeletionQueue &deletions)
    : m_folder(std::move(folder))
    , m_deletions(deletions)
{
}

ImportGroup::~ImportGroup() = default;

void ImportGroup::beginFile()
{
    if (!m_transaction) {
        m_transaction = std::make_unique<LocalTransaction>(m_folder);
        m_started.start();
    }
    m_transaction->savepoint(kFileSavepoint);
}

void ImportGroup::keepFile(const QString &name, const QStringList &filesToDelete, const QString &folderToRemove)
{
    m_transaction->release(kFileSavepoint);
    m_pending << Pending{name, {filesToDelete, folderToRemove}};
}

void ImportGroup::dropFile()
{
    // The group may have failed to begin.
    if (m_transaction)
        m_transaction->rollbackTo(kFileSavepoint);
}

std::optional<ImportGroup::Failure> ImportGroup::commit()
{
    if (!m_transaction)
        return std::nullopt;
    const std::unique_ptr<LocalTransaction> transaction = std::move(m_transaction);
    const QList<Pending> pending = std::exchange(m_pending, {});
    try {
        transaction->commit();
    } catch (const std::exception &error) {
        Failure failure{{}, QString::fromUtf8(error.what())};
        for (const Pending &file : pending)
            failure.names << file.name;
        try {
            transaction->rollback();
        } catch (const std::exception &rollbackError) {
            failure.message += QLatin1Char(' ') + QString::fromUtf8(rollbackError.what());
        }
        return failure;
    }
    QList<DeletionQueue::Entry> deletions;
    deletions.reserve(pending.size());
    for (const Pending &file : pending)
        deletions << file.deletion;
    m_deletions.add(std::move(deletions));
    return std::nullopt;
}
