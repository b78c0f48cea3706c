#include "views/ObservanceSeries.h"

#include "platform/LocalTables.h"

#include <cmath>
#include <limits>

const QStringList &ObservanceSeries::fieldNames()
{
    static const QStringList names = {QStringLiteral("OBSERVANCES_NUIT"), QStringLiteral("IAH_RESIDUEL"),
                                      QStringLiteral("P95"), QStringLiteral("PEP_MINI"), QStringLiteral("PEP_MAXI")};
    return names;
}

int ObservanceSeries::wholeNumber(double value)
{
    const double rounded = std::nearbyint(value);
    if (!std::isfinite(rounded))
        return 0;
    if (rounded >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (rounded <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(rounded);
}

ObservanceSeries::Points ObservanceSeries::build(const LocalDataSet &observances)
{
    Points points;
    if (!observances.isActive())
        return points;
    for (int s = 0; s < kCount; ++s) {
        const int field = observances.fieldIndex(fieldNames().at(s));
        if (field < 0)
            continue;
        for (int row = 0; row < observances.recordCount(); ++row) {
            const int value = wholeNumber(observances.value(row, field).toDouble());
            if (value > 0)
                points[s].append(QPointF(points[s].size(), value));
        }
    }
    return points;
}
