#pragma once

#include <QIcon>
#include <QIdentityProxyModel>

namespace tavrin {

// The file dialog's listing as Qt's file system model gives it, except that the name column's
// header shows one icon kept for the program's life. The model makes a new image for it each time
// the header is drawn, and each new image stays behind in Qt's pixmap cache under a key of its
// own, the key even after the image has gone from it: memory that grows with every dialog.
class FileListProxy : public QIdentityProxyModel {
    Q_OBJECT

public:
    FileListProxy(const QIcon& headerIcon, QObject* parent = nullptr);

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The icon that keeps the header's names in line with the names of the files below them.
    static QIcon makeHeaderIcon();

private:
    QIcon m_headerIcon;
};

} // namespace tavrin
