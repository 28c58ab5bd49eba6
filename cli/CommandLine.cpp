#include "cli/CommandLine.h"

#include "cli/ArgumentFile.h"
#include "cli/ConsoleMessages.h"
#include "cli/PortClaim.h"
#include "cli/PortList.h"
#include "cli/ProgressBar.h"
#include "commands/Engine.h"
#include "image/ImageFile.h"
#include "link/WireFormat.h"
#include "platform/QtMessagePump.h"
#include "platform/QtSerialControl.h"
#include "platform/QtTickSource.h"
#include "production/DurableFile.h"
#include "production/ProductionRun.h"
#include "production/SerialCounter.h"
#include "production/UnitLog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QScopeGuard>
#include <QSerialPortInfo>
#include <QTextStream>

#include <array>
#include <cmath>
#include <csignal>
#include <memory>
#include <vector>

namespace tavrin {

namespace {

const QStringList Commands{QStringLiteral("read"), QStringLiteral("write"),
                           QStringLiteral("verify"), QStringLiteral("ports")};

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

} // namespace

bool CommandLine::wants(int argc, char** argv) {
    if (argc < 2)
        return false;
    // Qt's own options for a window program, which QApplication takes for itself.
    static const QStringList windowOptions{QStringLiteral("platform"),
                                           QStringLiteral("platformpluginpath"),
                                           QStringLiteral("platformtheme"),
                                           QStringLiteral("plugin"),
                                           QStringLiteral("qwindowgeometry"),
                                           QStringLiteral("qwindowicon"),
                                           QStringLiteral("qwindowtitle"),
                                           QStringLiteral("reverse"),
                                           QStringLiteral("session"),
                                           QStringLiteral("style"),
                                           QStringLiteral("stylesheet"),
                                           QStringLiteral("widgetcount"),
                                           QStringLiteral("display"),
                                           QStringLiteral("geometry"),
                                           QStringLiteral("name"),
                                           QStringLiteral("title"),
                                           QStringLiteral("visual"),
                                           QStringLiteral("sync"),
                                           QStringLiteral("nograb"),
                                           QStringLiteral("dograb")};
    QString first = QString::fromLocal8Bit(argv[1]);
    if (!first.startsWith(u'-'))
        return true;
    while (first.startsWith(u'-'))
        first.remove(0, 1);
    return !windowOptions.contains(first.section(u'=', 0, 0));
}

QString CommandLine::help() {
    return QStringLiteral(
        "Usage:\n"
        "  tavrin                                   the window\n"
        "  tavrin read   --port PORT FILE           read the EEPROM, save it to FILE\n"
        "  tavrin write  --port PORT FILE [--retries N]\n"
        "                                           write FILE, read back, verify; on a "
        "difference write\n"
        "                                           again up to N more times (default 0)\n"
        "  tavrin verify --port PORT FILE           read the EEPROM and compare with FILE; "
        "nothing is\n"
        "                                           written\n"
        "  tavrin ports                             list Com1..Com4 and every serial port "
        "present\n"
        "\n"
        "Production bench (write):\n"
        "  --serial-at ADDR        put the next serial number into the cells from ADDR (decimal "
        "or 0x..)\n"
        "  --serial-file FILE      the file that holds the next serial number; it is moved on, "
        "on disk,\n"
        "                          before a unit's first byte, so no number is used twice\n"
        "  --serial-start N        create FILE holding N when it does not exist\n"
        "  --serial-width N        cells for the number (default 4)\n"
        "  --serial-format F       be (default), le, bcd, or ascii (decimal digits)\n"
        "  --backup DIR            read the unit first and save its cells in DIR; no backup, "
        "no write\n"
        "  --each                  write unit after unit as they are plugged in; Ctrl+C stops "
        "after the\n"
        "                          unit being written; exit 0 when every unit was done, else 1\n"
        "  --log FILE              append one JSON line per unit (also for read and verify)\n"
        "\n"
        "PORT is 1-4 (Com1..Com4 as the window maps them: TAVRIN_COM1..TAVRIN_COM4 when set,\n"
        "else the serial ports present) or a device such as /dev/ttyUSB0.\n"
        "\n"
        "Options:\n"
        "  --timeout SECONDS   how long to wait for the device's reply (default 10)\n"
        "  --retries N         write: how many more times to write after a difference\n"
        "  -q, --quiet         no progress and no report on success\n"
        "  -h, --help          this text\n"
        "  -v, --version       the version\n"
        "\n"
        "Exit status: 0 done; 1 the verify found differences; 2 usage error; 3 no reply within\n"
        "the timeout; 4 port error (absent, busy, no permission, lost); 5 file error; 6 read:\n"
        "the device sent fewer than 64 cells (those that came are saved).\n");
}

CommandLine::CommandLine(QStringList arguments)
    : m_arguments(std::move(arguments)) {}

ExitCode CommandLine::usage(const QString& problem) const {
    err() << "tavrin: " << problem << "\n\n" << help();
    err().flush();
    return ExitCode::Usage;
}

ExitCode CommandLine::run() {
    QCommandLineParser parser;
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("PORT"));
    const QCommandLineOption retries(QStringLiteral("retries"), QString(), QStringLiteral("N"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(),
                                     QStringLiteral("SECONDS"));
    const QCommandLineOption quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({port, retries, timeout, quiet, helpOption, version});
    m_production.addTo(parser);
    if (!parser.parse(m_arguments))
        return usage(parser.errorText());
    if (parser.isSet(helpOption)) {
        out() << help();
        return ExitCode::Done;
    }
    if (parser.isSet(version)) {
        out() << "tavrin " << QCoreApplication::applicationVersion() << "\n";
        return ExitCode::Done;
    }

    const QStringList words = parser.positionalArguments();
    if (words.isEmpty() || !Commands.contains(words.constFirst()))
        return usage(words.isEmpty()
                         ? QStringLiteral("no command given")
                         : QStringLiteral("unknown command \"%1\"").arg(words.constFirst()));
    const QString command = words.constFirst();
    if (command == u"ports") {
        if (words.size() > 1 || parser.isSet(port))
            return usage(QStringLiteral("ports takes no port or file"));
        PortList::print(out());
        return ExitCode::Done;
    }

    if (!parser.isSet(port) || parser.value(port).isEmpty())
        return usage(QStringLiteral("%1 needs --port PORT").arg(command));
    if (words.size() != 2)
        return usage(QStringLiteral("%1 needs one FILE").arg(command));
    m_port = PortArgument::parse(parser.value(port));
    m_file = words.at(1);
    if (m_port.kind == PortArgument::Kind::Invalid)
        return usage(QStringLiteral("PORT is 1-4 or a device, not %1").arg(parser.value(port)));
    if (parser.isSet(retries)) {
        if (command != u"write")
            return usage(QStringLiteral("--retries is for write"));
        bool ok = false;
        m_retries = parser.value(retries).toInt(&ok);
        if (!ok || m_retries < 0)
            return usage(
                QStringLiteral("--retries takes a count, not %1").arg(parser.value(retries)));
    }
    if (parser.isSet(timeout)) {
        bool ok = false;
        const double seconds = parser.value(timeout).toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > 86400)
            return usage(
                QStringLiteral("--timeout takes seconds, not %1").arg(parser.value(timeout)));
        m_timeout = std::chrono::milliseconds(std::llround(seconds * 1000));
    }
    m_quiet = parser.isSet(quiet);
    if (const QString problem = m_production.read(parser, command); !problem.isEmpty())
        return usage(problem);
    return transfer(command == u"read"    ? Command::Read
                    : command == u"write" ? Command::Write
                                          : Command::Verify);
}

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

// While a write runs, Ctrl+C, SIGTERM (a timeout, a service stopping) and SIGHUP (a dropped
// session) let the unit being written finish: a half-written EEPROM is worse than a short wait.
class StopSignals {
public:
    StopSignals() {
        stopRequested = 0;
        for (int signal : Signals)
            m_before.push_back(std::signal(signal, requestStop));
    }
    ~StopSignals() {
        for (std::size_t i = 0; i < Signals.size(); ++i)
            std::signal(Signals[i], m_before[i]);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
#ifdef SIGHUP
    static constexpr std::array<int, 3> Signals{SIGINT, SIGTERM, SIGHUP};
#else
    static constexpr std::array<int, 2> Signals{SIGINT, SIGTERM};
#endif
    std::vector<void (*)(int)> m_before;
};

} // namespace

ExitCode CommandLine::transfer(Command command) {
    QtMessagePump pump;
    QtTickSource timer1;
    QtSerialControl comm;
    ArgumentFile file(m_file);
    ConsoleMessages messages;
    Engine engine({pump, timer1, comm, file, messages});
    // However the command ends, the port is closed with both lines down, as the window leaves it.
    const auto closePort = qScopeGuard([&engine] { engine.runner().shutDown(); });
    engine.protocol().setReplyTimeout(m_timeout);
    std::optional<StopSignals> stopSignals;
    if (command == Command::Write)
        stopSignals.emplace();
    CommandRunner& runner = engine.runner();
    const QString device = m_port.kind == PortArgument::Kind::Number
                               ? engine.link().deviceFor(m_port.number)
                               : m_port.device;
    const QDateTime started = QDateTime::currentDateTimeUtc();
    const auto start = engine.waiter().now();

    // Everything the command and the unit's record need is checked before anything reaches the
    // device. A refusal is logged once, when the log itself is usable.
    const QString logPath = m_production.logPath;
    auto logEnd = [&](const CommandResult& result, const QString& state, const QString& problem) {
        if (logPath.isEmpty())
            return QString();
        CommandResult logged = result;
        if (logged.device.isEmpty())
            logged.device = device;
        const qint64 ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(engine.waiter().now() - start)
                .count();
        return UnitLog(logPath).append({started, Commands.at(int(command)), logged,
                                        QSerialPortInfo(logged.device).serialNumber(), std::nullopt,
                                        std::nullopt, ms, state, problem});
    };
    // A refusal that never reached the port is "refused"; one by the port says how it failed.
    auto refuse = [&](const QString& problem, ExitCode code, const CommandResult& result = {}) {
        err() << "tavrin: " << problem << "; nothing was sent" << Qt::endl;
        logEnd(result, result.end == CommandEnd::NotStarted ? QStringLiteral("refused") : QString(),
               problem);
        return code;
    };
    if (!logPath.isEmpty()) {
        if (const QString problem = UnitLog(logPath).check(); !problem.isEmpty()) {
            err() << "tavrin: " << problem << "; nothing was sent" << Qt::endl;
            return ExitCode::Usage;
        }
    }
    if (command != Command::Read) {
        const ImageFile::ReadResult image = ImageFile::read(m_file);
        if (!image.ok()) {
            messages.tell(image.error, QObject::tr("Image not opened"));
            logEnd({}, QStringLiteral("refused"), image.error);
            return ExitCode::FileError;
        }
    }
    std::optional<SerialCounter> counter;
    if (m_production.stamp) {
        counter.emplace(m_production.serialFile);
        QString problem = counter->open(m_production.serialStart);
        if (problem.isEmpty())
            problem = m_production.stamp->fitProblem(counter->next());
        if (problem.isEmpty() && counter->usedUp())
            problem = QObject::tr("the serial numbers in %1 are used up")
                          .arg(QDir::toNativeSeparators(m_production.serialFile));
        if (!problem.isEmpty())
            return refuse(problem, ExitCode::Usage);
    }
    if (!m_production.backupFolder.isEmpty()) {
        if (const QString problem = DurableFile::checkFolder(m_production.backupFolder);
            !problem.isEmpty())
            return refuse(problem, ExitCode::Usage);
    }
    // One tavrin a device: a batch keeps it between units and through the port cycle.
    PortClaim claim(device);
    if (!device.isEmpty() && !claim.take()) {
        CommandResult busy;
        busy.end = CommandEnd::PortFailed;
        busy.portFailure = PortError::Kind::Busy;
        return refuse(
            QObject::tr("%1 is in use by %2").arg(QDir::toNativeSeparators(device), claim.holder()),
            ExitCode::PortError, busy);
    }

    auto openPort = [&] {
        return m_port.kind == PortArgument::Kind::Number ? runner.choosePort(m_port.number)
                                                         : runner.choosePort(m_port.device);
    };
    // A batch finds its units by opening the port: it may not be there yet.
    if (!m_production.each && openPort() != CommandEnd::Done) {
        CommandResult failed;
        failed.end = CommandEnd::PortFailed;
        failed.portFailure = engine.link().lastFailure().kind;
        logEnd(failed, {}, {});
        return ExitCode::PortError;
    }
    const QString where = engine.link().describePort();
    std::unique_ptr<ProgressBar> progress;
    if (!m_quiet && ProgressBar::wanted() && !m_production.each)
        progress = std::make_unique<ProgressBar>(engine.reporter());

    if (command == Command::Write && m_production.wanted()) {
        ProductionRun run(engine,
                          {m_production.stamp, counter ? &*counter : nullptr,
                           m_production.backupFolder, logPath, m_retries, openPort,
                           [&messages](bool quiet) { messages.setQuiet(quiet); }},
                          out(), err());
        if (m_production.each)
            return batch(run);
        const ProductionRun::Unit unit = run.programUnit();
        progress.reset();
        if (!unit.problem.isEmpty() && unit.result.end == CommandEnd::Done)
            return ExitCode::FileError;
        return report(command, unit.result, where);
    }

    WriteAndVerify::Options write;
    write.retries = m_retries;
    const CommandResult result = command == Command::Read    ? runner.readAndSave()
                                 : command == Command::Write ? runner.writeAndVerify(write)
                                                             : runner.verify(m_file);
    progress.reset();
    if (const QString logged = logEnd(result, {}, {}); !logged.isEmpty()) {
        err() << "tavrin: " << logged << Qt::endl;
        if (result.end == CommandEnd::Done)
            return ExitCode::FileError;
    }
    return report(command, result, where);
}

ExitCode CommandLine::report(Command command, const CommandResult& result, const QString& where) {
    switch (result.end) {
    case CommandEnd::Done:
        break;
    case CommandEnd::TimedOut:
        err() << "tavrin: " << where << ": no reply from the device within "
              << double(m_timeout.count()) / 1000 << " s" << Qt::endl;
        return ExitCode::NoReply;
    case CommandEnd::FileFailed:
    case CommandEnd::Cancelled:
        return ExitCode::FileError;
    default:
        return ExitCode::PortError;
    }

    if (const qsizetype cells = result.differences.size(); cells > 0) {
        for (const QString& line : ImageComparison::describe(result.differences))
            out() << line << "\n";
        err() << "tavrin: " << m_file << " and the EEPROM on " << where << " differ in " << cells
              << (cells == 1 ? " cell" : " cells") << Qt::endl;
        return ExitCode::Differences;
    }
    if (command == Command::Read && result.cells.size() < Wire::EepromSize) {
        err() << "tavrin: " << where << " answered with " << result.cells.size() << " of the "
              << Wire::EepromSize << " cells; those were saved in " << m_file << Qt::endl;
        return ExitCode::ShortReply;
    }
    if (!m_quiet) {
        if (command == Command::Read)
            out() << "read " << result.cells.size() << " bytes from " << where << " into " << m_file
                  << "\n";
        else if (command == Command::Write)
            out() << "wrote " << m_file << " to " << where << ", verified\n";
        else
            out() << m_file << " matches the EEPROM on " << where << "\n";
    }
    return ExitCode::Done;
}

// Ctrl+C, SIGTERM and SIGHUP end the batch after the unit being written.
ExitCode CommandLine::batch(ProductionRun& run) {
    out() << "waiting for units; Ctrl+C stops after the unit being written" << Qt::endl;
    const bool allDone = run.runBatch([] { return stopRequested != 0; });
    return allDone ? ExitCode::Done : ExitCode::Differences;
}

} // namespace tavrin
