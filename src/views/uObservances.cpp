#include "views/uObservances.h"
#include "ui_uObservances.h"

#include "core/Common.h"
#include "views/FieldBinder.h"
#include "views/FieldColumnsModel.h"
#include "core/Globals.h"
#include "views/GridLayoutSettings.h"
#include "platform/IniFile.h"
#include "core/LocalDatabase.h"
#include "views/ObservanceSeries.h"
#include "platform/ProgramFolder.h"

#include <QChart>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLineSeries>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QValueAxis>

#include <cmath>

namespace {

const QString kSection = QStringLiteral("GridHistory");
const QString kPrefix = QStringLiteral("Column");
const QString kSuffix = QStringLiteral("_Width");
constexpr int kFirstColumnWidth = 130;
constexpr int kHiddenFrom = 37;

// The red rectangles of the series drawn with point markers: a few pixels,
// so that a single observance shows.
constexpr int kMarkerSize = 7;

// A round step of about a fifth of the span: 1, 2 or 5 times a power of ten.
double roundStep(double span)
{
    const double raw = std::max(span / 5, 1.0);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0})
        if (raw <= factor * power)
            return factor * power;
    return 10 * power;
}

// A range from 0 to top with room around it, so that no point sits on the
// plot's edge; the ticks keep their round values from 0.
void setPaddedRange(QAbstractAxis *abstract, double top, double room)
{
    auto *axis = qobject_cast<QValueAxis *>(abstract);
    if (!axis)
        return;
    axis->setRange(-room, top + room);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(roundStep(top));
    axis->setLabelFormat(QStringLiteral("%.0f"));
}

QImage squareMarker()
{
    QImage image(kMarkerSize, kMarkerSize, QImage::Format_ARGB32);
    image.fill(Qt::red);
    return image;
}

// The width a data-aware grid gives a column: its field's display width in
// characters, at least the title.
int displayWidth(const FieldDef *field, const QString &title, const QFontMetrics &metrics)
{
    int chars = 10;
    if (field) {
        switch (field->type) {
        case FieldType::String: chars = field->size; break;
        case FieldType::Integer:
        case FieldType::AutoInc: chars = 11; break;
        case FieldType::Boolean: chars = 5; break;
        case FieldType::Date: chars = 10; break;
        case FieldType::DateTime: chars = 18; break;
        case FieldType::Float:
        case FieldType::Memo: chars = 10; break;
        }
    }
    return std::max(chars * metrics.horizontalAdvance(QLatin1Char('0')), metrics.horizontalAdvance(title)) + 4;
}

} // namespace

const QList<GridColumn> &TfObservance::historyColumns()
{
    static const QList<GridColumn> columns = [] {
        const char *const table[][2] = {
            {"Prestataire", "PRESTATAIRE"}, {"Technicien", "TECHNICIEN"}, {"Date de visite", "DATE_DE_VISITE"},
            {"Type de visite", "TYPE_DE_VISITE"}, {"Appareil", "APPAREIL"}, {"Masque", "MASQUE"},
            {"Humidificateur", "HU"}, {"PEP mini", "PEP_MINI"}, {"PEP maxi", "PEP_MAXI"}, {"PIP maxi", "PIP_MAXI"},
            {"FR mini", "FR_MINI"}, {"Rampe", "RAMPE"}, {"Alarme", "ALARME"}, {"Débit", "DEBIT"},
            {"Temps/24h", "TEMPS_24H"}, {"Obs.h/nuit", "OBSERVANCES_NUIT"}, {"Nb jours obs.", "NOMBRE_DE_JOURS_OBS"},
            {"Nb nuits avec ventil.", "NB_NUITS_AVEC_VENTIL"}, {"IAH résiduel", "IAH_RESIDUEL"},
            {"P moy.", "P_MOYENNE"}, {"", "P95"}, {"Sécheresse buccale", "SECHERESSE_BUCCALE"},
            {"Rhinorrhée claire", "RHINORRHEE_CLAIRE"}, {"Rhinorrhée purulente", "RHINORRHEE_PURULENTE"},
            {"Nez bouché", "NEZ_BOUCHE"}, {"Bruit appareil", "BRUIT_APPAREIL"}, {"Bruit masque", "BRUIT_MASQUE"},
            {"Fuites", "FUITES"}, {"Montée en pression éveillante", "MONTE_EN_PRESSION_EVEILLA"},
            {"Douleurs au masque", "DOULEURS_MASQUE"}, {"Ouverture de la bouche", "OUVERTURE_DE_LA_BOUCHE"},
            {"Aérophagie", "AEROPHAGIE"}, {"Réveils nocturnes", "REVEILS_NOCTURNE"}, {"Poids", "POIDS"},
            {"Pouls", "POULS"}, {"SaO2", "SATURATION"}, {"Échelle d'Epworth", "E_EPWORTH"}, {"", "E_PICHOT"},
            {"", "E_DEPRESSION"}, {"", "E_ETAT_DE_SANTE"}};
        QList<GridColumn> list;
        for (const auto &row : table)
            list.append({QString::fromLatin1(row[1]), QString::fromUtf8(row[0])});
        return list;
    }();
    return columns;
}

TfObservance::TfObservance(LocalDataSet *observances, QWidget *parent)
    : QWidget(parent), ui(new Ui::TfObservance), m_observances(observances)
{
    ui->setupUi(this);
    setWindowTitle(QString());
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(69, 122, 133));
    setPalette(background);
    setAutoFillBackground(true);
    ui->BtVitalAir->raise();
    // Check box captions are white on the window's colour, while their ticks
    // keep the dark text colour on their white boxes (a style sheet colour
    // would whiten both).
    for (QCheckBox *box : ui->Panel2->findChildren<QCheckBox *>()) {
        QPalette caption = box->palette();
        caption.setColor(QPalette::WindowText, Qt::white);
        box->setPalette(caption);
    }
    ui->Splitter1->setStretchFactor(1, 1);

    setUpCharts();
    setUpHistoryGrid();
    bindDetailControls();

    connect(ui->bGrid, &QToolButton::clicked, this, &TfObservance::bGridClick);
    connect(ui->BtWeb, &QPushButton::clicked, this, &TfObservance::BtWebClick);
    connect(ui->BtOrkyn, &QPushButton::clicked, this, &TfObservance::BtOrkynClick);
    connect(ui->BtVitalAir, &QPushButton::clicked, this, &TfObservance::BtVitalAirClick);
    // The grid panel's splitter sets the panel's height itself (see
    // eventFilter).
    ui->Splitter1->handle(1)->installEventFilter(this);
    FormCreate();
}

TfObservance::~TfObservance()
{
    if (Globals::fObservance == this)
        Globals::fObservance = nullptr;
    delete ui;
}

TfObservance *TfObservance::open(QMdiArea *area, LocalDataSet *observances)
{
    auto *window = new TfObservance(observances);
    QMdiSubWindow *child = area->addSubWindow(window);
    child->setAttribute(Qt::WA_DeleteOnClose);
    child->setWindowTitle(QString());
    Globals::fObservance = window;
    child->showMaximized();
    return window;
}

void TfObservance::FormCreate()
{
    const IniFile ini(ProgramFolder::configurationFile());
    m_columnWidths = GridLayoutSettings::readColumnWidths(ini, kSection, kPrefix, kSuffix, layoutWidths(), false);
    for (int i = 0; i < m_columnWidths.size(); ++i)
        ui->DBGridHistory->horizontalHeader()->resizeSection(i, m_columnWidths.at(i));
    m_resumeHeight = ini.readInteger(kSection, QStringLiteral("Height"), kResumeHeight);

    const auto vertical = [](const QString &word) { return word.split(QString(), Qt::SkipEmptyParts).join(QLatin1Char('\n')); };
    ui->lReglages->setText(vertical(QStringLiteral("RÉGLAGES")));
    ui->lResultats->setText(vertical(QStringLiteral("RÉSULTATS")));
    ui->lVisite->setText(QStringLiteral("Visite effectuée le:"));
    ui->lDebit->setText(QStringLiteral("Débit:"));
    ui->lIAH->setText(QStringLiteral("IAH résiduel:"));
    ui->SechBuccale->setText(QStringLiteral("Sécheresse buccale"));
    ui->RhinoClaire->setText(QStringLiteral("Rhinorrhée claire"));
    ui->RhinoPurulente->setText(QStringLiteral("Rhinorrhée purulente"));
    ui->NezBouche->setText(QStringLiteral("Nez bouché"));
    ui->Aerophagie->setText(QStringLiteral("Aérophagie"));
    ui->ReveilsNocturnes->setText(QStringLiteral("Réveils nocturnes"));
    ui->MonteePressionEveillante->setText(QStringLiteral("Montée en pression éveillante"));
}

QList<int> TfObservance::layoutWidths() const
{
    static const QList<FieldDef> stored = LocalDatabase::observancesFields();
    const QFontMetrics metrics(ui->DBGridHistory->font());
    const QList<GridColumn> &columns = historyColumns();
    QList<int> widths;
    for (int i = 0; i < columns.size(); ++i) {
        const FieldDef *def = nullptr;
        for (const FieldDef &field : stored)
            if (field.name.compare(columns.at(i).field, Qt::CaseInsensitive) == 0)
                def = &field;
        const QString title = columns.at(i).title.isEmpty() ? columns.at(i).field : columns.at(i).title;
        widths << (i == 0 ? kFirstColumnWidth : i >= kHiddenFrom ? 64 : displayWidth(def, title, metrics));
    }
    return widths;
}

void TfObservance::setUpHistoryGrid()
{
    m_historyModel = new FieldColumnsModel(m_observances, historyColumns(), this);
    QTableView *grid = ui->DBGridHistory;
    grid->setModel(m_historyModel);
    grid->horizontalHeader()->setSectionsMovable(true);
    grid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 4);
    // However short the panel is made, the grid keeps its titles and a row.
    grid->setMinimumHeight(grid->horizontalHeader()->sizeHint().height() + grid->verticalHeader()->defaultSectionSize()
                           + grid->horizontalScrollBar()->sizeHint().height() + 2 * grid->frameWidth());
    for (int i = kHiddenFrom; i < historyColumns().size(); ++i)
        grid->setColumnHidden(i, true);
    FollowCurrentRow(grid, m_observances);
}

void TfObservance::bindDetailControls()
{
    m_binder = new FieldBinder(m_observances, this);
    const struct {
        QLineEdit *edit;
        const char *field;
    } edits[] = {{ui->DBEdit1, "TECHNICIEN"}, {ui->DBEdit2, "DATE_DE_VISITE"}, {ui->DBEdit3, "TYPE_DE_VISITE"},
                 {ui->DBEdit4, "APPAREIL"}, {ui->DBEdit5, "MASQUE"}, {ui->DBEdit6, "HU"},
                 {ui->DBEdit7, "PEP_MINI"}, {ui->DBEdit8, "PEP_MAXI"}, {ui->DBEdit9, "PIP_MAXI"},
                 {ui->DBEdit10, "FR_MINI"}, {ui->DBEdit11, "DEBIT"}, {ui->DBEdit12, "TEMPS_24H"},
                 {ui->DBEdit13, "OBSERVANCES_NUIT"}, {ui->DBEdit14, "NOMBRE_DE_JOURS_OBS"},
                 {ui->DBEdit15, "NB_NUITS_AVEC_VENTIL"}, {ui->DBEdit16, "IAH_RESIDUEL"}, {ui->DBEdit17, "P_MOYENNE"},
                 {ui->DBEdit18, "P95"}, {ui->DBEdit19, "POIDS"}, {ui->DBEdit20, "POULS"},
                 {ui->DBEdit21, "SATURATION"}, {ui->DBEdit22, "E_EPWORTH"}};
    for (const auto &entry : edits)
        m_binder->bind(entry.edit, QString::fromLatin1(entry.field));
    const struct {
        QCheckBox *box;
        const char *field;
    } boxes[] = {{ui->DBCheckBox1, "RAMPE"}, {ui->DBCheckBox2, "ALARME"},
                 {ui->SechBuccale, "SECHERESSE_BUCCALE"}, {ui->RhinoClaire, "RHINORRHEE_CLAIRE"},
                 {ui->RhinoPurulente, "RHINORRHEE_PURULENTE"}, {ui->NezBouche, "NEZ_BOUCHE"},
                 {ui->DBCheckBox7, "DOULEURS_MASQUE"}, {ui->Aerophagie, "AEROPHAGIE"},
                 {ui->DBCheckBox9, "OUVERTURE_DE_LA_BOUCHE"}, {ui->ReveilsNocturnes, "REVEILS_NOCTURNE"},
                 {ui->DBCheckBox11, "BRUIT_APPAREIL"}, {ui->DBCheckBox12, "BRUIT_MASQUE"},
                 {ui->DBCheckBox13, "FUITES"}, {ui->MonteePressionEveillante, "MONTE_EN_PRESSION_EVEILLA"}};
    for (const auto &entry : boxes)
        m_binder->bind(entry.box, QString::fromLatin1(entry.field));
    m_binder->bind(ui->DBMemo1, QStringLiteral("MOTIF_DE_CONSULTATION"));
    m_binder->bind(ui->DBMemo2, QStringLiteral("COMMENTAIRES"));
    m_binder->refresh();
}

void TfObservance::setUpCharts()
{
    const struct {
        QChartView *view;
        const char *title;
        int axisMax; // 0: automatic
    } charts[] = {{ui->Chart1, "Observances par nuit", 0}, {ui->Chart2, "IAH résiduel", 0},
                  {ui->Chart3, "P95", 100}, {ui->Chart4, "PEP mini/maxi", 10}};
    for (const auto &entry : charts) {
        auto *chart = new QChart;
        chart->setTitle(QString::fromUtf8(entry.title));
        chart->setTitleBrush(Qt::black);
        chart->setBackgroundBrush(Qt::white);
        // Narrow side margins: at the window's smallest, the legends still
        // name their series in full.
        QMargins margins = chart->margins();
        margins.setLeft(4);
        margins.setRight(4);
        chart->setMargins(margins);
        entry.view->setChart(chart);
        entry.view->setRenderHint(QPainter::Antialiasing);
        m_charts << chart;
    }
    const struct {
        int chart;
        const char *name;
        QColor colour;
        bool markers;
    } series[] = {{0, "Observances par nuit", Qt::red, true}, {1, "IAH résiduel", Qt::red, true},
                  {2, "P95", Qt::red, true}, {3, "PEP mini", Qt::red, true}, {3, "PEP maxi", Qt::green, false}};
    for (const auto &entry : series) {
        auto *line = new QLineSeries;
        line->setName(QString::fromUtf8(entry.name));
        line->setColor(entry.colour);
        line->setPointLabelsVisible(false);
        if (entry.markers) {
            line->setMarkerSize(kMarkerSize);
            line->setLightMarker(squareMarker());
        }
        m_charts.at(entry.chart)->addSeries(line);
        m_series << line;
    }
    for (int c = 0; c < m_charts.size(); ++c) {
        QChart *chart = m_charts.at(c);
        chart->createDefaultAxes();
        const auto axes = chart->axes(Qt::Vertical);
        if (axes.isEmpty())
            continue;
        auto *axis = qobject_cast<QValueAxis *>(axes.first());
        if (c >= 2) {
            axis->setRange(0, c == 2 ? 100 : 10);
        }
    }
    fillSeries();
}

void TfObservance::fillSeries()
{
    const ObservanceSeries::Points points =
        m_observances ? ObservanceSeries::build(*m_observances) : ObservanceSeries::Points{};
    for (int s = 0; s < ObservanceSeries::kCount; ++s)
        m_series.at(s)->replace(points[s]);
    // The two first charts scale to their values; the two others keep their
    // range. Room on each side keeps the first and last points (and a lone
    // one) off the plot's edges.
    for (int c = 0; c < m_charts.size(); ++c) {
        double maxX = 0, maxY = 0;
        for (QAbstractSeries *abstract : m_charts.at(c)->series())
            for (const QPointF &point : static_cast<QLineSeries *>(abstract)->points()) {
                maxX = std::max(maxX, point.x());
                maxY = std::max(maxY, point.y());
            }
        const auto horizontal = m_charts.at(c)->axes(Qt::Horizontal);
        if (!horizontal.isEmpty())
            setPaddedRange(horizontal.first(), maxX, 0.5);
        if (c < 2) {
            const auto vertical = m_charts.at(c)->axes(Qt::Vertical);
            const double top = std::max(1.0, maxY);
            if (!vertical.isEmpty())
                setPaddedRange(vertical.first(), top, top * 0.06);
        }
    }
}

QLineSeries *TfObservance::series(int number) const
{
    return number >= 1 && number <= m_series.size() ? m_series.at(number - 1) : nullptr;
}

QChart *TfObservance::chart(int number) const
{
    return number >= 1 && number <= m_charts.size() ? m_charts.at(number - 1) : nullptr;
}

void TfObservance::showProviderButtons()
{
    const bool onRow = m_observances && m_observances->isActive() && m_observances->recNo() >= 0;
    const auto hasLink = [this, onRow](const char *field) {
        return onRow && m_observances->fieldIndex(QString::fromLatin1(field)) >= 0
               && !m_observances->field(QString::fromLatin1(field)).asString().isEmpty();
    };
    ui->BtWeb->setVisible(hasLink("URL"));
    ui->BtOrkyn->setVisible(hasLink("URL_ORKYN"));
    ui->BtVitalAir->setVisible(hasLink("URL_VA"));
}

void TfObservance::openLink(const QString &field)
{
    if (!m_observances || !m_observances->isActive() || m_observances->recNo() < 0
        || m_observances->fieldIndex(field) < 0)
        return;
    ShellOpen(m_observances->field(field).asString(), QString(), QString());
}

void TfObservance::BtWebClick()
{
    openLink(QStringLiteral("URL"));
}

void TfObservance::BtOrkynClick()
{
    openLink(QStringLiteral("URL_ORKYN"));
}

void TfObservance::BtVitalAirClick()
{
    openLink(QStringLiteral("URL_VA"));
}

void TfObservance::bGridClick()
{
    const bool show = ui->pResume->isHidden();
    ui->pResume->setVisible(show);
    if (show)
        setResumeHeight(m_resumeHeight);
    else
        fitFrame();
    ui->bGrid->setChecked(show);
}

void TfObservance::fitFrame()
{
    // The window area sizes a maximised child window only when the area
    // itself is resized: the frame follows the window's minimum here.
    auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget());
    if (!frame || !frame->parentWidget())
        return;
    // The minimum sizes kept along the way are brought up to date first.
    ui->Splitter1->updateGeometry();
    updateGeometry();
    const QSize room = frame->isMaximized() ? frame->parentWidget()->size() : frame->size();
    frame->resize(room.expandedTo(frame->minimumSizeHint()));
}

void TfObservance::setResumeHeight(int height)
{
    m_resumeHeight = std::max(height, ui->DBGridHistory->minimumHeight());
    // The panel has its height whatever the screen: rather than taking it
    // from the rest of the window, which has no room to spare on a small
    // screen, the window grows and the window area scrolls.
    ui->pResume->setMinimumHeight(m_resumeHeight);
    fitFrame();
    ui->Splitter1->refresh(); // takes the shown panel in before it is sized
    const int total = ui->Splitter1->height();
    ui->Splitter1->setSizes({m_resumeHeight, std::max(0, total - m_resumeHeight - ui->Splitter1->handleWidth())});
}

bool TfObservance::eventFilter(QObject *watched, QEvent *event)
{
    // Dragging the splitter gives the grid panel the height under the mouse;
    // the splitter alone could only take it from the rest of the window.
    if (watched != ui->Splitter1->handle(1))
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        m_dragOrigin = static_cast<QMouseEvent *>(event)->globalPosition().toPoint().y() - m_resumeHeight;
        return true;
    case QEvent::MouseMove:
        if (const auto *mouse = static_cast<QMouseEvent *>(event); mouse->buttons() & Qt::LeftButton)
            setResumeHeight(mouse->globalPosition().toPoint().y() - m_dragOrigin);
        return true;
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void TfObservance::SaveGridSettings()
{
    QHeaderView *header = ui->DBGridHistory->horizontalHeader();
    QList<int> widths;
    for (int position = 0; position < header->count(); ++position) {
        const int column = header->logicalIndex(position);
        widths << (header->isSectionHidden(column) ? m_columnWidths.value(column) : header->sectionSize(column));
    }
    QList<IniFile::Entry> entries = GridLayoutSettings::columnWidthEntries(kSection, kPrefix, kSuffix, widths);
    entries.append({kSection, QStringLiteral("Height"), QString::number(m_resumeHeight)});
    IniFile(ProgramFolder::configurationFile()).writeStrings(entries);
}

void TfObservance::closeEvent(QCloseEvent *event)
{
    SaveGridSettings();
    event->accept();
    // The window is freed right after: the display must not reach it any more.
    if (Globals::fObservance == this)
        Globals::fObservance = nullptr;
}

void TfObservance::closeAndFree()
{
    QWidget *frame = qobject_cast<QMdiSubWindow *>(parentWidget()) ? parentWidget() : this;
    if (isVisible())
        SaveGridSettings();
    if (Globals::fObservance == this)
        Globals::fObservance = nullptr;
    delete frame;
}

void TfObservance::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeProviderButtons();
}

void TfObservance::placeProviderButtons()
{
    // All three end at the same right edge; the later ones are narrower and
    // lie in front.
    QWidget *bar = ui->ProviderButtons;
    for (QPushButton *button : {ui->BtWeb, ui->BtOrkyn, ui->BtVitalAir})
        button->move(bar->width() - button->width(), 0);
}
