#include "cli/Preflight.h"

#include "image/ImageFile.h"
#include "link/WireFormat.h"
#include "platform/SystemCalls.h"
#include "production/DurableFile.h"
#include "production/LineCounter.h"
#include "production/UnitRecorder.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>

namespace tavrin {

namespace {

Preflight::Refusal refused(Preflight::Refusal::Kind kind, const QString& problem,
                           ExitCode status = ExitCode::Usage) {
    Preflight::Refusal refusal;
    refusal.kind = kind;
    refusal.problem = problem;
    refusal.status = status;
    return refusal;
}

// What a path names, for telling whether two paths are one file: the file's identity when it is
// there (links followed, however many), else its folder's and its own name.
struct FileName {
    std::optional<SystemCalls::FileId> id;
    QString name;
    bool operator==(const FileName&) const = default;
};

FileName fileNamed(const QString& path) {
    QFileInfo info(path);
    // A dangling link is written through: it names the file it points to.
    for (int hop = 0; hop < 40 && info.isSymLink() && !info.exists(); ++hop)
        info = QFileInfo(info.symLinkTarget());
    if (const std::optional<SystemCalls::FileId> id = SystemCalls::fileIdentity(path))
        return {id, {}};
    return {SystemCalls::fileIdentity(info.absolutePath()), info.fileName()};
}

} // namespace

Preflight::Preflight(const Arguments& arguments, const QString& device)
    : m_arguments(arguments)
    , m_device(device)
    , m_claim(device) {}

std::optional<Preflight::Refusal> Preflight::check(const UnitRecorder& recorder) {
    if (const QString problem = recorder.check(); !problem.isEmpty())
        return refused(Refusal::Kind::Log, problem);
    if (std::optional<Refusal> refusal = checkDistinctFiles())
        return refusal;
    if (std::optional<Refusal> refusal = checkImage())
        return refusal;
    if (std::optional<Refusal> refusal = checkCounter())
        return refusal;
    // The claim before the backup folder is made: a device in use is left with nothing made.
    if (std::optional<Refusal> refusal = checkClaim())
        return refusal;
    return checkBackupFolder();
}

// A log that is the counter or its lock would be overwritten or removed with its records, and a
// log that is the image would change what is written.
std::optional<Preflight::Refusal> Preflight::checkDistinctFiles() const {
    const ProductionOptions& production = m_arguments.production;
    QList<std::pair<QString, QString>> files; // what it is, its path
    if (!production.logPath.isEmpty())
        files.append({QObject::tr("the log"), production.logPath});
    if (!production.spool.isEmpty())
        files.append({QObject::tr("the spool"), production.spool});
    if (production.stamp && production.line.isEmpty()) {
        files.append({QObject::tr("the counter"), production.serialFile});
        files.append(
            {QObject::tr("the counter's lock"), SerialCounter::lockPathFor(production.serialFile)});
    }
    if (!m_arguments.file.isEmpty())
        files.append({QObject::tr("the image"), m_arguments.file});
    QList<FileName> names;
    for (const auto& [what, path] : std::as_const(files))
        names << fileNamed(path);
    for (qsizetype i = 0; i < files.size(); ++i)
        for (qsizetype j = i + 1; j < files.size(); ++j)
            if (names[i] == names[j])
                return refused(Refusal::Kind::SameFile,
                               QObject::tr("%1 %2 and %3 %4 are the same file; the log, the "
                                           "counter, the counter's lock, the spool and the image "
                                           "must be different files")
                                   .arg(files[i].first, QDir::toNativeSeparators(files[i].second),
                                        files[j].first, QDir::toNativeSeparators(files[j].second)));
    return std::nullopt;
}

std::optional<Preflight::Refusal> Preflight::checkImage() const {
    if (m_arguments.command == Arguments::Command::Read)
        return std::nullopt;
    const ImageFile::ReadResult image = ImageFile::read(m_arguments.file);
    if (image.ok())
        return std::nullopt;
    Refusal refusal = refused(Refusal::Kind::Image, {}, ExitCode::FileError);
    refusal.image = image.problem;
    return refusal;
}

std::optional<Preflight::Refusal> Preflight::checkCounter() {
    const ProductionOptions& production = m_arguments.production;
    if (!production.stamp)
        return std::nullopt;
    QString problem;
    if (!production.line.isEmpty()) {
        // Nothing is taken here: the sequence, the role's rights and this bench's spool.
        m_database = LineDatabase::make();
        const LineCounter::Place place{
            production.line, production.sequence, production.station,
            production.spool.isEmpty()
                ? LineCounter::defaultSpool(
                      {production.line, production.sequence, production.station, {}}, m_device)
                : production.spool};
        auto line = std::make_unique<LineCounter>(*m_database, place);
        problem = line->open();
        m_counter = std::move(line);
        if (problem.isEmpty() && !m_counter->next())
            problem =
                LineCounter::describe({LineDatabase::Failure::UsedUp, {}}, production.sequence);
    } else {
        auto file = std::make_unique<SerialCounter>(production.serialFile);
        problem = file->open(production.serialStart);
        if (problem.isEmpty() && file->usedUp())
            problem = QObject::tr("the serial numbers in %1 are used up")
                          .arg(QDir::toNativeSeparators(production.serialFile));
        m_counter = std::move(file);
    }
    if (problem.isEmpty())
        problem = production.stamp->fitProblem(*m_counter->next());
    if (problem.isEmpty())
        return std::nullopt;
    return refused(Refusal::Kind::Counter, problem);
}

// One tavrin a device: a batch keeps it between units and through the port cycle.
std::optional<Preflight::Refusal> Preflight::checkClaim() {
    if (m_device.isEmpty())
        return std::nullopt;
    const QString device = QDir::toNativeSeparators(m_device);
    Refusal refusal;
    PortError::Kind kind = PortError::Kind::Busy;
    switch (m_claim.take()) {
    case PortClaim::Outcome::Taken:
        return std::nullopt;
    case PortClaim::Outcome::Held: {
        const qint64 pid = m_claim.holder();
        refusal = refused(
            Refusal::Kind::Claim,
            pid > 0
                ? QObject::tr("%1 is in use by another tavrin (process %2)").arg(device).arg(pid)
                : QObject::tr("%1 is in use by another tavrin").arg(device),
            ExitCode::PortError);
        break;
    }
    case PortClaim::Outcome::Failed:
        refusal = refused(
            Refusal::Kind::Claim,
            QObject::tr("%1 cannot be claimed for this tavrin: the claim %2: %3")
                .arg(device, QDir::toNativeSeparators(m_claim.lockPath()), m_claim.failure()),
            ExitCode::PortError);
        kind = PortError::Kind::Failed;
        break;
    }
    refusal.result.end = CommandEnd::PortFailed;
    refusal.result.portFailure.kind = kind;
    refusal.result.portFailure.detail = m_claim.failure();
    refusal.result.portFailure.device = m_device;
    return refusal;
}

// Made and proved to take a backup before the unit hears a byte; a failure leaves nothing made.
std::optional<Preflight::Refusal> Preflight::checkBackupFolder() const {
    const QString folder = m_arguments.production.backupFolder;
    if (folder.isEmpty())
        return std::nullopt;
    if (const QString problem = DurableFile::prepareFolder(folder, Wire::EepromSize);
        !problem.isEmpty())
        return refused(Refusal::Kind::Backup, problem);
    return std::nullopt;
}

} // namespace tavrin
