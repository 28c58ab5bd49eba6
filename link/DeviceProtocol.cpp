#include "link/DeviceProtocol.h"

#include "link/SerialLink.h"
#include "link/Waiter.h"

namespace tavrin {

DeviceProtocol::DeviceProtocol(SerialLink& link, Waiter& waiter)
    : m_link(link)
    , m_waiter(waiter) {}

ReadBackResult DeviceProtocol::ReadBack() {
    // Whatever waits on the line is not the answer to this request.
    m_link.discardInput();
    if (!m_link.output(Wire::ReadAll))
        return {m_waiter.isClosing() ? Outcome::Closing : Outcome::PortLost, {}};

    const auto deadline = m_timeout ? m_waiter.now() + *m_timeout : MessagePump::Never;
    QByteArray reply;
    while (reply.isEmpty()) {
        if (const Outcome outcome = waitForInput(1, deadline); outcome != Outcome::Completed)
            return {outcome, {}};
        reply = m_link.input();
    }

    const qint64 total = quint8(reply.at(0)) + 1;
    const qint64 remaining = total - reply.size();
    if (const Outcome outcome = waitForInput(remaining, deadline); outcome != Outcome::Completed)
        return {outcome, reply};
    reply += m_link.input();
    return {Outcome::Completed, reply};
}

Outcome DeviceProtocol::waitForInput(qint64 count, MessagePump::Clock::time_point deadline) {
    const Outcome outcome = m_waiter.waitUntil(
        [&] { return !m_link.PortOpen() || m_link.inBufferCount() >= count; }, deadline);
    if (outcome == Outcome::Completed && !m_link.PortOpen())
        return Outcome::PortLost;
    return outcome;
}

bool DeviceProtocol::sendWriteHeader() {
    return m_link.output(Wire::WriteAll);
}

bool DeviceProtocol::sendDataByte(quint8 byte) {
    return m_link.output(QByteArray(1, char(byte)));
}

QByteArray DeviceProtocol::replyData(const QByteArray& replyBuffer) {
    if (replyBuffer.isEmpty())
        return {};
    return replyBuffer.mid(1, quint8(replyBuffer.at(0)));
}

} // namespace tavrin
