#include "cli/ProductionOptions.h"

#include "production/NumberText.h"

#include <QCommandLineParser>
#include <QSysInfo>

namespace tavrin {

namespace {

QCommandLineOption valued(const char* name, const char* value) {
    return QCommandLineOption(QString::fromLatin1(name), QString(), QString::fromLatin1(value));
}

std::optional<quint64> number(const QString& text) {
    return NumberText::parse(text).number();
}

} // namespace

ProductionOptions::ProductionOptions()
    : m_serialAt(valued("serial-at", "ADDR"))
    , m_serialFile(valued("serial-file", "FILE"))
    , m_serialWidth(valued("serial-width", "N"))
    , m_serialFormat(valued("serial-format", "FORMAT"))
    , m_serialStart(valued("serial-start", "N"))
    , m_backup(valued("backup", "DIR"))
    , m_log(valued("log", "FILE"))
    , m_each(QStringLiteral("each"))
    , m_line(valued("line", "CONNINFO"))
    , m_sequence(valued("sequence", "NAME"))
    , m_station(valued("station", "NAME"))
    , m_spool(valued("spool", "FILE")) {}

void ProductionOptions::addTo(QCommandLineParser& parser) const {
    parser.addOptions({m_serialAt, m_serialFile, m_serialWidth, m_serialFormat, m_serialStart,
                       m_backup, m_log, m_each, m_line, m_sequence, m_station, m_spool});
}

QString ProductionOptions::read(const QCommandLineParser& parser, const QString& command) {
    const bool write = command == u"write";
    for (const QCommandLineOption* option :
         {&m_serialAt, &m_serialFile, &m_serialWidth, &m_serialFormat, &m_serialStart, &m_backup,
          &m_each, &m_line, &m_sequence, &m_station, &m_spool})
        if (parser.isSet(*option) && !write)
            return QStringLiteral("--%1 is for write").arg(option->names().constFirst());
    logPath = parser.value(m_log);
    backupFolder = parser.value(m_backup);
    each = parser.isSet(m_each);
    if (parser.isSet(m_log) && logPath.isEmpty())
        return QStringLiteral("--log needs a FILE");
    if (parser.isSet(m_backup) && backupFolder.isEmpty())
        return QStringLiteral("--backup needs a DIR");

    const bool serial =
        parser.isSet(m_serialAt) || parser.isSet(m_serialFile) || parser.isSet(m_line);
    if (!serial) {
        for (const QCommandLineOption* option :
             {&m_serialWidth, &m_serialFormat, &m_serialStart, &m_sequence, &m_station, &m_spool})
            if (parser.isSet(*option))
                return QStringLiteral("--%1 goes with --serial-at and --serial-file or --line")
                    .arg(option->names().constFirst());
        return {};
    }
    if (const QString problem = readLine(parser); !problem.isEmpty())
        return problem;
    return readSerial(parser);
}

// The line's database instead of a counter file: one or the other.
QString ProductionOptions::readLine(const QCommandLineParser& parser) {
    if (!parser.isSet(m_line)) {
        for (const QCommandLineOption* option : {&m_sequence, &m_station, &m_spool})
            if (parser.isSet(*option))
                return QStringLiteral("--%1 goes with --line").arg(option->names().constFirst());
        return {};
    }
    if (parser.isSet(m_serialFile) || parser.isSet(m_serialStart))
        return QStringLiteral("--line and --serial-file (or --serial-start) cannot be given "
                              "together: the numbers come from one place");
    line = parser.value(m_line);
    sequence = parser.value(m_sequence);
    station = parser.isSet(m_station) ? parser.value(m_station) : QSysInfo::machineHostName();
    spool = parser.value(m_spool);
    if (line.isEmpty() || sequence.isEmpty())
        return QStringLiteral("--line needs CONNINFO and --sequence NAME");
    if (station.isEmpty())
        return QStringLiteral("--station needs a NAME");
    return {};
}

QString ProductionOptions::readSerial(const QCommandLineParser& parser) {
    if (!parser.isSet(m_serialAt) ||
        (line.isEmpty() && (!parser.isSet(m_serialFile) || parser.value(m_serialFile).isEmpty())))
        return QStringLiteral("serial numbers need both --serial-at ADDR and --serial-file FILE "
                              "(or --line CONNINFO)");
    serialFile = parser.value(m_serialFile);
    const std::optional<quint64> address = number(parser.value(m_serialAt));
    if (!address || *address > 255)
        return QStringLiteral("--serial-at takes a cell address (decimal or 0x..), not %1")
            .arg(parser.value(m_serialAt));
    std::optional<quint64> width = quint64(4);
    if (parser.isSet(m_serialWidth))
        width = number(parser.value(m_serialWidth));
    if (!width || *width > 255)
        return QStringLiteral("--serial-width takes a number of cells, not %1")
            .arg(parser.value(m_serialWidth));
    const auto format = parser.isSet(m_serialFormat)
                            ? SerialStamp::parseFormat(parser.value(m_serialFormat))
                            : SerialStamp::Format::BigEndian;
    if (!format)
        return QStringLiteral("--serial-format is be, le, bcd or ascii, not %1")
            .arg(parser.value(m_serialFormat));
    if (parser.isSet(m_serialStart)) {
        serialStart = number(parser.value(m_serialStart));
        if (!serialStart)
            return QStringLiteral("--serial-start takes a number, not %1")
                .arg(parser.value(m_serialStart));
    }
    stamp.emplace(int(*address), int(*width), *format);
    if (const QString problem = stamp->placementProblem(); !problem.isEmpty())
        return QStringLiteral("the serial number's %1").arg(problem);
    return {};
}

} // namespace tavrin
