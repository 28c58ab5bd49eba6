#pragma once

#include "commands/CommandEnd.h"

#include <QString>
#include <QStringList>

namespace tavrin {

class CommandContext;

// Reads the EEPROM and compares it with an image file, writing nothing; cycles the port after the
// completed read, as reading does.
class VerifyImage {
public:
    explicit VerifyImage(CommandContext& context);

    CommandEnd run(const QString& path);
    // The cells that differed in the last run, as WriteAndVerify::differences() words them.
    const QStringList& differences() const { return m_differences; }

private:
    CommandContext& m_context;
    QStringList m_differences;
};

} // namespace tavrin
