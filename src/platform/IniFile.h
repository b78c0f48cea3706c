#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

// The program's configuration file: INI sections and keys found without
// regard to letter case (as on the platform the file format comes from),
// opened for each call and closed at once. The file is kept private to the
// user (mode 0600) since it holds scrambled passwords.
class IniFile
{
public:
    explicit IniFile(QString fileName);

    QString readString(const QString &section, const QString &key, const QString &defaultValue = {}) const;
    // Missing key or a text that is not a whole number gives the default.
    int readInteger(const QString &section, const QString &key, int defaultValue) const;
    bool hasKey(const QString &section, const QString &key) const;

    // False when the file could not be written. Only the key's own line
    // changes (or is added to its section): the file's other lines, its
    // comments and the order of its keys stay as they were.
    bool writeString(const QString &section, const QString &key, const QString &value);
    bool writeInteger(const QString &section, const QString &key, int value);

    struct Entry {
        QString section;
        QString key;
        QString value;
    };
    // Several keys at once, as writeString one after the other would leave
    // the file, with one read and at most one save: none when every value is
    // already stored as it would be written. False when the file could not
    // be written (then nothing of the batch is).
    bool writeStrings(const QList<Entry> &entries);

    const QString &fileName() const { return m_fileName; }

private:
    bool save(const QList<QByteArray> &lines) const;

    QString m_fileName;
};
