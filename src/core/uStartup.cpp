#include "core/uStartup.h"

#include "ui_uStartup.h"

#include <QGuiApplication>
#include <QScreen>

TfStartup::TfStartup(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , ui(new Ui::TfStartup)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(kClientWidth, kClientHeight);

    const QPixmap artwork(QStringLiteral(":/images/startup.png"));
    ui->ImStartup->setPixmap(artwork);
    if (!artwork.isNull())
        ui->ImStartup->resize(artwork.size());

    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    font.setBold(true);
    QPalette palette = ui->lStart1->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgb(kTextColour));
    for (QLabel *label : {ui->lStart1, ui->lStart2}) {
        label->setFont(font);
        label->setPalette(palette);
    }

    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    FormCreate();
}

TfStartup::~TfStartup()
{
    delete ui;
}

void TfStartup::FormCreate()
{
    ui->lStart2->clear();
}

void TfStartup::setStep(const QString &text)
{
    ui->lStart2->setText(text);
    ui->lStart2->repaint();
}

QString TfStartup::stepText() const
{
    return ui->lStart2->text();
}

QString TfStartup::headerText() const
{
    return ui->lStart1->text();
}
