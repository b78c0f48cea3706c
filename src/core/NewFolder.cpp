#include "core/NewFolder.h"

#include "ui_NewFolder.h"

TfNewFolder::TfNewFolder(const QString &parentFolder, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::TfNewFolder)
{
    ui->setupUi(this);
    // The layout holds the texts without accents.
    setWindowTitle(QStringLiteral("Création d'un dossier"));
    ui->lTitre->setText(QStringLiteral("Veuillez saisir le nom du dossier à créer :"));
    ui->lText1->setText(QStringLiteral("Le dossier sera créé dans le dossier suivant :"));
    ui->lRep->setText(parentFolder);
}

TfNewFolder::~TfNewFolder()
{
    delete ui;
}

QString TfNewFolder::folderName() const
{
    return ui->edNewFolder->text();
}
