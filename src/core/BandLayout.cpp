#include "core/BandLayout.h"

#include <QWidget>

#include <algorithm>

BandLayout::BandLayout(QWidget *parent)
    : QLayout(parent)
{
    setContentsMargins(0, 0, 0, 0);
    setSpacing(0);
}

BandLayout::~BandLayout()
{
    qDeleteAll(m_items);
}

void BandLayout::addWidget(QWidget *widget, bool alignedRight)
{
    QLayout::addWidget(widget);
    if (alignedRight)
        m_right = m_items.last();
}

void BandLayout::addItem(QLayoutItem *item)
{
    m_items.append(item);
}

int BandLayout::count() const
{
    return int(m_items.size());
}

QLayoutItem *BandLayout::itemAt(int index) const
{
    return m_items.value(index);
}

QLayoutItem *BandLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    QLayoutItem *item = m_items.takeAt(index);
    if (item == m_right)
        m_right = nullptr;
    return item;
}

QSize BandLayout::sizeHint() const
{
    // All on one row.
    QSize size;
    for (const QLayoutItem *item : m_items) {
        if (item->isEmpty())
            continue;
        size.rwidth() += item->sizeHint().width();
        size.setHeight(std::max(size.height(), item->sizeHint().height()));
    }
    return size;
}

QSize BandLayout::minimumSize() const
{
    // One item a row at worst: the widest one.
    QSize size;
    for (const QLayoutItem *item : m_items) {
        if (!item->isEmpty())
            size = size.expandedTo(item->sizeHint());
    }
    return size;
}

Qt::Orientations BandLayout::expandingDirections() const
{
    return {};
}

bool BandLayout::hasHeightForWidth() const
{
    return true;
}

int BandLayout::heightForWidth(int width) const
{
    return arrange(QRect(0, 0, width, 0), false);
}

void BandLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int BandLayout::arrange(const QRect &rect, bool apply) const
{
    int x = rect.left(), y = rect.top(), rowHeight = 0;
    for (QLayoutItem *item : m_items) {
        if (item->isEmpty())
            continue;
        const QSize size = item->sizeHint();
        if (x > rect.left() && x + size.width() > rect.right() + 1) {
            x = rect.left();
            y += rowHeight;
            rowHeight = 0;
        }
        const int left = item == m_right ? std::max(x, rect.right() + 1 - size.width()) : x;
        if (apply)
            item->setGeometry(QRect(QPoint(left, y), size));
        x = left + size.width();
        rowHeight = std::max(rowHeight, size.height());
    }
    return y + rowHeight - rect.top();
}
