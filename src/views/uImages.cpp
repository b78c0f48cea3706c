#include "views/uImages.h"

#include "core/Common.h"
#include "core/ScreenPlacement.h"
#include "views/FieldColumnsModel.h"
#include "core/Globals.h"
#include "views/ObservanceDisplay.h"

#include "platform/Dialogs.h"
#include "ui_uImages.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>

#include <algorithm>

namespace {

const QString kAll = QStringLiteral("Toutes");
constexpr int kDateLine = 3;
constexpr int kDateWidth = 110;

// A date of the list, to the minute; the time is left out at midnight.
QDateTime dateOfItem(const QString &text)
{
    QDateTime when = QDateTime::fromString(text, QStringLiteral("dd/MM/yyyy HH:mm"));
    if (!when.isValid())
        when = QDateTime(QDate::fromString(text, QStringLiteral("dd/MM/yyyy")), QTime(0, 0));
    return when;
}

} // namespace

TfImageForm::TfImageForm(const QString &dateBoxText, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::TfImageForm)
{
    ui->setupUi(this);
    FitOnScreen(*this);
    // The layout holds the texts without accents.
    setWindowTitle(QStringLiteral("Images et documents intégrés dans le dossier"));
    ui->BtnBigImage->setToolTip(QStringLiteral("Visualiser l'image ou le document sélectionné"));
    ui->BtnAcquire->setText(QStringLiteral("&Acquérir..."));
    ui->CBPreview->setText(QStringLiteral("Afficher en aperçu"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint
                   | Qt::WindowCloseButtonHint);

    m_model = new FieldColumnsModel(&m_query,
                                    {{QStringLiteral("Date_Consultation"), QStringLiteral("Date"),
                                      Qt::AlignRight | Qt::AlignVCenter},
                                     {QStringLiteral("Descriptor"), QStringLiteral("Liste des documents")}},
                                    this);
    ui->DBGrid1->setModel(m_model);
    ui->DBGrid1->horizontalHeader()->setStyleSheet(QStringLiteral("QHeaderView::section { font-weight: bold; }"));
    // A date and time on one line, whatever the font.
    ui->DBGrid1->setWordWrap(false);
    ui->DBGrid1->setColumnWidth(
        0, std::max(kDateWidth, ui->DBGrid1->fontMetrics().horizontalAdvance(QStringLiteral("00/00/0000 00:00:00")) + 16));
    ui->DBGrid1->setColumnWidth(1, 465);
    ui->DBGrid1->installEventFilter(this);
    FollowCurrentRow(ui->DBGrid1, &m_query);

    connect(&m_query, &LocalDataSet::afterOpen, this, &TfImageForm::QryImagesAfterOpen);
    connect(&m_query, &LocalDataSet::afterScroll, this, &TfImageForm::QryImagesAfterScroll);
    connect(ui->CBCrit, &QComboBox::activated, this, [this] {
        // An error here must not escape the event loop.
        try {
            CBCritChange();
        } catch (const LocalTablesError &e) {
            Dialogs::instance().error(
                QStringLiteral("Erreur lors de l'ouverture de la liste des images et documents du dossier :\n")
                + e.message());
        }
    });
    connect(ui->BtnBigImage, &QPushButton::clicked, this, &TfImageForm::BtnBigImageClick);
    connect(ui->bOK, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate(dateBoxText);
}

TfImageForm::~TfImageForm()
{
    if (Globals::fImageForm == this)
        Globals::fImageForm = nullptr;
    delete ui;
}

void TfImageForm::open(const QString &dateBoxText, QWidget *parent)
{
    Globals::fImageForm = new TfImageForm(dateBoxText, parent);
    Globals::fImageForm->setAttribute(Qt::WA_DeleteOnClose);
    Globals::fImageForm->exec();
}

void TfImageForm::FormCreate(const QString &dateBoxText)
{
    m_query.setDatabaseName(Globals::BaseFolder);
    m_query.setSql({QStringLiteral("select * from IMAGES"), QStringLiteral("where "),
                    QStringLiteral("    PATIENTS_ID=:patients_id"), QString(),
                    QStringLiteral("Order by DATE_CONSULTATION desc")});
    m_query.setParam(QStringLiteral("patients_id"), Globals::CurrentPatientID);
    try {
        m_query.open();
        QStringList dates;
        for (m_query.first(); !m_query.eof(); m_query.next()) {
            const QString date =
                ObservanceDisplay::dateBoxText(m_query.field(QStringLiteral("DATE_CONSULTATION")).asString());
            if (!dates.contains(date))
                dates << date;
        }
        dates.sort();
        ui->CBCrit->addItems(dates);
        ui->CBCrit->insertItem(0, kAll);
        const int shown = ui->CBCrit->findText(dateBoxText, Qt::MatchExactly);
        ui->CBCrit->setCurrentIndex(shown > 0 ? shown : 0);
        CBCritChange();
    } catch (const LocalTablesError &e) {
        Dialogs::instance().error(
            QStringLiteral("Erreur lors de l'ouverture de la liste des images et documents du dossier :\n")
            + e.message());
    }
}

void TfImageForm::CBCritChange()
{
    m_query.close();
    if (ui->CBCrit->currentIndex() > 0) {
        m_query.sql()[kDateLine] = QStringLiteral("    and DATE_CONSULTATION=:date_consultation");
        m_query.setParam(QStringLiteral("date_consultation"), dateOfItem(ui->CBCrit->currentText()));
    } else {
        m_query.sql()[kDateLine].clear();
    }
    m_query.open();
}

void TfImageForm::QryImagesAfterOpen()
{
    const int count = m_query.recordCount();
    ui->lDocCount->setText(count == 0   ? QStringLiteral("Aucun document")
                           : count == 1 ? QStringLiteral("Un document")
                                        : QString::number(count) + QStringLiteral(" documents"));
    QryImagesAfterScroll();
}

QString TfImageForm::currentDocument()
{
    if (!m_query.isActive() || m_query.isEmpty())
        return {};
    // Stored names are bare file names of the documents folder.
    const QString name = m_query.field(QStringLiteral("AuxFileName")).asString();
    if (name.isEmpty() || name.contains(u'/') || name == QLatin1String(".") || name == QLatin1String(".."))
        return {};
    return Globals::BaseFolder + QStringLiteral("Docs/") + name;
}

void TfImageForm::QryImagesAfterScroll()
{
    const QString file = currentDocument();
    ui->BtnBigImage->setEnabled(!file.isEmpty() && QFileInfo(file).isFile());
}

void TfImageForm::BtnBigImageClick()
{
    const QString file = currentDocument();
    OpenDocument(file.isEmpty() ? Globals::BaseFolder + QStringLiteral("Docs/") : file);
}

bool TfImageForm::eventFilter(QObject *watched, QEvent *event)
{
    // The grid takes its width from the window's layout after the window's
    // own resize, and first when it is shown.
    if (watched == ui->DBGrid1 && event->type() == QEvent::Resize)
        FormResize();
    return QDialog::eventFilter(watched, event);
}

void TfImageForm::FormResize()
{
    ui->DBGrid1->setColumnWidth(1, ui->DBGrid1->width() - ui->DBGrid1->columnWidth(0) - 35);
}

void TfImageForm::done(int)
{
    // However the window closes, its result is OK.
    QDialog::done(QDialog::Accepted);
}
