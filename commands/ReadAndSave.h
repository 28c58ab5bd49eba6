#pragma once

#include "commands/CommandEnd.h"

namespace tavrin {

class CommandContext;

// "Read && Save EEProm": reads the whole EEPROM, saves it as an image file, cycles the port.
class ReadAndSave {
public:
    explicit ReadAndSave(CommandContext& context);

    CommandEnd RSEE_Click();

private:
    CommandEnd abandon(CommandEnd end);

    CommandContext& m_context;
};

} // namespace tavrin
