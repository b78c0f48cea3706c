#pragma once

#include <QLayout>
#include <QList>

// Lays its widgets out left to right at their preferred sizes and starts a
// new row when the next one does not fit, so a band of tool bars never makes
// its window wider than the screen. The last widget added with alignedRight
// keeps to the right edge of its row.
class BandLayout : public QLayout
{
public:
    explicit BandLayout(QWidget *parent = nullptr);
    ~BandLayout() override;

    void addWidget(QWidget *widget, bool alignedRight = false);

    void addItem(QLayoutItem *item) override;
    int count() const override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    void setGeometry(const QRect &rect) override;

private:
    // Places the items in rect (only measures when apply is false); returns
    // the height they take.
    int arrange(const QRect &rect, bool apply) const;

    QList<QLayoutItem *> m_items;
    QLayoutItem *m_right = nullptr;
};
