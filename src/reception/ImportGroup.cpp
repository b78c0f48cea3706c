#include "reception/ImportGroup.h"

#include "platform/LocalTables.h"

#include <QFile>
#include <QScopeGuard>

namespace {
const QString kFileSavepoint = QStringLiteral("report_file");
const QString kEndedByEngine = QStringLiteral("la base de données locale a annulé les enregistrements en cours.");
}

ImportGroup::ImportGroup(QString folder, DeletionQueue &deletions)
    : m_folder(std::move(folder))
    , m_deletions(deletions)
{
}

ImportGroup::~ImportGroup()
{
    if (m_transaction)
        removeCopies(m_pending);
}

void ImportGroup::removeCopies(const QStringList &copies)
{
    for (const QString &copy : copies)
        QFile::remove(copy);
}

void ImportGroup::removeCopies(const QList<Pending> &pending)
{
    for (const Pending &file : pending)
        removeCopies(file.copies);
}

bool ImportGroup::stillRunning()
{
    if (m_transaction && m_transaction->isRunning())
        return true;
    if (m_broken.isEmpty())
        m_broken = kEndedByEngine;
    return false;
}

void ImportGroup::requireRunning()
{
    stillRunning();
    if (!m_broken.isEmpty())
        throw LocalTablesError(m_broken);
}

bool ImportGroup::isBroken() const
{
    return !m_broken.isEmpty() || (m_transaction && !m_transaction->isRunning());
}

void ImportGroup::beginFile()
{
    m_undo.clear();
    if (!m_transaction) {
        m_transaction = std::make_unique<LocalTransaction>(m_folder);
        m_started.start();
    }
    requireRunning();
    m_transaction->savepoint(kFileSavepoint);
    m_changesAtSavepoint = m_transaction->changes();
}

bool ImportGroup::leaveUnusedSavepoint()
{
    if (!stillRunning() || m_transaction->changes() != m_changesAtSavepoint)
        return false;
    m_transaction->release(kFileSavepoint);
    return true;
}

void ImportGroup::reenterSavepoint(std::function<void()> undo)
{
    if (!stillRunning())
        return;
    if (undo)
        m_undo.push_back(std::move(undo));
    m_transaction->savepoint(kFileSavepoint);
    m_changesAtSavepoint = m_transaction->changes();
}

void ImportGroup::keepFile(const QString &name, const QStringList &filesToDelete, const QString &folderToRemove,
                           const QStringList &copies)
{
    m_undo.clear();
    if (stillRunning())
        m_transaction->release(kFileSavepoint);
    m_pending << Pending{name, {filesToDelete, folderToRemove}, copies};
}

void ImportGroup::dropFile(const QStringList &copies)
{
    // Whatever becomes of its rows.
    const auto removed = qScopeGuard([&copies] { removeCopies(copies); });
    std::vector<std::function<void()>> undo = std::exchange(m_undo, {});
    // The group may have failed to begin, or the engine may have ended it.
    if (!m_transaction || !stillRunning())
        return;
    m_transaction->rollbackTo(kFileSavepoint);
    try {
        for (auto step = undo.rbegin(); step != undo.rend(); ++step)
            (*step)();
    } catch (const std::exception &error) {
        // Left half undone, the file's rows would be committed with the
        // others: the whole group is given up instead, its files kept.
        m_broken = QString::fromUtf8(error.what());
        throw;
    }
}

std::optional<ImportGroup::Failure> ImportGroup::commit()
{
    if (!m_transaction)
        return std::nullopt;
    stillRunning();
    const std::unique_ptr<LocalTransaction> transaction = std::move(m_transaction);
    const QList<Pending> pending = std::exchange(m_pending, {});
    const QString broken = std::exchange(m_broken, {});
    try {
        if (!broken.isEmpty())
            throw LocalTablesError(broken);
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
        removeCopies(pending);
        return failure;
    }
    QList<DeletionQueue::Entry> deletions;
    deletions.reserve(pending.size());
    for (const Pending &file : pending)
        deletions << file.deletion;
    m_deletions.add(std::move(deletions));
    return std::nullopt;
}
