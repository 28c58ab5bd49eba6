#include "platform/FileListProxy.h"

#include <QPixmap>

namespace tavrin {

FileListProxy::FileListProxy(const QIcon& headerIcon, QObject* parent)
    : QIdentityProxyModel(parent)
    , m_headerIcon(headerIcon) {}

QVariant FileListProxy::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::DecorationRole && orientation == Qt::Horizontal && section == 0)
        return m_headerIcon;
    return QIdentityProxyModel::headerData(section, orientation, role);
}

QIcon FileListProxy::makeHeaderIcon() {
    // The size of the file icons in the rows below, one pixel high and clear.
    QPixmap spacer(16, 1);
    spacer.fill(Qt::transparent);
    return QIcon(spacer);
}

} // namespace tavrin
