#pragma once

#include <QtGlobal>

namespace tavrin {

// Colours as 0x00BBGGRR values; a value with the top bit set names a system colour by its index.
namespace Colour {
constexpr quint32 Red = 0x000000FF;
constexpr quint32 Green = 0x0000FF00;
constexpr quint32 LightGrey = 0x00C0C0C0;
constexpr quint32 HighlightText = 0x8000000E;
constexpr quint32 ButtonText = 0x80000012;

constexpr bool isSystem(quint32 colour) {
    return (colour & 0x80000000u) != 0;
}
constexpr int systemIndex(quint32 colour) {
    return int(colour & 0xFF);
}
} // namespace Colour

} // namespace tavrin
