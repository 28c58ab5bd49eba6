#pragma once

#include "commands/CommandResult.h"

namespace tavrin {

class CommandContext;

// "Read && Save EEProm": reads the whole EEPROM, saves it as an image file, cycles the port.
class ReadAndSave {
public:
    explicit ReadAndSave(CommandContext& context);

    CommandResult run();

private:
    CommandEnd readAndSave(QByteArray& cells);
    // Says the read did not complete, unless the program is closing.
    CommandEnd abandon(CommandEnd end);

    CommandContext& m_context;
};

} // namespace tavrin
