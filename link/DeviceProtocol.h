#pragma once

#include "link/Outcome.h"
#include "link/WireFormat.h"

#include "platform/MessagePump.h"

#include <QByteArray>

#include <chrono>
#include <optional>

namespace tavrin {

class SerialLink;
class Waiter;

using Wire::EepromSize;
using Wire::FillByte;

struct ReadBackResult {
    Outcome outcome = Outcome::Completed;
    // Count byte C, then C data bytes, then whatever else had arrived by then.
    QByteArray ReplyBuffer;
};

// What crosses the line to the device: the read-back exchange and the write transfer's bytes.
class DeviceProtocol {
public:
    DeviceProtocol(SerialLink& link, Waiter& waiter);

    // Flush, send ESC ESC "U", collect the count-prefixed reply. Waits as long as the device takes
    // (or the reply timeout, when one is set), but ends at once when the port fails or the program
    // closes.
    ReadBackResult ReadBack();
    // How long ReadBack waits for the whole reply; none: for ever.
    void setReplyTimeout(std::optional<std::chrono::milliseconds> timeout) { m_timeout = timeout; }
    std::optional<std::chrono::milliseconds> replyTimeout() const { return m_timeout; }

    bool sendWriteHeader();
    bool sendDataByte(quint8 byte);

    // The C data bytes a reply announces, without the count byte and without late extras; fewer
    // when the reply is short.
    static QByteArray replyData(const QByteArray& replyBuffer);

private:
    Outcome waitForInput(qint64 count, MessagePump::Clock::time_point deadline);

    SerialLink& m_link;
    Waiter& m_waiter;
    std::optional<std::chrono::milliseconds> m_timeout;
};

} // namespace tavrin
