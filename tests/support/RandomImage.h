#pragma once

#include "image/ImageFile.h"
#include "link/WireFormat.h"

#include <QRandomGenerator>

namespace tavrin::test {

// Writes a full image of random bytes to `path` and returns the bytes.
inline QByteArray writeRandomImage(const QString& path) {
    QByteArray image(Wire::EepromSize, 0);
    for (char& byte : image)
        byte = char(QRandomGenerator::global()->bounded(256));
    (void)ImageFile::write(path, image);
    return image;
}

} // namespace tavrin::test
