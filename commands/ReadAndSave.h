#pragma once

#include "commands/CommandResult.h"

namespace tavrin {

class CommandContext;

// "Read && Save EEProm": reads the whole EEPROM and saves it as an image file; the port cycle
// follows once it is saved.
class ReadAndSave {
public:
    explicit ReadAndSave(CommandContext& context);

    CommandResult run();

private:
    CommandEnd readAndSave(CommandResult& result);
    // Says the read did not complete, unless the program is closing.
    CommandEnd abandon(CommandEnd end);

    CommandContext& m_context;
};

} // namespace tavrin
