#pragma once

#include "commands/CommandResult.h"
#include "commands/ReadAndSave.h"
#include "commands/VerifyImage.h"
#include "commands/WriteAndVerify.h"

#include <QObject>

namespace tavrin {

class CommandContext;

// The program's operations, one at a time: while a command or its port cycle runs, every other
// request is refused without effect. Also ends everything when the program shuts down.
class CommandRunner : public QObject {
    Q_OBJECT

public:
    explicit CommandRunner(CommandContext& context, QObject* parent = nullptr);

    // Opens port `number` (1..4) and wakes the device. NotStarted when refused because a command
    // is running; PortFailed when the port could not be opened (the operator was told).
    CommandEnd choosePort(int number);
    // The same for a port given by its device, such as /dev/ttyUSB0 or COM7.
    CommandEnd choosePort(const QString& device);
    CommandResult readAndSave();
    // Reads the cells and nothing more: no file, no port cycle.
    CommandResult readCells();
    CommandResult writeAndVerify(const WriteAndVerify::Options& options = {});
    // Reads the EEPROM and compares it with the image at `path`; writes nothing.
    CommandResult verify(const QString& path);
    // The program is ending: end every wait at once, close the port, send nothing more.
    void shutDown();

    bool isBusy() const { return m_busy; }

signals:
    void busyChanged(bool busy);
    void commandEnded(const tavrin::CommandResult& result);

private:
    template <typename Run> CommandResult runExclusive(Run run);
    template <typename Port> CommandEnd openPort(const Port& port);

    CommandContext& m_context;
    ReadAndSave m_readAndSave;
    WriteAndVerify m_writeAndVerify;
    VerifyImage m_verifyImage;
    bool m_busy = false;
};

} // namespace tavrin
