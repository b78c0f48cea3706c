#include "views/ShowResults.h"
#include "ui_ShowResults.h"

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "views/GridLayoutSettings.h"
#include "platform/IniFile.h"
#include "platform/LocalTables.h"
#include "platform/ProgramFolder.h"
#include "core/ScreenPlacement.h"
#include "views/ResultsPrinting.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QShowEvent>

namespace {

const QString kSection = QStringLiteral("ShowResults");
const QString kGridPrefix = QStringLiteral("Grid_Column");
const QString kGridSuffix = QStringLiteral("_Width");
constexpr int kImportedColumn = 6;

} // namespace

CheckMarkDelegate::CheckMarkDelegate(QObject *parent) : QStyledItemDelegate(parent), m_check(checkMark()) {}

QPixmap CheckMarkDelegate::checkMark()
{
    QPixmap pixmap(13, 13);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QPen(Qt::black, 2));
    painter.drawPolyline(QPolygon({QPoint(2, 6), QPoint(5, 9), QPoint(10, 2)}));
    return pixmap;
}

void CheckMarkDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillRect(option.rect, option.palette.color(selected ? QPalette::Highlight : QPalette::Base));
    if (index.data(Qt::DisplayRole).toString() == QLatin1String("Vrai"))
        painter->drawPixmap(QRect(option.rect.left() + 10, option.rect.top() + 2, 13, 13), m_check);
}

const QList<GridColumn> &TfShowResults::resultColumns()
{
    static const QList<GridColumn> columns = {
        {QStringLiteral("NomPat"), QStringLiteral("Nom du patient")},
        {QStringLiteral("PrenomPat"), QStringLiteral("Prénom du patient")},
        {QStringLiteral("NePat"), QStringLiteral("Né(e) le"), Qt::AlignCenter},
        {QStringLiteral("Sender"), QStringLiteral("Expéditeur")},
        {QStringLiteral("NomFic"), QStringLiteral("Nom du fichier")},
        {QStringLiteral("Date"), QStringLiteral("Daté du"), Qt::AlignCenter},
        {QStringLiteral("Imported"), QStringLiteral("Importé"), Qt::AlignCenter},
        {QStringLiteral("Comment"), QStringLiteral("Résultat")}};
    return columns;
}

const QStringList &TfShowResults::settingKeys()
{
    static const QStringList keys = {QStringLiteral("NomPat"), QStringLiteral("PrenomPat"), QStringLiteral("NePat"),
                                     QStringLiteral("Sender"), QStringLiteral("NomFic"), QStringLiteral("Date"),
                                     QStringLiteral("Imported"), QStringLiteral("Comment")};
    return keys;
}

const QStringList &TfShowResults::defaultWidths()
{
    static const QStringList widths = {QStringLiteral("20"), QStringLiteral("20"), QStringLiteral("9"),
                                       QStringLiteral("15"), QStringLiteral("60"), QStringLiteral("9"),
                                       QStringLiteral("6"),  QStringLiteral("40")};
    return widths;
}

TfShowResults::TfShowResults(LocalTable *results, QWidget *parent)
    : QDialog(parent), ui(new Ui::TfShowResults), m_results(results)
{
    ui->setupUi(this);
    FitOnScreen(*this);
    m_edits = {ui->Edit1, ui->Edit2, ui->Edit3, ui->Edit4, ui->Edit5, ui->Edit6, ui->Edit7, ui->Edit8};
    for (QLineEdit *edit : std::as_const(m_edits))
        edit->installEventFilter(this);
    ui->PicCheck->setPixmap(CheckMarkDelegate::checkMark());

    if (!m_results->isActive()) {
        try {
            m_results->open();
        } catch (const LocalTablesError &error) {
            Dialogs::instance().error(error.message());
        }
    }
    m_model = new FieldColumnsModel(m_results, resultColumns(), this);
    QTableView *grid = ui->DBGrid1;
    grid->setModel(m_model);
    grid->setItemDelegateForColumn(kImportedColumn, new CheckMarkDelegate(grid));
    grid->horizontalHeader()->setSectionsMovable(true);
    grid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    m_layoutWidths = {100, 100, 70, 166, 359, 70, 46, 252};
    for (int n = 0; n < m_layoutWidths.size(); ++n)
        grid->horizontalHeader()->resizeSection(n, m_layoutWidths.at(n));
    FollowCurrentRow(grid, m_results);

    connect(ui->BitBtn2, &QPushButton::clicked, this, &TfShowResults::BitBtn2Click);
    connect(ui->BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->Imprimantes, &QComboBox::currentIndexChanged, this, &TfShowResults::ImprimantesChange);
    FormCreate();
}

TfShowResults::~TfShowResults()
{
    delete ui;
}

void TfShowResults::FormCreate()
{
    const IniFile ini(ProgramFolder::configurationFile());
    for (int n = 0; n < m_edits.size(); ++n)
        m_edits.at(n)->setText(ini.readString(kSection, settingKeys().at(n), defaultWidths().at(n)));
    const QList<int> widths =
        GridLayoutSettings::readColumnWidths(ini, kSection, kGridPrefix, kGridSuffix, m_layoutWidths, true);
    for (int n = 0; n < widths.size(); ++n)
        ui->DBGrid1->horizontalHeader()->resizeSection(n, widths.at(n));

    const QStringList printers = QPrinterInfo::availablePrinterNames();
    ui->Imprimantes->addItems(printers);
    ui->Imprimantes->setCurrentIndex(initialPrinter(printers, QPrinterInfo::defaultPrinterName()));
    m_printerName = ui->Imprimantes->currentText();

    setWindowTitle(QStringLiteral("Tolvarenix Light"));
    ui->Panel1->setText(QStringLiteral("Résultat des traitements"));
    ui->GroupBox1->setTitle(QStringLiteral(" Paramètres d'impresson de cette liste : "));
    ui->LEdit2->setText(QStringLiteral("prénom du patient :"));
    ui->LEdit3->setText(QStringLiteral("né(e) le :"));
    ui->LEdit4->setText(QStringLiteral("expéditeur :"));
    ui->LEdit6->setText(QStringLiteral("daté du :"));
    ui->LEdit7->setText(QStringLiteral("importé :"));
    ui->LEdit8->setText(QStringLiteral("résultat :"));
    ui->LabelImprimante->setText(QStringLiteral("Imprimante à utiliser :"));
}

int TfShowResults::initialPrinter(const QStringList &printers, const QString &defaultPrinter)
{
    const int index = int(printers.indexOf(defaultPrinter));
    // Printers installed but none set as default: the first one.
    return index >= 0 || printers.isEmpty() ? index : 0;
}

QLineEdit *TfShowResults::widthEdit(int position) const
{
    return m_edits.value(position);
}

bool TfShowResults::eventFilter(QObject *watched, QEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(watched);
    if (edit && m_edits.contains(edit)) {
        if (event->type() == QEvent::FocusIn) {
            m_rememberedText = edit->text();
        } else if (event->type() == QEvent::FocusOut) {
            bool whole = false;
            edit->text().toInt(&whole);
            if (!whole)
                edit->setText(m_rememberedText);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfShowResults::ImprimantesChange()
{
    m_printerName = ui->Imprimantes->currentText();
}

void TfShowResults::BitBtn2Click()
{
    if (m_printerName.isEmpty()) {
        Dialogs::instance().error(QStringLiteral("Aucune imprimante n'est installée : la liste ne peut pas être imprimée."));
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(m_printerName);
    PrintTo(printer);
}

bool TfShowResults::PrintTo(QPrinter &printer)
{
    ResultsPrintData data;
    data.date = Clock::today();
    for (int n = 0; n < m_edits.size(); ++n) {
        bool whole = false;
        const int width = m_edits.at(n)->text().toInt(&whole);
        if (!whole) {
            Dialogs::instance().error(QStringLiteral("La taille de colonne \"%1\" n'est pas un nombre entier de "
                                                     "millimètres : la liste n'a pas été imprimée.")
                                          .arg(m_edits.at(n)->text()));
            return false;
        }
        data.widthsMm << width;
    }
    // The columns in their order on the screen.
    const QHeaderView *header = ui->DBGrid1->horizontalHeader();
    QList<int> fieldIndexes;
    for (int position = 0; position < header->count(); ++position) {
        const int column = header->logicalIndex(position);
        data.titles << m_model->headerData(column, Qt::Horizontal).toString();
        fieldIndexes << m_model->fieldIndex(column);
    }
    const int rows = m_results->isActive() ? m_results->recordCount() : 0;
    for (int row = 0; row < rows; ++row) {
        QStringList cells;
        for (int field : std::as_const(fieldIndexes))
            cells << (field < 0 ? QString() : m_results->displayText(row, field));
        data.rows << cells;
    }
    QString error;
    if (!ResultsPrinter::print(printer, data, &error)) {
        Dialogs::instance().error(error);
        return false;
    }
    return true;
}

void TfShowResults::FormCloseQuery()
{
    try {
        m_results->close();
        m_results->emptyTable();
    } catch (const LocalTablesError &error) {
        Dialogs::instance().error(QStringLiteral("La liste des résultats de l'importation n'a pas pu être vidée :\n")
                                  + error.message());
    }
    const QHeaderView *header = ui->DBGrid1->horizontalHeader();
    QList<int> widths;
    for (int position = 0; position < header->count(); ++position)
        widths << header->sectionSize(header->logicalIndex(position));
    // One read and at most one save of the configuration file for them all.
    QList<IniFile::Entry> entries;
    for (int n = 0; n < m_edits.size(); ++n)
        entries.append({kSection, settingKeys().at(n), m_edits.at(n)->text()});
    entries << GridLayoutSettings::columnWidthEntries(kSection, kGridPrefix, kGridSuffix, widths);
    IniFile(ProgramFolder::configurationFile()).writeStrings(entries);
}

void TfShowResults::done(int result)
{
    FormCloseQuery();
    QDialog::done(result);
}

void TfShowResults::closeEvent(QCloseEvent *event)
{
    // A visible dialog goes through done(); a hidden one is closed here.
    if (!isVisible())
        FormCloseQuery();
    QDialog::closeEvent(event);
}
