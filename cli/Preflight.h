#pragma once

#include "cli/Arguments.h"
#include "cli/ExitCode.h"
#include "cli/PortClaim.h"
#include "commands/CommandResult.h"
#include "image/FileProblem.h"
#include "platform/LineDatabase.h"
#include "production/SerialCounter.h"

#include <QString>

#include <memory>
#include <optional>

namespace tavrin {

class UnitRecorder;

// The checks made before the port opens: everything a command and its unit's record need,
// while nothing has reached the device yet. Holds the counter and the port's claim for the run.
class Preflight {
public:
    // Why the command was refused before it reached the device.
    struct Refusal {
        enum class Kind { Log, SameFile, Image, Counter, Backup, Claim };
        Kind kind = Kind::Log;
        QString problem;      // the counter's, backup folder's, log's or claim's own words
        FileProblem image;    // with Image
        CommandResult result; // what the log records: refused, or the port's failure
        ExitCode status = ExitCode::Usage;
    };

    Preflight(const Arguments& arguments, const QString& device);

    // The first thing that stands in the way; none when the command may go ahead.
    std::optional<Refusal> check(const UnitRecorder& recorder);

    SerialSource* counter() { return m_counter.get(); }

private:
    std::optional<Refusal> checkImage() const;
    std::optional<Refusal> checkCounter();
    std::optional<Refusal> checkDistinctFiles() const;
    std::optional<Refusal> checkClaim();
    std::optional<Refusal> checkBackupFolder() const;

    const Arguments& m_arguments;
    QString m_device;
    std::unique_ptr<LineDatabase> m_database;
    std::unique_ptr<SerialSource> m_counter;
    PortClaim m_claim;
};

} // namespace tavrin
