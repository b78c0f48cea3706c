#pragma once

#include <QList>
#include <QPointF>
#include <QStringList>

#include <array>

class LocalDataSet;

// The points of the five history series of the observance window, one per
// observance in the data set's row order (newest first): nights' use,
// residual AHI, P95, minimum and maximum pressure. A value is taken as a
// whole number (halves to even) and added only when above 0; the points of
// a series are numbered 0, 1, 2... in the order they are added.
class ObservanceSeries
{
public:
    static constexpr int kCount = 5;
    using Points = std::array<QList<QPointF>, kCount>;

    static const QStringList &fieldNames();
    static Points build(const LocalDataSet &observances);
    static int wholeNumber(double value);
};
