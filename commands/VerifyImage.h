#pragma once

#include "commands/CommandResult.h"

namespace tavrin {

class CommandContext;

// Reads the EEPROM and compares it with an image file, writing nothing; the port cycle follows
// the completed read, as after reading.
class VerifyImage {
public:
    explicit VerifyImage(CommandContext& context);

    CommandResult run(const QString& path);

private:
    CommandEnd verify(const QString& path, CommandResult& result);

    CommandContext& m_context;
};

} // namespace tavrin
