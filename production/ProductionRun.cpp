#include "production/ProductionRun.h"

#include "commands/Engine.h"
#include "link/WireFormat.h"
#include "production/DurableFile.h"
#include "production/SerialSource.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

namespace tavrin {

namespace {

constexpr int UnitsPerSecond = 2000;

// The port as a file name: /dev/ttyUSB0 is ttyUSB0, /dev/pts/3 is pts-3, COM7 stays COM7.
QString portForFileName(QString device) {
    if (device.startsWith(QStringLiteral("/dev/")))
        device.remove(0, 5);
    for (QChar& c : device)
        if (!c.isLetterOrNumber() && c != u'.' && c != u'_')
            c = u'-';
    return device.isEmpty() ? QStringLiteral("port") : device;
}

} // namespace

ProductionRun::ProductionRun(Engine& engine, Options options, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_options(std::move(options))
    , m_recorder(m_options.logPath, QStringLiteral("write"),
                 [&engine] { return engine.waiter().now(); }) {}

// The unit is backed up first, then takes its number, which is on record with its port before
// the unit's first written byte; its outcome follows as soon as the verify has ended, before the
// port cycle. A backup that fails spends no number.
ProductionRun::Unit ProductionRun::programUnit() {
    m_recorder.begin();
    m_unitId = QUuid::createUuid();
    Unit unit;
    std::optional<QByteArray> before;
    QString backupPath;
    // A number too big for its cells would be cut short, and meet an earlier one. The number the
    // unit will get is known before it hears a byte (a counter file is this run's alone; a shared
    // source gives no number beyond what fits).
    if (m_options.counter && m_options.stamp) {
        const std::optional<quint64> next = m_options.counter->next();
        const QString problem = next ? m_options.stamp->fitProblem(*next)
                                     : QObject::tr("the serial numbers are used up");
        if (!problem.isEmpty())
            return notWritten(unit, Obstacle::Counter, problem, before);
    }
    if (!m_options.backupFolder.isEmpty()) {
        const CommandResult read = m_engine.runner().readCells();
        unit.result = read;
        unit.result.cells.clear();
        if (read.end != CommandEnd::Done)
            return notWritten(unit, Obstacle::None, {}, before);
        if (const QString problem = backUp(read, &backupPath); !problem.isEmpty())
            return notWritten(unit, Obstacle::Backup, problem, before);
        before = read.cells;
    }
    if (m_options.counter) {
        number(unit, backupPath);
        if (unit.obstacle == Obstacle::StartLine)
            return unit; // the log has just failed: no line would reach it
        if (unit.obstacle != Obstacle::None)
            return notWritten(unit, unit.obstacle, unit.problem, before);
    }
    WriteAndVerify::Options write;
    if (m_options.stamp && unit.serial)
        write.edit = [this, serial = *unit.serial](const QByteArray& image) {
            return m_options.stamp->apply(image, serial);
        };
    write.retries = m_options.retries;
    bool recorded = false;
    write.beforePortCycle = [&](const CommandResult& verified) {
        unit.milliseconds = m_recorder.elapsedMilliseconds();
        unit.logProblem = recordOutcome(unit, verified, before, {});
        recorded = true;
    };
    unit.result = m_engine.runner().writeAndVerify(write);
    if (recorded)
        return unit;
    // A unit that failed during its write is on record too: its number is spent.
    return notWritten(unit, Obstacle::None, {}, before);
}

void ProductionRun::number(Unit& unit, const QString& backupPath) {
    // The line that puts the number on record, for a source that keeps records: filled in with
    // the number as it is taken.
    CommandResult started;
    started.port = unit.result.port;
    started.device = m_engine.runner().device();
    SerialSource::Line line{
        m_unitId,     m_recorder.startTime(),
        std::nullopt, QStringLiteral("started"),
        {},           m_recorder.line(started, {{}, {}, QStringLiteral("started"), {}})};
    const quint64 largest = m_options.stamp ? m_options.stamp->largest() : ~quint64(0);
    SerialSource::Taken taken = m_options.counter->take(largest, line);
    // A batch's unit, backed up and untouched, waits for a source that cannot be reached.
    // It tries again as a unit of its own: whether the first try took a number is found out,
    // and recorded, once the source is back.
    while (!taken.serial && taken.unreachable && m_stopRequested &&
           waitForNumbers(m_stopRequested)) {
        m_unitId = QUuid::createUuid();
        line.unit = m_unitId;
        taken = m_options.counter->take(largest, line);
    }
    QString problem = taken.problem;
    unit.serial = taken.serial;
    if (unit.serial && !backupPath.isEmpty())
        problem = DurableFile::rename(backupPath, backupPath.chopped(4) + u'-' +
                                                      QString::number(*unit.serial) +
                                                      QStringLiteral(".bin"));
    if (!problem.isEmpty()) {
        unit.obstacle = unit.serial ? Obstacle::Backup : Obstacle::Counter;
        unit.problem = problem;
        return;
    }
    // The line says which number went to which port, and nothing of a result yet.
    unit.result.device = started.device;
    problem = m_recorder.record(started, {unit.serial, {}, QStringLiteral("started"), {}});
    if (!problem.isEmpty()) {
        unit.obstacle = Obstacle::StartLine;
        unit.problem = problem;
        unit.result.end = CommandEnd::FileFailed;
        unit.milliseconds = m_recorder.elapsedMilliseconds();
        // The log has just failed; a source that keeps records learns that nothing was written.
        m_options.counter->recordOutcome(
            {m_unitId, m_recorder.startTime(), unit.serial, UnitLog::resultWord(unit.result),
             problem, m_recorder.line(unit.result, {unit.serial, {}, {}, problem})});
    }
}

ProductionRun::Unit ProductionRun::notWritten(Unit unit, Obstacle obstacle, const QString& problem,
                                              const std::optional<QByteArray>& before) {
    unit.obstacle = obstacle;
    unit.problem = problem;
    if (obstacle != Obstacle::None)
        unit.result.end = CommandEnd::FileFailed;
    unit.milliseconds = m_recorder.elapsedMilliseconds();
    unit.logProblem = recordOutcome(unit, unit.result, before, problem);
    return unit;
}

QString ProductionRun::recordOutcome(const Unit& unit, const CommandResult& result,
                                     const std::optional<QByteArray>& before,
                                     const QString& problem) {
    const UnitRecorder::Facts facts{unit.serial, before, {}, problem};
    QString logProblem = m_recorder.record(result, facts);
    // The source's record holds the units that were given a number.
    if (m_options.counter && unit.serial) {
        const QString kept = m_options.counter->recordOutcome(
            {m_unitId, m_recorder.startTime(), unit.serial, UnitLog::resultWord(result), problem,
             m_recorder.line(result, facts)});
        if (logProblem.isEmpty())
            logProblem = kept;
    }
    return logProblem;
}

ProductionRun::Summary ProductionRun::runBatch(const std::function<bool()>& stopRequested) {
    m_stopRequested = stopRequested;
    const auto single = qScopeGuard([this] { m_stopRequested = {}; });
    Summary summary;
    while (!stopRequested() && waitForNumbers(stopRequested) && waitForUnit(stopRequested)) {
        const Unit unit = programUnit();
        emit unitEnded(++summary.units, unit);
        summary.done += unit.done();
        if (unit.serial) {
            summary.firstSerial = summary.firstSerial ? summary.firstSerial : unit.serial;
            summary.lastSerial = unit.serial;
        }
        // The counter, the backups or the log cannot be trusted any more.
        if (unit.obstacle != Obstacle::None || !unit.logProblem.isEmpty()) {
            summary.stoppedBy = unit.obstacle;
            break;
        }
        if (unit.result.end == CommandEnd::Closing)
            break;
        waitUntilGone(stopRequested);
    }
    return summary;
}

bool ProductionRun::answers() {
    return m_engine.runner().probe(m_options.port, ProbeReplyTimeout).end == CommandEnd::Done;
}

bool ProductionRun::waitForNumbers(const std::function<bool()>& stopRequested) {
    if (!m_options.counter)
        return true;
    bool reported = false; // once a wait: its first reason
    for (QString problem = m_options.counter->prepare(); !problem.isEmpty();
         problem = m_options.counter->prepare()) {
        if (!reported)
            emit waitingForNumbers(problem);
        reported = true;
        waitBetweenProbes();
        if (stopRequested() || m_engine.waiter().isClosing())
            return false;
    }
    return true;
}

bool ProductionRun::waitForUnit(const std::function<bool()>& stopRequested) {
    while (!answers()) {
        waitBetweenProbes();
        if (stopRequested() || m_engine.waiter().isClosing())
            return false;
    }
    return true;
}

void ProductionRun::waitUntilGone(const std::function<bool()>& stopRequested) {
    const auto start = m_engine.waiter().now();
    bool reported = false;
    while (!stopRequested() && !m_engine.waiter().isClosing() && answers()) {
        if (!reported && m_engine.waiter().now() - start >= StillThereReport) {
            reported = true;
            emit unitStillThere(m_engine.runner().portName());
        }
        waitBetweenProbes();
    }
}

void ProductionRun::waitBetweenProbes() {
    m_engine.pacing().Pause(int(ProbeInterval.count() * UnitsPerSecond / 1000));
}

QString ProductionRun::backUp(const CommandResult& read, QString* path) const {
    // A backup that is not the whole unit cannot undo the write.
    if (read.cells.size() != Wire::EepromSize)
        return QObject::tr("the unit answered with %1 of the %2 cells, so there is no backup and "
                           "nothing was written")
            .arg(read.cells.size())
            .arg(Wire::EepromSize);
    const QString folder = m_options.backupFolder;
    if (!QDir().mkpath(folder))
        return QObject::tr("the backup folder %1 cannot be made")
            .arg(QDir::toNativeSeparators(folder));
    *path = QDir(folder).filePath(
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss.zzz'Z'")) +
        u'-' + portForFileName(read.device) + QStringLiteral(".bin"));
    // A backup is a new file: never one that is there already, whatever it is.
    if (QFileInfo::exists(*path) || QFileInfo(*path).isSymLink())
        return QObject::tr("%1 is there already; a backup is never written over a file")
            .arg(QDir::toNativeSeparators(*path));
    return DurableFile::replace(*path, read.cells);
}

} // namespace tavrin
