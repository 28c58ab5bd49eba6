#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace tavrin::test {

// What a file holds now, or "<unreadable>".
inline QByteArray fileContents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace tavrin::test
