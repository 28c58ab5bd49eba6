#include "image/ImageFile.h"

#include "image/IntelHex.h"
#include "platform/SystemCalls.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tavrin {

namespace {

using Kind = FileProblem::Kind;

FileProblem opening(Kind kind, const QString& path, const QString& reason = {}, int line = 0) {
    return {kind, FileProblem::Action::Open, path, reason, line};
}

FileProblem saving(Kind kind, const QString& path, const QString& reason = {}) {
    return {kind, FileProblem::Action::Save, path, reason, 0};
}

} // namespace

ImageFile::ReadResult ImageFile::read(const QString& path) {
    const QFileInfo info(path);
    if (SystemCalls::isReservedDeviceName(path))
        return {{}, opening(Kind::DeviceName, path)};
    if (!info.exists())
        return {{}, opening(Kind::Missing, path)};
    if (info.isDir())
        return {{}, opening(Kind::Folder, path)};
    if (!info.isFile())
        return {{}, opening(Kind::NotOrdinary, path)};

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, opening(Kind::NotOpened, path, file.errorString())};
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {{}, opening(Kind::NotRead, path, file.errorString())};
    if (!IntelHex::isHexName(path))
        return {bytes, {}};
    const IntelHex::Parsed hex = IntelHex::parse(bytes);
    if (hex.ok())
        return {hex.cells, {}};
    return {{}, opening(Kind::NotHex, path, hex.error, hex.errorLine)};
}

FileProblem ImageFile::write(const QString& path, const QByteArray& bytes) {
    // Replacing a device node, FIFO or socket with a plain file would break what it stood for.
    const QFileInfo info(path);
    if (info.isDir())
        return saving(Kind::Folder, path);
    if (SystemCalls::isReservedDeviceName(path))
        return saving(Kind::DeviceName, path);
    if (info.exists() && !info.isFile())
        return saving(Kind::NotOrdinary, path);

    QSaveFile file(path);
    // A folder that cannot take the temporary file may still hold a writable image.
    file.setDirectWriteFallback(true);
    // Unbuffered, so that a short write (disk full) is seen here rather than lost in a flush.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return saving(Kind::NotCreated, path, file.errorString());
    const QByteArray content = IntelHex::isHexName(path) ? IntelHex::format(bytes) : bytes;
    if (file.write(content) != content.size() || !file.commit())
        return saving(Kind::NotSaved, path, file.errorString());
    return {};
}

} // namespace tavrin
