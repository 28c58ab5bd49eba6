#include "app/SharedIconStyle.h"

namespace tavrin {

QIcon SharedIconStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption* option,
                                    const QWidget* widget) const {
    // An option can ask for a variant of the icon (its direction, its state): those are not kept.
    if (option)
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    auto kept = m_icons.constFind(standardIcon);
    if (kept == m_icons.constEnd())
        kept =
            m_icons.insert(standardIcon, QProxyStyle::standardIcon(standardIcon, option, widget));
    return *kept;
}

} // namespace tavrin
