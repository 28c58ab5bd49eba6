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

    explicit WriteAndVerify(CommandContext& context);

    CommandResult run(const ImageEdit& edit = {});

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
    ImageEdit m_edit;
    CommandResult m_result;
};

} // namespace tavrin
