#pragma once

#include "commands/CommandResult.h"
#include "commands/OperatorQuestions.h"

namespace tavrin {

class MessageBox;

// The one place the window words a failure: each result a command ends with, and a port that
// stops working while no command runs, as the window's message boxes; and the one question a
// command asks.
class WindowMessages : public OperatorQuestions {
public:
    explicit WindowMessages(MessageBox& boxes);

    void show(const CommandResult& result);
    // Port `port` (0 for one chosen by its device) on `device` stopped working.
    void showPortFailure(const PortError& error, int port, const QString& device);
    bool writeAgain(const QList<CellDifference>& differences) override;

private:
    void showTimerFailure(const QString& detail);
    void showFileFailure(const FileProblem& problem);

    MessageBox& m_boxes;
};

} // namespace tavrin
