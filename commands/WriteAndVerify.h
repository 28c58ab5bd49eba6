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
    bool writePass();
    bool writeImageBytes(const QByteArray& image, float progressStep);
    bool writeFillBytes(int n, float progressStep);
    bool verifyPass();
    bool askToWriteAgain();
    CommandEnd finish();

    std::optional<QByteArray> openImage();
    void showBar(quint32 fillColour);
    void hideBar();
    bool send(bool sent);
    bool pause();
    bool stop(Outcome outcome);

    CommandContext& m_context;
    QString m_path;
    bool m_VerifyFailed = false;
    QStringList m_differences;
    CommandEnd m_end = CommandEnd::Done;
};

} // namespace tavrin
