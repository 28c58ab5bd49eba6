#pragma once

#include "commands/CommandResult.h"
#include "commands/PortChoice.h"
#include "commands/ReadAndSave.h"
#include "commands/Stage.h"
#include "commands/VerifyImage.h"
#include "commands/WriteAndVerify.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <optional>

namespace tavrin {

class CommandContext;

// The program's operations, one at a time: while a command or its port cycle runs, every other
// request is refused without effect. The one place where a command's work is followed by the
// port cycle and where every way the cycle can end is mapped onto the result. Also ends
// everything when the program shuts down.
class CommandRunner : public QObject {
    Q_OBJECT

public:
    explicit CommandRunner(CommandContext& context, QObject* parent = nullptr);

    // Opens port `number` (1..4) and wakes the device. NotStarted when refused because a command
    // is running; PortFailed when the port could not be opened.
    CommandResult choosePort(int number);
    // The same for a port given by its device, such as /dev/ttyUSB0 or COM7.
    CommandResult choosePort(const QString& device);
    CommandResult choosePort(const PortChoice& port);
    CommandResult readAndSave();
    // Reads the cells and nothing more: no file, no port cycle.
    CommandResult readCells();
    // Opens `port` again and reads the cells, waiting at most `timeout` for the reply: whether a
    // unit answers there. Nothing is written and the port is not cycled.
    CommandResult probe(const PortChoice& port, std::chrono::milliseconds timeout);
    CommandResult writeAndVerify(const WriteAndVerify::Options& options = {});
    // Reads the EEPROM and compares it with the image at `path`; writes nothing.
    CommandResult verify(const QString& path);
    // The program is ending: end every wait at once, close the port, send nothing more.
    void shutDown();

    bool isBusy() const { return m_busy; }
    // "Com2 (/dev/ttyUSB0)", or the device alone for a port chosen by its device.
    QString portName() const;
    // The device behind the port chosen last, empty when there is none.
    QString device() const;

signals:
    void busyChanged(bool busy);
    void commandEnded(const tavrin::CommandResult& result);

private:
    // How a command ends once its work is done: with a port cycle and then its verdict, or
    // as it is.
    struct Ending {
        std::function<Stage(const CommandResult&)> verdict; // none: no port cycle
        WriteAndVerify::VerifyEnded beforePortCycle;
    };

    template <typename Run> CommandResult runExclusive(Run run, const Ending& ending = {});
    void cyclePort(CommandResult& result);
    template <typename Port> CommandResult openPort(const Port& port);
    template <typename Run> CommandResult onOpenPort(Run run);
    CommandResult readOnly();

    CommandContext& m_context;
    ReadAndSave m_readAndSave;
    WriteAndVerify m_writeAndVerify;
    VerifyImage m_verifyImage;
    bool m_busy = false;
};

} // namespace tavrin
