#pragma once

#include "link/WireFormat.h"

#include <QByteArray>

#include <chrono>
#include <vector>

namespace tavrin {

// Misbehaviour the device can be told to show, for drills.
struct DeviceFaults {
    bool silent = false;                   // never answers a read
    int replyPieces = 1;                   // the reply is sent in this many pieces ...
    std::chrono::milliseconds pieceGap{0}; // ... with this pause between them
    QByteArray extraBytes;                 // sent straight after every reply
    int announcedCount = -1;               // the count byte of a reply, when not the cell count
    int replyBytes = -1;                   // a reply stops after this many bytes
    int stuckCell = -1;                    // this cell keeps its old value when written ...
    int stuckUnit = 0;                     // ... on this unit only (1, 2, ...; 0: on every unit)
    int hangUpAfter = -1;                  // hang up after this many data bytes of a write transfer
};

// The device side of the line, as pure logic: 64 EEPROM cells and the escape-code commands.
// ESC wakes it; ESC ESC "U" is answered by a count byte of 64 and the cells; ESC "D" stores the
// next 64 bytes into cells 0..63. A data byte that arrives while the previous cell is still being
// written is lost: the cell keeps its old value and the transfer moves on to the next cell.
// Arrival times are when the bytes were read, which may be up to HandoverSlack after they were
// sent: a byte is lost only when no sending time within that slack lets it in, so a host that
// keeps sending faster than one byte a cell-write time loses bytes, and jitter alone does not.
class DeviceModel {
public:
    using Time = std::chrono::microseconds;
    static constexpr int CellCount = Wire::EepromSize;
    static constexpr std::chrono::milliseconds DefaultCellWriteTime{5};
    // How late a pseudo-terminal may hand a byte to its reader: the kernel worker that moves it
    // shares its queue with the file system's work, and under heavy disk traffic waits 40 ms
    // and more.
    static constexpr std::chrono::milliseconds HandoverSlack{100};

    struct Piece {
        Time delay{0}; // after the previous piece has left, or after the command for the first
        QByteArray bytes;
    };

    struct Response {
        std::vector<Piece> reply;
        bool writeCompleted = false;
        bool hangUp = false;
    };

    explicit DeviceModel(DeviceFaults faults = {});

    // Bytes from the host that arrived at `at`.
    Response receive(const QByteArray& bytes, Time at);
    // The host closed and reopened the port.
    void reset();
    // The unit is taken off the line: nothing is answered or stored until the next one.
    void unplug();
    // The next unit is put on the line, its cells all FF.
    void plugIn();
    bool pluggedIn() const { return m_state != State::Unplugged; }
    // The unit on the line or last on it, counted from 1.
    int unit() const { return m_unit; }

    void setCellWriteTime(std::chrono::microseconds time) { m_cellWriteTime = time; }
    void setCells(const QByteArray& cells);
    const QByteArray& cells() const { return m_cells; }
    const DeviceFaults& faults() const { return m_faults; }

    int resets() const { return m_resets; }
    int wakes() const { return m_wakes; }
    int reads() const { return m_reads; }
    int writesCompleted() const { return m_writesCompleted; }
    int bytesLost() const { return m_bytesLost; }
    // Arrival times of the data bytes of the current or last write transfer.
    const std::vector<Time>& dataArrivals() const { return m_dataArrivals; }

private:
    enum class State { Command, Writing, HungUp, Unplugged };

    void receiveCommandByte(char byte, Time at, Response& response);
    void receiveDataByte(char byte, Time at, Response& response);
    std::vector<Piece> reply() const;

    DeviceFaults m_faults;
    QByteArray m_cells;
    std::chrono::microseconds m_cellWriteTime = DefaultCellWriteTime;
    State m_state = State::Command;
    int m_escapes = 0;
    int m_nextCell = 0;
    Time m_busyUntil{0};
    int m_resets = 0;
    int m_wakes = 0;
    int m_reads = 0;
    int m_writesCompleted = 0;
    int m_bytesLost = 0;
    int m_dataReceived = 0;
    int m_unit = 1;
    std::vector<Time> m_dataArrivals;
};

} // namespace tavrin
