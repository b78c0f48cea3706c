#pragma once

#include <QColor>
#include <QLabel>

// A label whose background is a colour gradient: one line per pixel row
// (top to bottom) or per pixel column (left to right), from the start colour
// towards the end colour. Caption, font, alignment, word wrap and the
// accelerator character behave as for an ordinary label.
class TGradientLabel : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(QColor StartColor READ StartColor WRITE SetStartColor)
    Q_PROPERTY(QColor EndColor READ EndColor WRITE SetEndColor)
    Q_PROPERTY(TFillDirection FillDirection READ FillDirection WRITE SetFillDirection)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
public:
    enum TFillDirection { fdTopToBottom = 0, fdLeftToRight = 1 };
    Q_ENUM(TFillDirection)

    explicit TGradientLabel(QWidget *parent = nullptr);

    QColor StartColor() const { return m_startColor; }
    QColor EndColor() const { return m_endColor; }
    TFillDirection FillDirection() const { return m_fillDirection; }
    bool Transparent() const { return m_transparent; }

    void SetStartColor(const QColor &color);
    void SetEndColor(const QColor &color);
    void SetFillDirection(TFillDirection direction);
    // A transparent label paints only its caption over what lies behind.
    void SetTransparent(bool transparent);

    // The colour of line i of a gradient of n lines (line n lies just past the
    // end): each component truncated toward zero.
    static QColor lineColor(const QColor &start, const QColor &end, int n, int i);

protected:
    void paintEvent(QPaintEvent *event) override;
    // Asks for the control to be repainted.
    virtual void GradientChanged();

private:
    void DoDrawText(QPainter &painter, QRect &rect, int flags, bool measure);

    QColor m_startColor{0, 0, 255};
    QColor m_endColor{255, 0, 0};
    TFillDirection m_fillDirection = fdTopToBottom;
    bool m_transparent = false;
};
