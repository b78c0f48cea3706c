#include "core/uStartup.h"

#include "ui_uStartup.h"

#include <QApplication>
#include <QWindow>
#include <QScreen>

TfStartup::TfStartup(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
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
    qApp->installEventFilter(this);
}

TfStartup::~TfStartup()
{
    delete ui;
}

bool TfStartup::eventFilter(QObject *watched, QEvent *event)
{
    // A box or form of the start-up belongs to the splash while it shows:
    // every window manager keeps a window in front of the one it belongs
    // to, and without one the later window is drawn on top anyway. So no
    // question ever hides behind the splash, whatever window asked it.
    if (event->type() == QEvent::Show && watched != this && watched->isWidgetType() && isVisible()) {
        auto *widget = static_cast<QWidget *>(watched);
        QWindow *window = widget->isWindow() ? widget->windowHandle() : nullptr;
        if (window && window->type() != Qt::Popup && window->type() != Qt::ToolTip
            && !(window->transientParent() && window->transientParent()->isVisible()))
            window->setTransientParent(windowHandle());
    }
    return QWidget::eventFilter(watched, event);
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
