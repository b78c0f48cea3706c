#pragma once

#include "core/ModuleVersions.h"
#include "core/UpdateSearch.h"

#include <QDateTime>
#include <QDialog>

class QLabel;
class QToolButton;

namespace Ui {
class TfAbout;
}

// The about box: the program's name, version and file date, the maker's
// contact, and the update search (its button, or run directly from the
// main window's menu without showing the box).
class TfAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfAbout(UpdateSearch::Needs needs, QWidget *parent = nullptr);
    ~TfAbout() override;

    void bSearchUpdateClick();

    // "Tolvarenix Light version a.b.c.d du dd/MM/yyyy".
    static QString versionLine(const ModuleVersions::FileVersion &version, const QDateTime &fileDate);

    QLabel *label(const char *name) const;
    QToolButton *bSearchUpdate() const;

private:
    void FormCreate();

    Ui::TfAbout *ui;
    UpdateSearch m_search;
    ModuleVersions::FileVersion m_version;
    QDateTime m_fileDate;
};
