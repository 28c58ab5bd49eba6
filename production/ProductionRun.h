#pragma once

#include "commands/CommandResult.h"
#include "production/SerialStamp.h"

#include <QDateTime>
#include <QString>
#include <QTextStream>

#include <chrono>
#include <functional>
#include <optional>

namespace tavrin {

class Engine;
class SerialCounter;

// Writes units on one port: each takes the next serial number before its first byte, is backed
// up, written, verified and logged; with a batch, unit after unit as they are plugged in.
class ProductionRun {
public:
    struct Options {
        std::optional<SerialStamp> stamp;
        SerialCounter* counter = nullptr; // with a stamp
        QString backupFolder;             // empty: no backup
        QString logPath;                  // empty: no log
        int retries = 0;                  // how many more times to write a unit after a difference
        // Opens the port again and wakes the device: how a batch probes for a unit.
        std::function<CommandEnd()> openPort;
        // Keeps port and device messages off the terminal while a batch probes.
        std::function<void(bool quiet)> quietMessages;
    };

    struct Unit {
        std::optional<quint64> serial;
        CommandResult result;
        qint64 milliseconds = 0;
        QString problem; // why the unit failed outside the device: counter, backup or log
    };

    static constexpr std::chrono::milliseconds ProbeInterval{500};
    static constexpr std::chrono::milliseconds ProbeReplyTimeout{300};
    static constexpr std::chrono::minutes StillThereReport{10};

    ProductionRun(Engine& engine, Options options, QTextStream& out, QTextStream& err);

    // Programs the unit on the open port.
    Unit programUnit();
    // Programs unit after unit until `stopRequested` says so between units; a unit once begun is
    // finished. True when every unit was done.
    bool runBatch(const std::function<bool()>& stopRequested);

private:
    // Whether a device answers on the port: opened again (the wake byte), then read.
    bool answers();
    // Waits until a device answers (true), or until stopped (false).
    bool waitForUnit(const std::function<bool()>& stopRequested);
    void waitUntilGone(const std::function<bool()>& stopRequested);
    void waitBetweenProbes();
    QString backUp(const QByteArray& cells, std::optional<quint64> serial) const;
    // Appends a line for the unit to the log, when there is one; the error, empty when written.
    QString log(const QDateTime& started, const Unit& unit, const std::optional<QByteArray>& before,
                const QString& state = {});
    void printUnit(int number, const Unit& unit);
    qint64 elapsedSince(std::chrono::steady_clock::time_point start) const;

    Engine& m_engine;
    Options m_options;
    QTextStream& m_out;
    QTextStream& m_err;
};

} // namespace tavrin
