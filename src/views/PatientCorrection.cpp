#include "views/PatientCorrection.h"

#include "core/LogWriter.h"
#include "core/RemoteSqlText.h"
#include "platform/TextRules.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

bool PatientCorrection::send(const Needs &needs, int prestId, const QString &nom, const QString &prenom,
                             const QString &neLe, const QString &newNom, const QString &newPrenom,
                             const QString &newNeLe)
{
    if (!needs.connect || !needs.connect(true))
        return false;
    if (needs.setStatus)
        needs.setStatus(QStringLiteral("Envoi de la correction du patient..."));
    using TextRules::upperAZ;
    if (upperAZ(nom) == upperAZ(newNom) && upperAZ(prenom) == upperAZ(newPrenom) && upperAZ(neLe) == upperAZ(newNeLe))
        return false;
    // A row without its provider would reach nobody, or the wrong provider.
    if (prestId < 0) {
        LogWriter::write(QStringLiteral("Correction du patient [") + nom + u' ' + prenom
                         + QStringLiteral("] non envoyée : le prestataire de l'expéditeur est inconnu."));
        return false;
    }

    QSqlQuery query(QSqlDatabase::database(needs.connectionName, false));
    bool done = query.prepare(QStringLiteral(
        "Insert into client2prestCorrections (Prest_id, Nom, Prenom, Ne_le, NewNom, NewPrenom, NewNe_le) values "
        "(:prest_id, :nom, :prenom, :ne_le, :newNom, :newPrenom, :newNe_le)"));
    if (done) {
        query.bindValue(QStringLiteral(":prest_id"), prestId);
        query.bindValue(QStringLiteral(":nom"), remoteText(nom));
        query.bindValue(QStringLiteral(":prenom"), remoteText(prenom));
        query.bindValue(QStringLiteral(":ne_le"), remoteText(neLe));
        query.bindValue(QStringLiteral(":newNom"), remoteText(newNom));
        query.bindValue(QStringLiteral(":newPrenom"), remoteText(newPrenom));
        query.bindValue(QStringLiteral(":newNe_le"), remoteText(newNeLe));
        done = query.exec();
    }
    if (!done)
        LogWriter::write(QStringLiteral("Erreur lors de l'envoi de la correction du patient [") + nom + u' ' + prenom
                         + QStringLiteral("] au prestataire : ") + query.lastError().text());
    return done;
}
