#include "core/Uabout.h"

#include "ui_Uabout.h"

#include "core/MakerContact.h"
#include "platform/ProgramFolder.h"

#include <QApplication>
#include <QFileInfo>

TfAbout::TfAbout(UpdateSearch::Needs needs, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
    , ui(new Ui::TfAbout)
    , m_search(std::move(needs))
{
    ui->setupUi(this);
    connect(ui->bSearchUpdate, &QToolButton::clicked, this, [this] { bSearchUpdateClick(); });
    connect(ui->BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    FormCreate();
}

TfAbout::~TfAbout()
{
    delete ui;
}

QString TfAbout::versionLine(const ModuleVersions::FileVersion &version, const QDateTime &fileDate)
{
    return QStringLiteral("Tolvarenix Light version ") + version.text() + QStringLiteral(" du ")
         + fileDate.date().toString(QStringLiteral("dd/MM/yyyy"));
}

void TfAbout::FormCreate()
{
    m_version = ModuleVersions::GetFileVersion(ProgramFolder::programFile());
    m_fileDate = QFileInfo(ProgramFolder::programFile()).lastModified();
    ui->lVersion->setText(versionLine(m_version, m_fileDate));

    ui->Label1->setText(QStringLiteral("Tolvarenix Light"));
    ui->lDemo->setText(QStringLiteral("VERSION ALLÉGÉE"));
    ui->Label8->setText(
        QStringLiteral("Tolvarenix ne possède pas de lien avec toute autre structure active dans le domaine"));
    ui->Label9->setText(QStringLiteral("de la santé."));
    ui->Label2->setText(QStringLiteral("Pour tout renseignement, contactez Tolvarenix :"));
    ui->lTelephone->setText(QStringLiteral("Téléphone : ") + MakerContact::telephone());
    ui->bSearchUpdate->setText(QStringLiteral("Rechercher les mises à jour"));
    setWindowTitle(QStringLiteral("A propos de Tolvarenix Light"));

    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull())
        ui->Image1->setPixmap(icon.pixmap(37, 37));
}

void TfAbout::bSearchUpdateClick()
{
    m_search.run();
}

QLabel *TfAbout::label(const char *name) const
{
    return findChild<QLabel *>(QLatin1String(name));
}

QToolButton *TfAbout::bSearchUpdate() const
{
    return ui->bSearchUpdate;
}
