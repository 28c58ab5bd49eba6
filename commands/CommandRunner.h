#pragma once

#include "commands/CommandEnd.h"
#include "commands/ReadAndSave.h"
#include "commands/WriteAndVerify.h"

#include <QObject>

namespace tavrin {

class CommandContext;

// Runs the window's commands one at a time: while a command or its port cycle runs, every other
// click is refused without effect. Also ends everything when the window closes.
class CommandRunner : public QObject {
    Q_OBJECT

public:
    explicit CommandRunner(CommandContext& context, QObject* parent = nullptr);

    CommandEnd RSEE_Click();
    CommandEnd OWEE_Click();
    // False when refused because a command is running.
    bool Com_Click(int index);
    // The window is closing: end every wait at once, close the port, send nothing more.
    void Form_Unload();

    bool isBusy() const { return m_busy; }
    CommandContext& context() { return m_context; }

signals:
    void busyChanged(bool busy);
    void commandEnded(tavrin::CommandEnd end);

private:
    template <typename Run> CommandEnd runExclusive(Run run);

    CommandContext& m_context;
    ReadAndSave m_readAndSave;
    WriteAndVerify m_writeAndVerify;
    bool m_busy = false;
};

} // namespace tavrin
