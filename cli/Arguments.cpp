#include "cli/Arguments.h"

#include <QCommandLineParser>

#include <cmath>

namespace tavrin {

namespace {

const QStringList Words{QStringLiteral("read"), QStringLiteral("write"), QStringLiteral("verify"),
                        QStringLiteral("ports")};

const QCommandLineOption PortOption(QStringLiteral("port"), QString(), QStringLiteral("PORT"));
const QCommandLineOption RetriesOption(QStringLiteral("retries"), QString(), QStringLiteral("N"));
const QCommandLineOption TimeoutOption(QStringLiteral("timeout"), QString(),
                                       QStringLiteral("SECONDS"));
const QCommandLineOption QuietOption(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
const QCommandLineOption HelpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
const QCommandLineOption VersionOption(QStringList{QStringLiteral("v"), QStringLiteral("version")});

} // namespace

QString Arguments::help() {
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
        "the device sent fewer than 64 cells (those that came are saved); 7 the system's timer\n"
        "failed; 8 stopped before the end.\n");
}

QString Arguments::word(Command command) {
    return Words.value(int(command));
}

Arguments::Arguments(const QStringList& arguments)
    : m_problem(parse(arguments)) {}

QString Arguments::parse(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions(
        {PortOption, RetriesOption, TimeoutOption, QuietOption, HelpOption, VersionOption});
    production.addTo(parser);
    if (!parser.parse(arguments))
        return parser.errorText();
    if (parser.isSet(HelpOption) || parser.isSet(VersionOption)) {
        command = parser.isSet(HelpOption) ? Command::Help : Command::Version;
        return {};
    }
    const QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return QStringLiteral("no command given");
    if (!Words.contains(words.constFirst()))
        return QStringLiteral("unknown command \"%1\"").arg(words.constFirst());
    command = Command(Words.indexOf(words.constFirst()));
    if (command == Command::Ports)
        return words.size() > 1 || parser.isSet(PortOption)
                   ? QStringLiteral("ports takes no port or file")
                   : QString();
    return readTransfer(parser, words.constFirst());
}

QString Arguments::readTransfer(const QCommandLineParser& parser, const QString& command) {
    const QStringList words = parser.positionalArguments();
    if (!parser.isSet(PortOption) || parser.value(PortOption).isEmpty())
        return QStringLiteral("%1 needs --port PORT").arg(command);
    if (words.size() != 2)
        return QStringLiteral("%1 needs one FILE").arg(command);
    port = PortArgument::parse(parser.value(PortOption));
    file = words.at(1);
    if (port.kind == PortArgument::Kind::Invalid)
        return QStringLiteral("PORT is 1-4 or a device, not %1").arg(parser.value(PortOption));
    if (const QString problem = readNumbers(parser, command); !problem.isEmpty())
        return problem;
    quiet = parser.isSet(QuietOption);
    return production.read(parser, command);
}

QString Arguments::readNumbers(const QCommandLineParser& parser, const QString& command) {
    if (parser.isSet(RetriesOption)) {
        if (command != u"write")
            return QStringLiteral("--retries is for write");
        bool ok = false;
        retries = parser.value(RetriesOption).toInt(&ok);
        if (!ok || retries < 0)
            return QStringLiteral("--retries takes a count, not %1")
                .arg(parser.value(RetriesOption));
    }
    if (parser.isSet(TimeoutOption)) {
        bool ok = false;
        const double seconds = parser.value(TimeoutOption).toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > 86400)
            return QStringLiteral("--timeout takes seconds, not %1")
                .arg(parser.value(TimeoutOption));
        timeout = std::chrono::milliseconds(std::llround(seconds * 1000));
    }
    return {};
}

} // namespace tavrin
