#pragma once

#include "commands/CommandResult.h"
#include "commands/PortChoice.h"
#include "production/SerialStamp.h"
#include "production/UnitRecorder.h"

#include <QObject>
#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>
#include <optional>

namespace tavrin {

class Engine;
class SerialSource;

// Writes units on one port: each takes the next serial number before its first byte, is backed
// up, written, verified and recorded; with a batch, unit after unit as they are plugged in. What
// happens is reported as data, for the front end to word.
class ProductionRun : public QObject {
    Q_OBJECT

public:
    struct Options {
        std::optional<SerialStamp> stamp;
        SerialSource* counter = nullptr; // with a stamp
        QString backupFolder;            // empty: no backup
        QString logPath;                 // empty: no log
        int retries = 0;                 // how many more times to write a unit after a difference
        // Where a batch looks for its units: the port is opened again for each probe.
        PortChoice port;
    };

    // What kept a unit from being written, outside the device.
    enum class Obstacle {
        None,
        Counter,   // no number could be taken
        Backup,    // the unit's cells could not be saved whole
        StartLine, // its number was taken, but the line that puts it on record failed
    };

    struct Unit {
        std::optional<quint64> serial;
        Obstacle obstacle = Obstacle::None;
        CommandResult result;
        qint64 milliseconds = 0;
        QString problem;    // with an obstacle: the counter's, backup's or log's own words
        QString logProblem; // why its record could not be written

        bool done() const {
            return result.end == CommandEnd::Done && result.differences.isEmpty() &&
                   problem.isEmpty() && logProblem.isEmpty();
        }
    };

    struct Summary {
        int units = 0;
        int done = 0;
        std::optional<quint64> firstSerial, lastSerial;
        Obstacle stoppedBy = Obstacle::None; // what ended the batch, when not a stop request
    };

    static constexpr std::chrono::milliseconds ProbeInterval{500};
    static constexpr std::chrono::milliseconds ProbeReplyTimeout{300};
    static constexpr std::chrono::minutes StillThereReport{10};

    ProductionRun(Engine& engine, Options options, QObject* parent = nullptr);

    // Programs the unit on the open port.
    Unit programUnit();
    // Programs unit after unit until `stopRequested` says so between units; a unit once begun is
    // finished.
    Summary runBatch(const std::function<bool()>& stopRequested);

signals:
    void unitEnded(int number, const tavrin::ProductionRun::Unit& unit);
    // The batch waits for its serial numbers' source (a line's database), and why.
    void waitingForNumbers(const QString& problem);
    // The unit just done still answers after StillThereReport.
    void unitStillThere(const QString& port);

private:
    // Whether a device answers on the port: opened again (the wake byte), then read.
    bool answers();
    // Waits until a device answers (true), or until stopped (false).
    bool waitForUnit(const std::function<bool()>& stopRequested);
    void waitUntilGone(const std::function<bool()>& stopRequested);
    void waitBetweenProbes();
    // Waits until the numbers' source can hand out a number (true), or until stopped (false).
    bool waitForNumbers(const std::function<bool()>& stopRequested);
    // The unit's outcome, in the log and where the numbers' source keeps records.
    QString recordOutcome(const Unit& unit, const CommandResult& result,
                          const std::optional<QByteArray>& before, const QString& problem);
    // The cells of a whole unit, saved in a new file at `path`; the problem, empty when they are.
    QString backUp(const CommandResult& read, QString* path) const;
    // Takes the unit's number and puts it on record; the backup's name gets the number.
    void number(Unit& unit, const QString& backupPath);
    // Ends a unit that is not written: its outcome goes on record.
    Unit notWritten(Unit unit, Obstacle obstacle, const QString& problem,
                    const std::optional<QByteArray>& before);

    Engine& m_engine;
    Options m_options;
    UnitRecorder m_recorder;
    QUuid m_unitId;
    // In a batch: what says to stop; a unit waits for its numbers' source until then.
    std::function<bool()> m_stopRequested;
};

} // namespace tavrin
