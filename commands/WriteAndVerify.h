#pragma once

#include "commands/CommandEnd.h"
#include "link/Outcome.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace tavrin {

class CommandContext;

// "Open && Write EEProm": writes an image file into the EEPROM byte by byte, reads it back,
// compares, offers to write again on a difference, and cycles the port at the end.
class WriteAndVerify {
public:
    static constexpr int OneTick = 5;

    explicit WriteAndVerify(CommandContext& context);

    CommandEnd OWEE_Click();

    // One line per cell that differs: its address, the file's value and the device's.
    static QStringList differences(const QByteArray& image, const QByteArray& data);

private:
    // How a step ended.
    enum class Step { Done, PortLost, ImageUnreadable, TimedOut, Closing };

    Step writePass();
    Step writeImageBytes(const QByteArray& image, float progressStep);
    Step writeFillBytes(int n, float progressStep);
    Step verifyPass();
    bool askToWriteAgain();
    CommandEnd end(Step step);
    CommandEnd finish();

    std::optional<QByteArray> openImage();
    void showBar(quint32 fillColour);
    void hideBar();
    Step sent(bool sent) const;
    Step pause();
    static Step stepFrom(Outcome outcome);

    CommandContext& m_context;
    QString m_path;
    bool m_VerifyFailed = false;
    QStringList m_differences;
};

} // namespace tavrin
