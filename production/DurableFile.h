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
    // Gives the file a new name, where no file is, and syncs its folder. The error for the
    // operator, empty on success.
    static QString rename(const QString& from, const QString& to);
    // Appends one line in one write and syncs it; a line a crash left unfinished is ended first,
    // so that it spoils nothing after it. Returns the error for the operator, empty on success.
    static QString appendLine(const QString& path, const QByteArray& line);
    // Whether appendLine() can write at `path`: a regular file that opens for appending, or a new
    // one in a folder that can be written to. Creates nothing. The error, empty when it can.
    static QString checkAppendable(const QString& path);
    // Whether replace() can change the existing file at `path`, or make it: the file and its
    // folder can be written. Creates nothing. The error, empty when it can.
    static QString checkReplaceable(const QString& path);
    // Makes the folder at `path` when it is missing, with any folders above it, and proves that
    // it takes a file of `probeSize` bytes, synced, by saving one and removing it. When it does
    // not, removes whatever it made. The error, empty when the folder is ready.
    static QString prepareFolder(const QString& path, qsizetype probeSize);
};

} // namespace tavrin
