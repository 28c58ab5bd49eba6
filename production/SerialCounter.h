#pragma once

#include <QLockFile>
#include <QString>

#include <optional>

namespace tavrin {

// The file that holds the next serial number as decimal text. This process holds it locked from
// open() on; take() moves it on, on disk, before the number is handed out, so no number is used
// twice, whatever happens after.
class SerialCounter {
public:
    explicit SerialCounter(QString path);

    // Locks the file and reads it; a missing file is created holding `start`, when given.
    // Returns the error for the operator, empty on success.
    QString open(std::optional<quint64> start);
    // The number take() hands out next.
    quint64 next() const { return m_next; }
    // Hands out the next number once the file holds the one after it; none, with `error` set,
    // when the file cannot be written.
    std::optional<quint64> take(QString* error);

private:
    QString m_path;
    QLockFile m_lock;
    quint64 m_next = 0;
};

} // namespace tavrin
