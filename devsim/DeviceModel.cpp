#include "devsim/DeviceModel.h"

#include <algorithm>

namespace tavrin {

DeviceModel::DeviceModel(DeviceFaults faults)
    : m_faults(std::move(faults))
    , m_cells(CellCount, Wire::FillByte) {}

void DeviceModel::setCells(const QByteArray& cells) {
    m_cells = cells.left(CellCount);
    m_cells.append(QByteArray(CellCount - m_cells.size(), Wire::FillByte));
}

void DeviceModel::reset() {
    ++m_resets;
    if (m_state != State::HungUp && m_state != State::Unplugged)
        m_state = State::Command;
    m_escapes = 0;
}

void DeviceModel::unplug() {
    m_state = State::Unplugged;
}

void DeviceModel::plugIn() {
    if (m_state == State::Unplugged)
        m_state = State::Command;
    ++m_unit;
    m_escapes = 0;
    m_cells.fill(Wire::FillByte);
}

DeviceModel::Response DeviceModel::receive(const QByteArray& bytes, Time at) {
    Response response;
    for (char byte : bytes) {
        switch (m_state) {
        case State::Command:
            receiveCommandByte(byte, at, response);
            break;
        case State::Writing:
            receiveDataByte(byte, at, response);
            break;
        case State::HungUp:
        case State::Unplugged:
            return response;
        }
    }
    return response;
}

void DeviceModel::receiveCommandByte(char byte, Time at, Response& response) {
    if (byte == Wire::Escape) {
        if (m_escapes++ == 0)
            ++m_wakes;
        return;
    }
    // A wake ESC just before a command makes one more ESC in front of it; that changes nothing.
    if (byte == Wire::ReadAll.back() && m_escapes >= Wire::ReadAll.size() - 1) {
        ++m_reads;
        if (!m_faults.silent)
            response.reply = reply();
    } else if (byte == Wire::WriteAll.back() && m_escapes >= Wire::WriteAll.size() - 1) {
        m_state = State::Writing;
        m_nextCell = 0;
        m_dataReceived = 0;
        m_busyUntil = at;
        m_dataArrivals.clear();
    }
    m_escapes = 0;
}

void DeviceModel::receiveDataByte(char byte, Time at, Response& response) {
    m_dataArrivals.push_back(at);
    ++m_dataReceived;
    if (at < m_busyUntil) {
        ++m_bytesLost;
    } else {
        const bool stuck = m_nextCell == m_faults.stuckCell &&
                           (m_faults.stuckUnit == 0 || m_faults.stuckUnit == m_unit);
        if (!stuck)
            m_cells[m_nextCell] = byte;
        // Taken as sent as early as the handover allows: a byte the kernel handed over late,
        // followed by one on time, must not look like a host that sent too soon.
        m_busyUntil = std::max(m_busyUntil, at - HandoverSlack) + m_cellWriteTime;
    }
    if (m_faults.hangUpAfter >= 0 && m_dataReceived >= m_faults.hangUpAfter) {
        m_state = State::HungUp;
        response.hangUp = true;
        return;
    }
    if (++m_nextCell == CellCount) {
        m_state = State::Command;
        ++m_writesCompleted;
        response.writeCompleted = true;
    }
}

std::vector<DeviceModel::Piece> DeviceModel::reply() const {
    const char count = char(m_faults.announcedCount >= 0 ? m_faults.announcedCount : CellCount);
    QByteArray whole = QByteArray(1, count) + m_cells + m_faults.extraBytes;
    if (m_faults.replyBytes >= 0)
        whole.truncate(m_faults.replyBytes);
    const int pieces = std::max(1, std::min<int>(m_faults.replyPieces, whole.size()));
    std::vector<Piece> reply;
    const qsizetype size = whole.size() / pieces;
    for (int i = 0; i < pieces; ++i) {
        const qsizetype from = i * size;
        const qsizetype length = i + 1 == pieces ? whole.size() - from : size;
        reply.push_back({i == 0 ? Time{0} : Time(m_faults.pieceGap), whole.mid(from, length)});
    }
    return reply;
}

} // namespace tavrin
