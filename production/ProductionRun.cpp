#include "production/ProductionRun.h"

#include "commands/Engine.h"
#include "link/WireFormat.h"
#include "production/DurableFile.h"
#include "production/SerialCounter.h"

#include <QDir>

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

// The unit's record comes first: its number is on record with its port before the unit's
// first byte, and its outcome as soon as the verify has ended, before the port cycle.
ProductionRun::Unit ProductionRun::programUnit() {
    m_recorder.begin();
    Unit unit;
    std::optional<QByteArray> before;
    QString problem;

    if (m_options.counter) {
        // A number too big for its cells would be cut short, and meet an earlier one.
        if (m_options.stamp)
            problem = m_options.stamp->fitProblem(m_options.counter->next());
        if (problem.isEmpty())
            unit.serial = m_options.counter->take(&problem);
        if (unit.serial) {
            unit.result.device = m_engine.runner().device();
            problem =
                m_recorder.record(unit.result, {unit.serial, {}, QStringLiteral("started"), {}});
        }
    }
    if (problem.isEmpty() && !m_options.backupFolder.isEmpty()) {
        const CommandResult read = m_engine.runner().readCells();
        unit.result = read;
        unit.result.cells.clear();
        if (read.end == CommandEnd::Done) {
            problem = backUp(read, unit.serial);
            if (problem.isEmpty())
                before = read.cells;
        }
    }
    const bool backedUp = m_options.backupFolder.isEmpty() || before;
    bool recorded = false;
    if (problem.isEmpty() && backedUp) {
        WriteAndVerify::Options write;
        if (m_options.stamp && unit.serial)
            write.edit = [this, serial = *unit.serial](const QByteArray& image) {
                return m_options.stamp->apply(image, serial);
            };
        write.retries = m_options.retries;
        write.beforePortCycle = [&](const CommandResult& verified) {
            unit.milliseconds = m_recorder.elapsedMilliseconds();
            unit.logProblem = m_recorder.record(verified, {unit.serial, before, {}, {}});
            recorded = true;
        };
        unit.result = m_engine.runner().writeAndVerify(write);
        if (recorded)
            return unit;
    } else if (!problem.isEmpty()) {
        unit.result.end = CommandEnd::FileFailed;
    }
    // A unit that failed before or during its write is on record too: its number is spent.
    unit.milliseconds = m_recorder.elapsedMilliseconds();
    unit.problem = problem;
    unit.logProblem = m_recorder.record(unit.result, {unit.serial, before, {}, problem});
    return unit;
}

ProductionRun::Summary ProductionRun::runBatch(const std::function<bool()>& stopRequested) {
    Summary summary;
    while (!stopRequested() && waitForUnit(stopRequested)) {
        const Unit unit = programUnit();
        emit unitEnded(++summary.units, unit);
        summary.done += unit.done();
        if (unit.serial) {
            summary.firstSerial = summary.firstSerial ? summary.firstSerial : unit.serial;
            summary.lastSerial = unit.serial;
        }
        // The counter, the backups or the log cannot be trusted any more.
        if (unit.result.end == CommandEnd::Closing || !unit.problem.isEmpty() ||
            !unit.logProblem.isEmpty())
            break;
        waitUntilGone(stopRequested);
    }
    return summary;
}

bool ProductionRun::answers() {
    return m_engine.runner().probe(m_options.port, ProbeReplyTimeout).end == CommandEnd::Done;
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

QString ProductionRun::backUp(const CommandResult& read, std::optional<quint64> serial) const {
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
    QString name =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss.zzz'Z'")) +
        u'-' + portForFileName(read.device);
    if (serial)
        name += u'-' + QString::number(*serial);
    return DurableFile::replace(QDir(folder).filePath(name + QStringLiteral(".bin")), read.cells);
}

} // namespace tavrin
