#pragma once

#include <QDialog>

namespace Ui {
class TfNewFolder;
}

// Asks the name of a sub-folder to create in the folder shown.
class TfNewFolder : public QDialog
{
    Q_OBJECT
public:
    explicit TfNewFolder(const QString &parentFolder, QWidget *parent = nullptr);
    ~TfNewFolder() override;

    // The name as typed.
    QString folderName() const;

private:
    Ui::TfNewFolder *ui;
};
