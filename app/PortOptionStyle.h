#pragma once

#include <QProxyStyle>

namespace tavrin {

// The window's style with a smaller radio indicator and label spacing, so that a port option's
// whole caption fits in the narrow place the layout gives it.
class PortOptionStyle : public QProxyStyle {
    Q_OBJECT

public:
    using QProxyStyle::QProxyStyle;

    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
};

} // namespace tavrin
