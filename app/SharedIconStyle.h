#pragma once

#include <QHash>
#include <QIcon>
#include <QProxyStyle>

namespace tavrin {

// The platform's style, giving out each of its standard icons once. Every file dialog asks for its
// buttons' icons anew, and a new icon's pixmaps stay in Qt's global pixmap cache for good, since in
// this Qt a pixmap's key stays there after the pixmap has gone; the same icon draws from the same
// pixmaps every time.
class SharedIconStyle : public QProxyStyle {
    Q_OBJECT

public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;

private:
    mutable QHash<StandardPixmap, QIcon> m_icons;
};

} // namespace tavrin
