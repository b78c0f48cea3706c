#include "views/GradL.h"

#include <QPainter>
#include <QPaintEvent>

TGradientLabel::TGradientLabel(QWidget *parent) : QLabel(parent) {}

void TGradientLabel::SetStartColor(const QColor &color)
{
    if (color == m_startColor)
        return;
    m_startColor = color;
    GradientChanged();
}

void TGradientLabel::SetEndColor(const QColor &color)
{
    if (color == m_endColor)
        return;
    m_endColor = color;
    GradientChanged();
}

void TGradientLabel::SetFillDirection(TFillDirection direction)
{
    if (direction == m_fillDirection)
        return;
    m_fillDirection = direction;
    GradientChanged();
}

void TGradientLabel::SetTransparent(bool transparent)
{
    if (transparent == m_transparent)
        return;
    m_transparent = transparent;
    update();
}

void TGradientLabel::GradientChanged()
{
    update();
}

QColor TGradientLabel::lineColor(const QColor &start, const QColor &end, int n, int i)
{
    if (n <= 0)
        return start;
    const auto component = [n, i](int from, int to) {
        const double step = double(to - from) / n;
        return int(from + i * step); // truncation toward zero
    };
    return QColor(component(start.red(), end.red()), component(start.green(), end.green()),
                  component(start.blue(), end.blue()));
}

void TGradientLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect client = rect();
    if (!m_transparent) {
        const bool rows = m_fillDirection == fdTopToBottom;
        const int n = rows ? client.height() : client.width();
        for (int i = 0; i <= n; ++i) {
            const QRect line = rows ? QRect(client.left(), i, client.width(), 1) : QRect(i, client.top(), 1, client.height());
            painter.fillRect(line, lineColor(m_startColor, m_endColor, n, i));
        }
    }

    int flags = Qt::TextExpandTabs;
    if (wordWrap())
        flags |= Qt::TextWordWrap;
    const Qt::Alignment align = alignment();
    if (align & Qt::AlignRight)
        flags |= Qt::AlignRight;
    else if (align & Qt::AlignHCenter)
        flags |= Qt::AlignHCenter;
    else
        flags |= Qt::AlignLeft;

    QRect textRect = client;
    if (!(align & Qt::AlignTop) && (align & (Qt::AlignBottom | Qt::AlignVCenter))) {
        QRect measured = client;
        DoDrawText(painter, measured, flags, true);
        const int free = client.height() - (measured.bottom() + 1);
        textRect.translate(0, (align & Qt::AlignBottom) ? free : free / 2);
    }
    DoDrawText(painter, textRect, flags, false);
}

void TGradientLabel::DoDrawText(QPainter &painter, QRect &rect, int flags, bool measure)
{
    // Accelerator characters are always shown: "&" underlines the next one.
    QString caption = text();
    if (measure && (caption.isEmpty() || caption == QLatin1String("&")))
        caption += QLatin1Char(' ');
    flags |= Qt::TextShowMnemonic;
    painter.setFont(font());
    if (measure) {
        rect = painter.boundingRect(rect, flags | Qt::AlignTop, caption);
        return;
    }
    flags |= Qt::AlignTop;
    if (isEnabled()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect, flags, caption);
        return;
    }
    painter.setPen(palette().color(QPalette::Light));
    painter.drawText(rect.translated(1, 1), flags, caption);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawText(rect, flags, caption);
}
