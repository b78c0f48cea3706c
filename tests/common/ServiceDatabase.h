#pragma once

// The private MariaDB of the test services through the real ODBC driver, under
// a connection name of the test's own. Header only: the tests that use it link
// Qt Sql through the program's libraries.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QString>
#include <QUuid>
#include <QVariant>

class ServiceDatabase
{
public:
    static bool available()
    {
        return !qEnvironmentVariable("TOLVARENIX_MARIADB_PASSWORD").isEmpty()
            && qEnvironmentVariableIntValue("TOLVARENIX_MARIADB_PORT") > 0;
    }

    // The service server takes TLS only, with a certificate of the test CA.
    static QString tlsOptions()
    {
        return "FORCETLS=1;SSLVERIFY=1;SSLCA={" + qEnvironmentVariable("TOLVARENIX_MARIADB_CA") + '}';
    }
    explicit ServiceDatabase(const QString &name = QStringLiteral("service-") + QUuid::createUuid().toString(QUuid::Id128))
        : m_name(name)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_name);
        db.setDatabaseName(QStringLiteral("DRIVER={/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so};SERVER=127.0.0.1;"
                                          "PORT=%1;DATABASE=Tolvarenix;CHARSET=utf8mb4;CONN_TIMEOUT=10;%2")
                               .arg(qEnvironmentVariableIntValue("TOLVARENIX_MARIADB_PORT"))
                               .arg(tlsOptions()));
        db.setUserName(QStringLiteral("tolvarenix"));
        db.setPassword(u'{' + qEnvironmentVariable("TOLVARENIX_MARIADB_PASSWORD") + u'}');
    }
    ~ServiceDatabase()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    ServiceDatabase(const ServiceDatabase &) = delete;
    ServiceDatabase &operator=(const ServiceDatabase &) = delete;

    QString name() const { return m_name; }
    QSqlDatabase database() const { return QSqlDatabase::database(m_name, false); }

    // As ConnectInternetDatabase: closed and opened again when asked.
    bool connect(bool reconnect)
    {
        ++connects;
        QSqlDatabase db = database();
        if (reconnect)
            db.close();
        return db.isOpen() || db.open();
    }
    bool connected() const { return database().isOpen(); }

    // Runs a statement with positional values; the first column of the first
    // row of a select, or an invalid value.
    QVariant exec(const QString &sql, const QVariantList &values = {}) const
    {
        const QStringList first = row(sql, values);
        return first.isEmpty() ? QVariant() : QVariant(first.first());
    }
    // The first row of a select, each column as text (NULL as "<null>").
    QStringList row(const QString &sql, const QVariantList &values = {}) const
    {
        QSqlDatabase db = database();
        if (!db.isOpen())
            db.open();
        QSqlQuery query(db);
        query.prepare(sql);
        for (const QVariant &value : values)
            query.addBindValue(value.typeId() == QMetaType::QString ? QVariant(value.toString().toUtf8()) : value);
        if (!query.exec())
            qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        QStringList columns;
        if (query.next()) {
            for (int i = 0; i < query.record().count(); ++i)
                columns << (query.value(i).isNull() ? QStringLiteral("<null>") : query.value(i).toString());
        }
        return columns;
    }

    int connects = 0;

private:
    QString m_name;
};
