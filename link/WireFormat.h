#pragma once

#include <QByteArray>

#include <chrono>

namespace tavrin {

// What crosses the serial line, shared by the program, the device model and the benchmark.
namespace Wire {

constexpr char Escape = 0x1b;
// ESC wakes the device after every opening of the port.
inline const QByteArray Wake = QByteArray(1, Escape);
// ESC ESC "U": answered by a count byte C and C data bytes.
inline const QByteArray ReadAll = QByteArray(2, Escape) + 'U';
// ESC "D": followed by the image, one data byte a tick, filled to EepromSize with FillByte.
inline const QByteArray WriteAll = QByteArray(1, Escape) + 'D';

constexpr int EepromSize = 64;
constexpr char FillByte = char(0xFF);

// One character at 9600 bit/s, 8 data bits, no parity, one stop bit: ten bits.
constexpr int BitsPerSecond = 9600;
constexpr std::chrono::duration<double, std::micro> ByteTime{10.0 * 1e6 / BitsPerSecond};

} // namespace Wire

} // namespace tavrin
