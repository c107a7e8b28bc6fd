#include "crc16.h"

namespace Crc16 {

quint16 compute(const quint8 *data, std::size_t length, quint16 preset, bool complement)
{
    quint16 crc = preset;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0x8408) : quint16(crc >> 1);
    }
    return complement ? quint16(~crc) : crc;
}

} // namespace Crc16
