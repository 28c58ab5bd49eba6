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
// compares, offers to write again on a difference, and cycles the port at the end. Each step
// ends as the command would end if it stopped there.
class WriteAndVerify {
public:
    static constexpr int OneTick = 5;
    // Changes the image as read from its file, before it is written and compared.
    using ImageEdit = std::function<QByteArray(const QByteArray&)>;
    enum class PortCycle {
        AfterVerify, // the command cycles the port once the verify has ended
        ByCaller,    // the caller records the result first, then cycles the port itself
    };
    struct Options {
        ImageEdit edit;
        // How many more times to write after a difference, without asking; none: ask the
        // operator each time.
        std::optional<int> retries;
        PortCycle portCycle = PortCycle::AfterVerify;
    };

    explicit WriteAndVerify(CommandContext& context);

    CommandResult run(const Options& options);

private:
    CommandEnd writePass();
    CommandEnd writeBytes(const QByteArray& bytes, Progress& progress);
    CommandEnd verifyPass();
    bool askToWriteAgain();
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
