#pragma once

#include "production/SerialSource.h"

#include <QLockFile>
#include <QString>

#include <memory>
#include <optional>

namespace tavrin {

// The file that holds the next serial number as decimal text. This process holds it locked from
// open() on; take() moves it on, on disk, before the number is handed out, so no number is used
// twice, whatever happens after. The lock belongs to the file, not to the name it is reached by:
// a link or another spelling of its path meets the same lock.
class SerialCounter : public SerialSource {
public:
    explicit SerialCounter(QString path);
    ~SerialCounter() override;

    // Locks the file and reads it; a missing file counts from `start`, when given, and is created
    // by the first take(). Creates nothing else. Returns the error for the operator, empty on
    // success.
    QString open(std::optional<quint64> start);
    // The lock file of the counter at `path`, whatever name reaches it.
    static QString lockPathFor(const QString& path);
    // The number take() hands out next.
    std::optional<quint64> next() const override {
        return usedUp() ? std::nullopt : std::optional(m_next);
    }
    // Whether every number has been handed out.
    bool usedUp() const { return m_next == ~quint64(0); }
    // Hands out the next number once the file holds the one after it; none, with `error` set,
    // when the file cannot be written.
    std::optional<quint64> take(QString* error);
    Taken take(quint64 largest, const Line& started) override;

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    quint64 m_next = 0;
};

} // namespace tavrin
