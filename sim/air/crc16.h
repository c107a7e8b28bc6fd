#pragma once

#include <QtGlobal>

#include <cstddef>

// The chip's CRC coprocessor: a 16-bit CRC on the CCITT polynomial
// x^16 + x^12 + x^5 + 1, bytes taken least significant bit first, started
// from the preset of CRCPresetLSB/CRCPresetMSB.
//   - ISO/IEC 14443 type A (CRC_A): preset 0x6363, result as is;
//   - ISO/IEC 15693 (ISO/IEC 3309): preset 0xFFFF, result complemented.
// On the air the CRC goes least significant byte first.
namespace Crc16 {

constexpr quint16 PresetA = 0x6363;
constexpr quint16 Preset3309 = 0xFFFF;

quint16 compute(const quint8 *data, std::size_t length, quint16 preset, bool complement);

inline quint16 crcA(const quint8 *data, std::size_t length)
{
    return compute(data, length, PresetA, false);
}

inline quint16 crc3309(const quint8 *data, std::size_t length)
{
    return compute(data, length, Preset3309, true);
}

} // namespace Crc16
