#pragma once

#include <QByteArray>
#include <QString>

namespace tavrin {

// Files that must survive a kill or a power cut: each change is whole or absent, and on disk
// before the call returns.
class DurableFile {
public:
    // Replaces the file atomically and syncs it and its folder. Returns the error for the
    // operator, empty on success.
    static QString replace(const QString& path, const QByteArray& bytes);
    // Appends one line in one write and syncs it; a line a crash left unfinished is ended first,
    // so that it spoils nothing after it. Returns the error for the operator, empty on success.
    static QString appendLine(const QString& path, const QByteArray& line);
    // Whether appendLine() can write at `path`: a regular file that opens for appending, or a new
    // one in a folder that can be written to. Creates nothing. The error, empty when it can.
    static QString checkAppendable(const QString& path);
    // Whether the folder at `path` is there or can be made, and can be written to. Creates
    // nothing. The error, empty when it can.
    static QString checkFolder(const QString& path);
};

} // namespace tavrin
