#include "production/UnitLog.h"

#include "production/DurableFile.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>

namespace tavrin {

namespace {

QString sha256(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace

UnitLog::UnitLog(QString path)
    : m_path(std::move(path)) {}

QString UnitLog::append(const Entry& entry) const {
    return DurableFile::appendLine(m_path,
                                   QJsonDocument(toJson(entry)).toJson(QJsonDocument::Compact));
}

QString UnitLog::check() const {
    return DurableFile::checkAppendable(m_path);
}

QJsonObject UnitLog::toJson(const Entry& entry) {
    const CommandResult& result = entry.result;
    QJsonObject line{{"time", entry.time.toUTC().toString(Qt::ISODateWithMs)},
                     {"command", entry.command},
                     {"port", result.device},
                     {"result", entry.state.isEmpty() ? resultWord(result) : entry.state},
                     {"duration_ms", entry.milliseconds}};
    if (!entry.problem.isEmpty())
        line.insert("problem", entry.problem);
    if (!entry.adapterSerial.isEmpty())
        line.insert("adapter_serial", entry.adapterSerial);
    if (entry.serial)
        line.insert("serial", qint64(*entry.serial));
    if (!result.image.isEmpty())
        line.insert("image_sha256", sha256(result.image));
    if (entry.before)
        line.insert("before_sha256", sha256(*entry.before));
    if (result.end == CommandEnd::Done)
        line.insert("after_sha256", sha256(result.cells));
    if (result.writePasses > 0)
        line.insert("write_passes", result.writePasses);
    QJsonArray differences;
    for (const CellDifference& cell : result.differences) {
        QJsonObject difference{{"address", cell.address}, {"file", cell.file}};
        difference.insert("device", cell.device ? QJsonValue(*cell.device) : QJsonValue());
        differences.append(difference);
    }
    if (!differences.isEmpty())
        line.insert("differences", differences);
    return line;
}

QString UnitLog::resultWord(const CommandResult& result) {
    switch (result.end) {
    case CommandEnd::Done:
        return result.differences.isEmpty() ? QStringLiteral("done")
                                            : QStringLiteral("differences");
    case CommandEnd::TimedOut:
        return QStringLiteral("timeout");
    case CommandEnd::FileFailed:
    case CommandEnd::Cancelled:
        return QStringLiteral("file");
    case CommandEnd::PortFailed:
        switch (result.portFailure.kind) {
        case PortError::Kind::NotPresent:
            return QStringLiteral("port-absent");
        case PortError::Kind::Busy:
            return QStringLiteral("port-busy");
        case PortError::Kind::PermissionDenied:
            return QStringLiteral("port-permission");
        case PortError::Kind::Lost:
            return QStringLiteral("port-lost");
        case PortError::Kind::None:
        case PortError::Kind::LinesUnsupported:
        case PortError::Kind::Failed:
            return QStringLiteral("port");
        }
        return QStringLiteral("port");
    case CommandEnd::TimerFailed:
        return QStringLiteral("timer");
    case CommandEnd::NoPort:
    case CommandEnd::NotStarted:
    case CommandEnd::Closing:
        return QStringLiteral("port");
    }
    return QStringLiteral("port");
}

} // namespace tavrin
