#include "image/ImageFile.h"

#include "image/IntelHex.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace tavrin {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("tavrin::ImageFile", text);
}

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// Windows opens its devices by these names in any folder, with any extension: a save to "nul.bin"
// would vanish, and a read of "con" would wait for the keyboard.
bool isDeviceName([[maybe_unused]] const QString& path) {
#ifdef Q_OS_WIN
    static const QRegularExpression device(
        QStringLiteral("^(con|prn|aux|nul|com[1-9]|lpt[1-9]) *(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return device.match(QFileInfo(path).fileName()).hasMatch();
#else
    return false;
#endif
}

} // namespace

ImageFile::ReadResult ImageFile::read(const QString& path) {
    const QFileInfo info(path);
    if (isDeviceName(path))
        return {{}, tr("\"%1\" is not an ordinary file (a device).").arg(shown(path))};
    if (!info.exists())
        return {{}, tr("The image file \"%1\" does not exist.").arg(shown(path))};
    if (info.isDir())
        return {{}, tr("\"%1\" is a folder, not an image file.").arg(shown(path))};
    if (!info.isFile())
        return {{}, tr("\"%1\" is not an ordinary file.").arg(shown(path))};

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{},
                tr("The image file \"%1\" could not be opened: %2.")
                    .arg(shown(path), file.errorString())};
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {{},
                tr("The image file \"%1\" could not be read: %2.")
                    .arg(shown(path), file.errorString())};
    if (!IntelHex::isHexName(path))
        return {bytes, {}};
    const IntelHex::Parsed hex = IntelHex::parse(bytes);
    if (hex.ok())
        return {hex.cells, {}};
    if (hex.errorLine == 0)
        return {
            {},
            tr("The image file \"%1\" is not usable Intel HEX: %2.").arg(shown(path), hex.error)};
    return {{},
            tr("The image file \"%1\" is not usable Intel HEX: line %2: %3.")
                .arg(shown(path))
                .arg(hex.errorLine)
                .arg(hex.error)};
}

QString ImageFile::write(const QString& path, const QByteArray& bytes) {
    // Replacing a device node, FIFO or socket with a plain file would break what it stood for.
    const QFileInfo info(path);
    if (info.isDir())
        return tr("\"%1\" is a folder, not an image file; nothing was saved.").arg(shown(path));
    if (isDeviceName(path) || (info.exists() && !info.isFile()))
        return tr("\"%1\" is not an ordinary file (a device, pipe or socket); nothing was saved.")
            .arg(shown(path));

    QSaveFile file(path);
    // A folder that cannot take the temporary file may still hold a writable image.
    file.setDirectWriteFallback(true);
    // Unbuffered, so that a short write (disk full) is seen here rather than lost in a flush.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return tr("The image file \"%1\" could not be created: %2.")
            .arg(shown(path), file.errorString());
    const QByteArray content = IntelHex::isHexName(path) ? IntelHex::format(bytes) : bytes;
    if (file.write(content) != content.size() || !file.commit())
        return tr("The image file \"%1\" could not be saved: %2.")
            .arg(shown(path), file.errorString());
    return {};
}

} // namespace tavrin
