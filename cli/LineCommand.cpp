#include "cli/LineCommand.h"

#include "cli/ConsoleReport.h"
#include "platform/LineDatabase.h"
#include "production/NumberText.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tavrin {

namespace {

const QCommandLineOption RoleOption(QStringLiteral("bench-role"), QString(),
                                    QStringLiteral("ROLE"));
const QCommandLineOption StartOption(QStringLiteral("start"), QString(), QStringLiteral("N"));
const QCommandLineOption LastOption(QStringLiteral("last"), QString(), QStringLiteral("M"));
const QCommandLineOption SinceOption(QStringLiteral("since"), QString(), QStringLiteral("TIME"));
const QCommandLineOption JsonOption(QStringLiteral("json"));

QString numberText(const std::optional<quint64>& number) {
    return number ? QString::number(*number) : QStringLiteral("-");
}

QJsonValue numberJson(const std::optional<quint64>& number) {
    // Beyond 2^53 a JSON number loses digits: such numbers travel as text.
    if (!number)
        return QJsonValue::Null;
    return *number < (quint64(1) << 53) ? QJsonValue(qint64(*number))
                                        : QJsonValue(QString::number(*number));
}

QString yield(const LineDatabase::Tally& tally) {
    const int ended = tally.done + tally.failed;
    return ended == 0 ? QStringLiteral("-")
                      : QString::number(100.0 * tally.done / ended, 'f', 1) + u'%';
}

void printReport(QTextStream& out, const QList<LineDatabase::Tally>& tallies, bool json) {
    if (json) {
        QJsonArray rows;
        for (const LineDatabase::Tally& tally : tallies)
            rows.append(QJsonObject{
                {"sequence", tally.sequence},
                {"station", tally.station},
                {"done", tally.done},
                {"failed", tally.failed},
                {"unfinished", tally.unfinished},
                {"first", numberJson(tally.first)},
                {"last", numberJson(tally.last)},
                {"left", numberJson(tally.left)},
                {"last_unit", QJsonObject{{"time", tally.lastTime.toString(Qt::ISODateWithMs)},
                                          {"serial", numberJson(tally.lastSerial)},
                                          {"result", tally.lastResult}}}});
        out << QJsonDocument(rows).toJson(QJsonDocument::Indented);
        return;
    }
    out << "sequence\tstation\tdone\tfailed\tyield\tnumbers\tleft\tunfinished\tlast unit\n";
    for (const LineDatabase::Tally& tally : tallies)
        out << tally.sequence << '\t' << tally.station << '\t' << tally.done << '\t' << tally.failed
            << '\t' << yield(tally) << '\t' << numberText(tally.first) << '-'
            << numberText(tally.last) << '\t' << numberText(tally.left) << '\t' << tally.unfinished
            << '\t' << tally.lastTime.toString(Qt::ISODateWithMs) << ' '
            << numberText(tally.lastSerial) << ' ' << tally.lastResult << '\n';
}

} // namespace

bool LineCommand::wants(const QStringList& arguments) {
    return arguments.value(1) == u"line";
}

QString LineCommand::help() {
    return QStringLiteral(
               "Usage:\n"
               "  tavrin line init CONNINFO [--bench-role ROLE]\n"
               "                                 make the line's schema (again: changes nothing); "
               "grant\n"
               "                                 ROLE what a bench needs: take numbers, add "
               "records\n"
               "  tavrin line sequence CONNINFO NAME --start N [--last M]\n"
               "                                 make a sequence of serial numbers N..M\n"
               "  tavrin line report CONNINFO [--since TIME] [--json]\n"
               "                                 each sequence's units at each station\n"
               "\n"
               "CONNINFO is a libpq connection string or URI (postgresql://bench@db/line1,\n"
               "service=line1). A password goes in %1, PGPASSFILE or a service file,\n"
               "never in CONNINFO. Exit status: 0 done; 2 refused (the database's, the role's or\n"
               "the argument's problem, in one line).\n")
        .arg(QString::fromLatin1(LineDatabase::UserPasswordFile));
}

LineCommand::LineCommand(QStringList arguments, QTextStream& out, QTextStream& err)
    : m_arguments(std::move(arguments))
    , m_out(out)
    , m_err(err) {}

namespace {

// What `tavrin line …` was asked to do, once its arguments are read.
struct Request {
    QString verb, connection, name, role;
    std::optional<quint64> start, last;
    std::optional<QDateTime> since;
    bool json = false;
};

// Reads the arguments into `request`; what is wrong with them, else nothing.
QString parse(const QStringList& arguments, Request& request) {
    QCommandLineParser parser;
    parser.addOptions({RoleOption, StartOption, LastOption, SinceOption, JsonOption});
    if (!parser.parse(arguments))
        return parser.errorText();
    const QStringList words = parser.positionalArguments().mid(1);
    request.verb = words.value(0);
    if (request.verb != u"init" && request.verb != u"sequence" && request.verb != u"report")
        return QStringLiteral("line takes init, sequence or report");
    if (words.size() != (request.verb == u"sequence" ? 3 : 2))
        return request.verb == u"sequence"
                   ? QStringLiteral("line sequence takes CONNINFO and NAME")
                   : QStringLiteral("line %1 takes CONNINFO").arg(request.verb);
    request.connection = words.at(1);
    request.name = words.value(2);
    request.role = parser.value(RoleOption);
    request.json = parser.isSet(JsonOption);
    if (request.verb == u"sequence") {
        request.start = NumberText::parse(parser.value(StartOption)).number();
        if (!request.start)
            return QStringLiteral("line sequence needs --start N, a number");
        if (parser.isSet(LastOption)) {
            request.last = NumberText::parse(parser.value(LastOption)).number();
            if (!request.last || *request.last < *request.start)
                return QStringLiteral("--last takes a number from --start on");
        }
    }
    if (parser.isSet(SinceOption)) {
        request.since = QDateTime::fromString(parser.value(SinceOption), Qt::ISODateWithMs);
        if (!request.since->isValid())
            return QStringLiteral("--since takes a time such as 2026-12-09T06:00:00Z");
    }
    return {};
}

} // namespace

ExitCode LineCommand::run() {
    Request request;
    if (const QString problem = parse(m_arguments, request); !problem.isEmpty()) {
        m_err << "tavrin: " << problem << "\n\n" << help();
        m_err.flush();
        return ExitCode::Usage;
    }
    const std::unique_ptr<LineDatabase> database = LineDatabase::make();
    LineDatabase::Error error = database->connect(request.connection);
    if (!error.isError()) {
        if (request.verb == u"init") {
            error = database->createSchema(request.role);
        } else if (request.verb == u"sequence") {
            error = database->createSequence(request.name, *request.start, request.last);
        } else {
            const QList<LineDatabase::Tally> tallies = database->report(request.since, &error);
            if (!error.isError())
                printReport(m_out, tallies, request.json);
        }
    }
    if (error.isError()) {
        m_err << "tavrin: " << ConsoleReport::lineFailure(error, request.name) << Qt::endl;
        return ExitCode::Usage;
    }
    m_out.flush();
    return ExitCode::Done;
}

} // namespace tavrin
