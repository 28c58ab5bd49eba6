#pragma once

#include "cli/ArgumentFile.h"
#include "cli/Arguments.h"
#include "cli/ConsoleReport.h"
#include "cli/ExitCode.h"
#include "commands/Engine.h"
#include "platform/QtMessagePump.h"
#include "platform/QtSerialControl.h"
#include "platform/QtTickSource.h"
#include "production/UnitRecorder.h"

#include <QTextStream>

namespace tavrin {

class SerialSource;

// One read, write or verify from the command line, or a production run: the engine on Qt's
// platform parts, the checks before the port opens, the port, the command, its record and its
// report.
class Transfer {
public:
    Transfer(const Arguments& arguments, QTextStream& out, QTextStream& err);

    ExitCode run();

private:
    PortChoice port() const;
    ExitCode refuse(const Preflight::Refusal& refusal);
    CommandResult runCommand();
    ExitCode runProduction(SerialSource* counter);
    ExitCode runBatch(ProductionRun& run);
    // Records the command's end and reports it.
    ExitCode finish(const CommandResult& result);

    const Arguments& m_arguments;
    QtMessagePump m_pump;
    QtTickSource m_timer1;
    QtSerialControl m_comm;
    ArgumentFile m_file;
    Engine m_engine;
    UnitRecorder m_recorder;
    ConsoleReport m_report;
};

} // namespace tavrin
