#include "app/PortOptionStyle.h"

#include <algorithm>

namespace tavrin {

int PortOptionStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                 const QWidget* widget) const {
    const int base = QProxyStyle::pixelMetric(metric, option, widget);
    switch (metric) {
    case PM_ExclusiveIndicatorWidth:
    case PM_ExclusiveIndicatorHeight:
        return std::min(base, 11);
    case PM_RadioButtonLabelSpacing:
        return std::min(base, 3);
    default:
        return base;
    }
}

} // namespace tavrin
