#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What the import does with the files around the reports it read: a copy
// of a declined report, and the documents no report took.
namespace ImportHousekeeping {

// A copy of a declined report beside it, so that the report stays whole
// waiting should its group not be committed; false when it could not be
// made (the report then stays).
bool keepDeclinedCopy(const QString &path);

// A documents folder goes where its report went: a report waiting or set
// aside keeps it; once the report is gone, what it did not register is set
// aside under its name, and a folder holding nothing but system leftovers
// goes. The folders set aside, for tellUnregistered.
QStringList setLeftFoldersAside();

// A document a report named that no patient got: two different files
// received under its name are kept.
struct ContestedDocument {
    QString report;  // the report file
    QString patient; // as identified for its block
    QString name;    // as its PJ line names it
};

// Tells the physician, in one box, of the documents no patient got: which
// report named which contested name and where its files are, then the
// folders set aside.
void tellUnregistered(const QStringList &kept, const QList<ContestedDocument> &contested);

} // namespace ImportHousekeeping
