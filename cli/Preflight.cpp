#include "cli/Preflight.h"

#include "image/ImageFile.h"
#include "production/DurableFile.h"
#include "production/UnitRecorder.h"

#include <QDir>
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

} // namespace

Preflight::Preflight(const Arguments& arguments, const QString& device)
    : m_arguments(arguments)
    , m_device(device)
    , m_claim(device) {}

std::optional<Preflight::Refusal> Preflight::check(const UnitRecorder& recorder) {
    if (const QString problem = recorder.check(); !problem.isEmpty())
        return refused(Refusal::Kind::Log, problem);
    if (std::optional<Refusal> refusal = checkImage())
        return refusal;
    if (std::optional<Refusal> refusal = checkCounter())
        return refusal;
    return checkBackupAndClaim();
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
    m_counter = std::make_unique<SerialCounter>(production.serialFile);
    QString problem = m_counter->open(production.serialStart);
    if (problem.isEmpty())
        problem = production.stamp->fitProblem(m_counter->next());
    if (problem.isEmpty() && m_counter->usedUp())
        problem = QObject::tr("the serial numbers in %1 are used up")
                      .arg(QDir::toNativeSeparators(production.serialFile));
    if (problem.isEmpty())
        return std::nullopt;
    return refused(Refusal::Kind::Counter, problem);
}

// One tavrin a device: a batch keeps it between units and through the port cycle.
std::optional<Preflight::Refusal> Preflight::checkBackupAndClaim() {
    const QString folder = m_arguments.production.backupFolder;
    if (!folder.isEmpty()) {
        if (const QString problem = DurableFile::checkFolder(folder); !problem.isEmpty())
            return refused(Refusal::Kind::Backup, problem);
    }
    if (m_device.isEmpty() || m_claim.take())
        return std::nullopt;
    Refusal refusal = refused(
        Refusal::Kind::Claim,
        QObject::tr("%1 is in use by %2").arg(QDir::toNativeSeparators(m_device), m_claim.holder()),
        ExitCode::PortError);
    refusal.result.end = CommandEnd::PortFailed;
    refusal.result.portFailure.kind = PortError::Kind::Busy;
    refusal.result.portFailure.device = m_device;
    return refusal;
}

} // namespace tavrin
