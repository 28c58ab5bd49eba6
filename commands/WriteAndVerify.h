#pragma once

#include "commands/CommandResult.h"
#include "commands/Progress.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace tavrin {

class CommandContext;

// "Open && Write EEProm": writes an image file into the EEPROM byte by byte, reads it back,
// compares, and offers to write again on a difference; the port cycle follows the last verify.
// Each step ends as the command would end if it stopped there.
class WriteAndVerify {
public:
    static constexpr int OneTick = 5;
    // Changes the image as read from its file, before it is written and compared.
    using ImageEdit = std::function<QByteArray(const QByteArray&)>;
    // Sees the result once the last verify has ended, before the port cycle.
    using VerifyEnded = std::function<void(const CommandResult&)>;
    struct Options {
        ImageEdit edit;
        // How many more times to write after a difference, without asking; none: ask the
        // operator each time, where there is one.
        std::optional<int> retries;
        VerifyEnded beforePortCycle;
    };

    explicit WriteAndVerify(CommandContext& context);

    CommandResult run(const Options& options);

private:
    CommandEnd writePass();
    CommandEnd writeBytes(const QByteArray& bytes, Progress& progress);
    CommandEnd verifyPass();
    bool writeAgain();
    CommandEnd end(CommandEnd step);

    std::optional<QByteArray> openImage();
    void report(const Progress& progress);
    CommandEnd sent(bool sent) const;
    CommandEnd pause();

    CommandContext& m_context;
    QString m_path;
    Options m_options;
    int m_retriesLeft = 0;
    CommandResult m_result;
};

} // namespace tavrin
