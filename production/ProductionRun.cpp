#include "production/ProductionRun.h"

#include "commands/Engine.h"
#include "link/WireFormat.h"
#include "production/DurableFile.h"
#include "production/SerialCounter.h"
#include "production/UnitLog.h"

#include <QDir>
#include <QSerialPortInfo>

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

ProductionRun::ProductionRun(Engine& engine, Options options, QTextStream& out, QTextStream& err)
    : m_engine(engine)
    , m_options(std::move(options))
    , m_out(out)
    , m_err(err) {}

// The unit's record comes first: its number is on record with its port before the unit's
// first byte, and its outcome as soon as the verify has ended, before the port cycle.
ProductionRun::Unit ProductionRun::programUnit() {
    const auto start = m_engine.waiter().now();
    const QDateTime started = QDateTime::currentDateTimeUtc();
    Unit unit;
    unit.result.device = m_engine.link().device();
    std::optional<QByteArray> before;
    QString problem;

    if (m_options.counter) {
        // A number too big for its cells would be cut short, and meet an earlier one.
        if (m_options.stamp)
            problem = m_options.stamp->fitProblem(m_options.counter->next());
        if (problem.isEmpty())
            unit.serial = m_options.counter->take(&problem);
        if (unit.serial)
            problem = log(started, unit, before, QStringLiteral("started"));
    }
    if (problem.isEmpty() && !m_options.backupFolder.isEmpty()) {
        const CommandResult read = m_engine.runner().readCells();
        unit.result.end = read.end;
        unit.result.portFailure = read.portFailure;
        if (read.end == CommandEnd::Done) {
            // A backup that is not the whole unit cannot undo the write.
            if (read.cells.size() != Wire::EepromSize)
                problem = QObject::tr("the unit answered with %1 of the %2 cells, so there is no "
                                      "backup and nothing was written")
                              .arg(read.cells.size())
                              .arg(Wire::EepromSize);
            else
                problem = backUp(read.cells, unit.serial);
            if (problem.isEmpty())
                before = read.cells;
        }
    }
    const bool backedUp = m_options.backupFolder.isEmpty() || before;
    if (problem.isEmpty() && backedUp) {
        WriteAndVerify::Options write;
        if (m_options.stamp && unit.serial)
            write.edit = [this, serial = *unit.serial](const QByteArray& image) {
                return m_options.stamp->apply(image, serial);
            };
        write.retries = m_options.retries;
        write.portCycle = WriteAndVerify::PortCycle::ByCaller;
        unit.result = m_engine.runner().writeAndVerify(write);
    } else if (!problem.isEmpty()) {
        unit.result.end = CommandEnd::FileFailed;
    }
    unit.milliseconds = elapsedSince(start);
    unit.problem = problem;

    // A unit that failed before its write is logged too: its number is spent.
    if (!problem.isEmpty())
        m_err << "tavrin: " << problem << Qt::endl;
    if (const QString logged = log(started, unit, before); !logged.isEmpty()) {
        m_err << "tavrin: " << logged << Qt::endl;
        if (unit.problem.isEmpty())
            unit.problem = logged;
    }
    if (unit.result.end == CommandEnd::Done && m_engine.link().CyclePort() == Outcome::Closing)
        unit.result.end = CommandEnd::Closing;
    return unit;
}

QString ProductionRun::log(const QDateTime& started, const Unit& unit,
                           const std::optional<QByteArray>& before, const QString& state) {
    if (m_options.logPath.isEmpty())
        return {};
    UnitLog::Entry entry{started,           QStringLiteral("write"),
                         unit.result,       QSerialPortInfo(unit.result.device).serialNumber(),
                         unit.serial,       before,
                         unit.milliseconds, state,
                         unit.problem};
    return UnitLog(m_options.logPath).append(entry);
}

bool ProductionRun::runBatch(const std::function<bool()>& stopRequested) {
    int units = 0;
    int done = 0;
    std::optional<quint64> first, last;
    while (!stopRequested() && waitForUnit(stopRequested)) {
        const Unit unit = programUnit();
        printUnit(++units, unit);
        if (unit.result.end == CommandEnd::Done && unit.result.differences.isEmpty() &&
            unit.problem.isEmpty())
            ++done;
        if (unit.serial) {
            first = first ? first : unit.serial;
            last = unit.serial;
        }
        if (unit.result.end == CommandEnd::Closing || !unit.problem.isEmpty())
            break; // the counter, the backups or the log cannot be trusted any more
        waitUntilGone(stopRequested);
    }
    m_out << units << (units == 1 ? " unit: " : " units: ") << done << " done, " << units - done
          << " failed";
    if (first)
        m_out << "; serial numbers " << *first
              << (*last != *first ? "-" + QString::number(*last) : QString());
    m_out << Qt::endl;
    return done == units;
}

bool ProductionRun::answers() {
    if (m_options.quietMessages)
        m_options.quietMessages(true);
    bool answered = m_options.openPort() == CommandEnd::Done;
    if (answered) {
        DeviceProtocol& protocol = m_engine.protocol();
        const auto timeout = protocol.replyTimeout();
        protocol.setReplyTimeout(ProbeReplyTimeout);
        answered = m_engine.runner().readCells().end == CommandEnd::Done;
        protocol.setReplyTimeout(timeout);
    }
    if (m_options.quietMessages)
        m_options.quietMessages(false);
    return answered;
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
            m_err << "tavrin: the unit on " << m_engine.link().describePort()
                  << " still answers after " << StillThereReport.count()
                  << " minutes; waiting for it to be taken off" << Qt::endl;
        }
        waitBetweenProbes();
    }
}

void ProductionRun::waitBetweenProbes() {
    m_engine.pacing().Pause(int(ProbeInterval.count() * UnitsPerSecond / 1000));
}

QString ProductionRun::backUp(const QByteArray& cells, std::optional<quint64> serial) const {
    const QString folder = m_options.backupFolder;
    if (!QDir().mkpath(folder))
        return QObject::tr("the backup folder %1 cannot be made")
            .arg(QDir::toNativeSeparators(folder));
    QString name =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss.zzz'Z'")) +
        u'-' + portForFileName(m_engine.link().device());
    if (serial)
        name += u'-' + QString::number(*serial);
    return DurableFile::replace(QDir(folder).filePath(name + QStringLiteral(".bin")), cells);
}

void ProductionRun::printUnit(int number, const Unit& unit) {
    m_out << "unit " << number;
    if (unit.serial)
        m_out << ", serial " << *unit.serial;
    m_out << ": " << UnitLog::resultWord(unit.result);
    if (const qsizetype cells = unit.result.differences.size(); cells > 0)
        m_out << " (" << cells << (cells == 1 ? " cell" : " cells") << ")";
    m_out << ", " << QString::number(double(unit.milliseconds) / 1000, 'f', 2) << " s" << Qt::endl;
}

qint64 ProductionRun::elapsedSince(std::chrono::steady_clock::time_point start) const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_engine.waiter().now() - start)
        .count();
}

} // namespace tavrin
