#include "typeacard.h"

#include "aircommands.h"
#include "crc16.h"

namespace {

using namespace TypeACommand;
constexpr quint8 SelectCodes[] = { SelectCascadeLevel1, SelectCascadeLevel2 };
constexpr std::size_t ShortFrame = ShortFrameBits;

quint8 bitsToByte(const AirBits &bits)
{
    quint8 value = 0;
    for (std::size_t i = 0; i < bits.size() && i < 8; ++i)
        value |= quint8((bits[i] & 1) << i);
    return value;
}

quint16 crcA(const QByteArray &bytes)
{
    return Crc16::crcA(reinterpret_cast<const quint8 *>(bytes.constData()), std::size_t(bytes.size()));
}

} // namespace

TypeACard::TypeACard(const QByteArray &uid, const QByteArray &atqa, quint8 sak)
    : m_uid(uid.left(7))
    , m_atqa(atqa.left(2))
    , m_sak(sak)
{
}

quint32 TypeACard::cipherUid() const
{
    const int first = cascadeLevelCount() == 2 ? 3 : 0;
    quint32 word = 0;
    for (int i = first; i < first + 4; ++i)
        word = (word << 8) | (i < m_uid.size() ? quint8(m_uid.at(i)) : 0u);
    return word;
}

void TypeACard::fieldOn()
{
    enterState(State::Idle);
}

void TypeACard::fieldOff()
{
    enterState(State::PowerOff);
}

void TypeACard::enterState(State state)
{
    if (m_state == State::Active && state != State::Active)
        leaveActive();
    m_state = state;
    if (state == State::Ready)
        m_level = 1;
    if (state == State::Idle || state == State::PowerOff)
        m_wokenFromHalt = false;
}

void TypeACard::fallBack()
{
    enterState(m_wokenFromHalt ? State::Halt : State::Idle);
}

void TypeACard::halt()
{
    enterState(State::Halt);
}

std::optional<AirBits> TypeACard::hear(const AirFrame &frame)
{
    if (m_state == State::PowerOff || frame.coding != AirCoding::ModifiedMiller || frame.slotPulse)
        return std::nullopt;  // not a type A frame: noise to this card
    if (frame.bits.size() == ShortFrame)
        return shortFrame(bitsToByte(frame.bits));
    switch (m_state) {
    case State::Ready:
        return readyFrame(frame.bits);
    case State::Active:
        return activeFrame(frame.bits);
    default:
        return std::nullopt;  // IDLE and HALT wait for a short frame
    }
}

std::optional<AirBits> TypeACard::shortFrame(quint8 command)
{
    const bool wakesUp = (command == Reqa && m_state == State::Idle)
        || (command == Wupa && (m_state == State::Idle || m_state == State::Halt));
    if (!wakesUp) {
        if (m_state == State::Ready || m_state == State::Active)
            fallBack();  // a short frame where a command was due
        return std::nullopt;
    }
    const bool fromHalt = m_state == State::Halt;
    enterState(State::Ready);
    m_wokenFromHalt = fromHalt;
    return Air::withOddParity(m_atqa);
}

QByteArray TypeACard::cascadeBytes() const
{
    QByteArray bytes;
    if (cascadeLevelCount() == 1)
        bytes = m_uid.left(4);
    else if (m_level == 1)
        bytes = QByteArray(1, char(CascadeTag)) + m_uid.left(3);
    else
        bytes = m_uid.mid(3, 4);
    quint8 bcc = 0;
    for (char byte : bytes)
        bcc ^= quint8(byte);
    return bytes + char(bcc);
}

std::optional<AirBits> TypeACard::readyFrame(const AirBits &bits)
{
    const Air::ParityFrame frame = Air::splitOddParity(bits);
    if (frame.bytes.size() < 2 || !frame.parityOk
        || quint8(frame.bytes.at(0)) != SelectCodes[m_level - 1]) {
        fallBack();
        return std::nullopt;
    }
    const QByteArray cascade = cascadeBytes();
    const quint8 nvb = quint8(frame.bytes.at(1));

    if (nvb == NvbSelect) {
        QByteArray select;
        if (!takeFrameWithCrc(bits, &select) || select.size() != 7) {
            fallBack();
            return std::nullopt;
        }
        if (select.mid(2) != cascade)
            return std::nullopt;  // another card's UID: stay READY, silent
        if (m_level < cascadeLevelCount()) {
            ++m_level;
            return withCrc(QByteArray(1, char(SakUidNotComplete)));
        }
        enterState(State::Active);
        return withCrc(QByteArray(1, char(m_sak)));
    }

    // Anticollision: NVB counts the valid bits sent, SEL and NVB included.
    const int byteCount = nvb >> 4;
    const int bitCount = nvb & 0x0F;
    if (byteCount < 2 || byteCount > 6 || bitCount > 7 || frame.bytes.size() != byteCount
        || int(frame.tail.size()) != bitCount) {
        fallBack();
        return std::nullopt;
    }
    const AirBits cascadeBits = Air::plain(cascade);
    AirBits known;
    for (int i = 2; i < byteCount; ++i)
        Air::appendByte(known, quint8(frame.bytes.at(i)));
    known.insert(known.end(), frame.tail.begin(), frame.tail.end());
    if (!std::equal(known.begin(), known.end(), cascadeBits.begin()))
        return std::nullopt;  // its UID does not begin so: silent, still READY

    // The rest of the cascade level: the bits left of the split byte, the
    // parity of that whole byte, then whole bytes with their parity.
    AirBits answer;
    std::size_t position = known.size();
    if (position % 8 != 0) {
        const std::size_t byteEnd = (position / 8 + 1) * 8;
        answer.insert(answer.end(), cascadeBits.begin() + std::ptrdiff_t(position),
                      cascadeBits.begin() + std::ptrdiff_t(byteEnd));
        answer.push_back(Air::oddParityBit(quint8(cascade.at(int(position / 8)))) ? 1 : 0);
        position = byteEnd;
    }
    Air::appendWithOddParity(answer, cascade.mid(int(position / 8)));
    return answer;
}

std::optional<AirBits> TypeACard::activeFrame(const AirBits &bits)
{
    QByteArray frame;
    if (takeFrameWithCrc(bits, &frame) && isHalt(frame)) {
        halt();
        return std::nullopt;
    }
    fallBack();
    return std::nullopt;
}

bool TypeACard::isHalt(const QByteArray &frame)
{
    return frame.size() == 2 && quint8(frame.at(0)) == Halt && frame.at(1) == 0;
}

AirBits TypeACard::withCrc(const QByteArray &bytes)
{
    const quint16 crc = crcA(bytes);
    QByteArray framed = bytes;
    framed.append(char(crc & 0xFF));
    framed.append(char(crc >> 8));
    return Air::withOddParity(framed);
}

AirBits TypeACard::fourBits(quint8 nibble)
{
    AirBits bits;
    Air::appendByte(bits, nibble, 4);
    return bits;
}

bool TypeACard::takeFrameWithCrc(const AirBits &bits, QByteArray *bytes)
{
    const Air::ParityFrame frame = Air::splitOddParity(bits);
    if (!frame.parityOk || !frame.tail.empty() || frame.bytes.size() < 3)
        return false;
    const QByteArray data = frame.bytes.left(frame.bytes.size() - 2);
    const quint16 crc = crcA(data);
    if (quint8(frame.bytes.at(frame.bytes.size() - 2)) != (crc & 0xFF)
        || quint8(frame.bytes.at(frame.bytes.size() - 1)) != (crc >> 8))
        return false;
    *bytes = data;
    return true;
}
