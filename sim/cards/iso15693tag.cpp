#include "iso15693tag.h"

#include "crc16.h"

#include <algorithm>

namespace {

constexpr int SlotCount = VicinityCommand::SlotCount;
// The longest masks the standard allows: the whole UID in one slot; in 16
// slots, all but the four bits that choose the slot.
constexpr int MaxMaskOneSlot = 64;
constexpr int MaxMaskSixteenSlots = 60;
// flags, command code, CRC
constexpr int ShortestRequest = 4;
constexpr int UidLength = VicinityCommand::UidLength;
// Custom and proprietary command codes: this tag has none, and the standard
// wants silence for a code a tag does not know in that range.
constexpr quint8 FirstCustomCommand = VicinityCommand::FirstCustomCommand;

QByteArray ok()
{
    return QByteArray(1, char(Iso15693Tag::AnswerOk));
}

QByteArray error(quint8 code)
{
    QByteArray answer;
    answer.append(char(Iso15693Tag::AnswerError));
    answer.append(char(code));
    return answer;
}

quint16 crcOf(const QByteArray &bytes)
{
    return Crc16::crc3309(reinterpret_cast<const quint8 *>(bytes.constData()), std::size_t(bytes.size()));
}

} // namespace

Iso15693Tag::Iso15693Tag(quint64 uid, quint8 dsfid, quint8 afi, int blockCount)
    : m_uid(uid), m_dsfid(dsfid), m_afi(afi)
{
    m_blocks.resize(std::size_t(std::clamp(blockCount, 1, MaxBlockCount)));
    for (std::size_t n = 0; n < m_blocks.size(); ++n) {
        for (int i = 0; i < BlockSize; ++i)
            m_blocks[n].data.append(char(quint8(n * BlockSize + std::size_t(i))));
    }
}

QByteArray Iso15693Tag::uidBytes() const
{
    QByteArray bytes;
    for (int i = 0; i < UidLength; ++i)
        bytes.append(char(quint8(m_uid >> (8 * i))));
    return bytes;
}

QByteArray Iso15693Tag::block(int number) const
{
    if (number < 0 || number >= blockCount())
        return QByteArray();
    return m_blocks[std::size_t(number)].data;
}

void Iso15693Tag::setBlock(int number, const QByteArray &data)
{
    if (number < 0 || number >= blockCount())
        return;
    QByteArray content = data.left(BlockSize);
    content.append(QByteArray(BlockSize - content.size(), '\0'));
    m_blocks[std::size_t(number)].data = content;
}

bool Iso15693Tag::blockLocked(int number) const
{
    return number >= 0 && number < blockCount() && m_blocks[std::size_t(number)].locked;
}

bool Iso15693Tag::afiMatches(quint8 requested, quint8 own)
{
    if (requested == 0x00)
        return true;
    if ((requested & 0x0F) == 0)
        return (requested & 0xF0) == (own & 0xF0);
    return requested == own;
}

// ---------------------------------------------------------------------------
// The air

void Iso15693Tag::fieldOn()
{
    m_state = State::Ready;
    m_audible = true;
    m_currentSlot = -1;
    m_answerSlot = -1;
    m_heldAnswer.reset();
}

void Iso15693Tag::fieldOff()
{
    fieldOn();
    m_state = State::PowerOff;
}

std::optional<AirBits> Iso15693Tag::hear(const AirFrame &frame)
{
    if (m_state == State::PowerOff)
        return std::nullopt;
    // Another standard's coding is noise: it neither speaks to the tag nor
    // disturbs an inventory in progress.
    if (frame.coding != AirCoding::OneOutOf4 && frame.coding != AirCoding::OneOutOf256)
        return std::nullopt;
    if (frame.slotPulse)
        return endOfFrame();

    // Anything else starts a new request, heard or not: the slots of an
    // inventory and an answer held for a pulse end here.
    m_currentSlot = -1;
    m_answerSlot = -1;
    m_heldAnswer.reset();

    QByteArray bytes;
    if (!Air::toPlainBytes(frame.bits, &bytes) || bytes.size() < ShortestRequest)
        return std::nullopt;
    const QByteArray body = bytes.left(bytes.size() - 2);
    const quint16 crc = crcOf(body);
    if (quint8(bytes.at(bytes.size() - 2)) != (crc & 0xFF) || quint8(bytes.at(bytes.size() - 1)) != (crc >> 8))
        return std::nullopt;

    const quint8 flags = quint8(body.at(0));
    m_audible = (flags & FlagDataRate) && !(flags & FlagSubCarrier);
    const std::optional<QByteArray> answer = request(body);
    if (!answer)
        return std::nullopt;
    return onAir(*answer);
}

std::optional<AirBits> Iso15693Tag::endOfFrame()
{
    if (m_heldAnswer) {
        const QByteArray answer = *m_heldAnswer;
        m_heldAnswer.reset();
        return onAir(answer);
    }
    if (m_currentSlot < 0)
        return std::nullopt;
    ++m_currentSlot;
    if (m_currentSlot >= SlotCount || m_currentSlot > m_answerSlot) {
        m_currentSlot = -1;
        return std::nullopt;
    }
    if (m_currentSlot < m_answerSlot)
        return std::nullopt;
    m_currentSlot = -1;  // answered: silent for the rest of the slots
    return onAir(m_slotAnswer);
}

std::optional<AirBits> Iso15693Tag::onAir(const QByteArray &answer) const
{
    if (!m_audible)
        return std::nullopt;
    QByteArray framed = answer;
    const quint16 crc = crcOf(answer);
    framed.append(char(crc & 0xFF));
    framed.append(char(crc >> 8));
    return Air::plain(framed);
}

// ---------------------------------------------------------------------------
// Requests

std::optional<QByteArray> Iso15693Tag::request(const QByteArray &bytes)
{
    const quint8 flags = quint8(bytes.at(0));
    const quint8 code = quint8(bytes.at(1));
    if (flags & FlagInventory)
        return code == CmdInventory ? inventory(bytes) : std::nullopt;
    if (code == CmdInventory)
        return std::nullopt;  // an inventory without its flag is for no tag

    QByteArray parameters = bytes.mid(2);
    if (flags & FlagAddress) {
        // Addressed and for the selected tag at once is for no tag; a
        // request too short for a UID cannot say whom it is for.
        if ((flags & FlagSelect) || parameters.size() < UidLength)
            return std::nullopt;
        if (parameters.left(UidLength) != uidBytes()) {
            // Selecting another tag deselects this one.
            if (code == CmdSelect && m_state == State::Selected)
                m_state = State::Ready;
            return std::nullopt;
        }
        parameters.remove(0, UidLength);
    } else if (flags & FlagSelect) {
        if (m_state != State::Selected)
            return std::nullopt;
    } else if (m_state == State::Quiet) {
        return std::nullopt;  // a quiet tag hears only its own UID
    }
    return command(flags, code, parameters);
}

std::optional<QByteArray> Iso15693Tag::inventory(const QByteArray &bytes)
{
    const quint8 flags = quint8(bytes.at(0));
    if (m_state == State::Quiet || (flags & FlagProtocolExtension))
        return std::nullopt;
    int at = 2;
    quint8 requestedAfi = 0x00;
    if (flags & FlagAfi) {
        if (bytes.size() <= at)
            return std::nullopt;
        requestedAfi = quint8(bytes.at(at++));
    }
    if (bytes.size() <= at)
        return std::nullopt;
    const int maskLength = quint8(bytes.at(at++));
    const bool oneSlot = flags & FlagOneSlot;
    if (maskLength > (oneSlot ? MaxMaskOneSlot : MaxMaskSixteenSlots))
        return std::nullopt;
    if (bytes.size() != at + (maskLength + 7) / 8)
        return std::nullopt;

    if ((flags & FlagAfi) && !afiMatches(requestedAfi, m_afi))
        return std::nullopt;
    for (int i = 0; i < maskLength; ++i) {
        const bool maskBit = (quint8(bytes.at(at + i / 8)) >> (i % 8)) & 1;
        if (maskBit != uidBit(i))
            return std::nullopt;
    }

    QByteArray answer;
    answer.append(char(AnswerOk));
    answer.append(char(m_dsfid));
    answer.append(uidBytes());
    if (oneSlot)
        return answer;
    const int slot = int((m_uid >> maskLength) & 0x0F);
    if (slot == 0)
        return answer;
    m_currentSlot = 0;
    m_answerSlot = slot;
    m_slotAnswer = answer;
    return std::nullopt;
}

std::optional<QByteArray> Iso15693Tag::command(quint8 flags, quint8 code, const QByteArray &parameters)
{
    if (flags & FlagProtocolExtension)
        return error(ErrorNotRecognised);
    const int count = int(parameters.size());
    // The block number of block commands, or -1.
    const int number = count > 0 ? quint8(parameters.at(0)) : -1;

    switch (code) {
    case CmdStayQuiet:
        // Only for a tag named by its UID; never answered.
        if ((flags & FlagAddress) && count == 0)
            m_state = State::Quiet;
        return std::nullopt;

    case CmdSelect:
        if (!(flags & FlagAddress))
            return std::nullopt;
        if (count != 0)
            return error(ErrorNotRecognised);
        m_state = State::Selected;
        return ok();

    case CmdResetToReady:
        if (count != 0)
            return error(ErrorNotRecognised);
        m_state = State::Ready;
        return ok();

    case CmdReadSingleBlock: {
        if (count != 1)
            return error(ErrorNotRecognised);
        if (number >= blockCount())
            return error(ErrorBlockNotAvailable);
        const Block &block = m_blocks[std::size_t(number)];
        QByteArray answer = ok();
        if (flags & FlagOption)
            answer.append(char(block.locked ? 0x01 : 0x00));
        answer.append(block.data);
        return answer;
    }

    case CmdWriteSingleBlock:
        if (count != 1 + BlockSize)
            return reply(flags, error(ErrorNotRecognised));
        if (number >= blockCount())
            return reply(flags, error(ErrorBlockNotAvailable));
        if (m_blocks[std::size_t(number)].locked)
            return reply(flags, error(ErrorLocked));
        m_blocks[std::size_t(number)].data = parameters.mid(1);
        return reply(flags, ok());

    case CmdLockBlock:
        if (count != 1)
            return reply(flags, error(ErrorNotRecognised));
        if (number >= blockCount())
            return reply(flags, error(ErrorBlockNotAvailable));
        if (m_blocks[std::size_t(number)].locked)
            return reply(flags, error(ErrorAlreadyLocked));
        m_blocks[std::size_t(number)].locked = true;
        return reply(flags, ok());

    case CmdWriteAfi:
    case CmdWriteDsfid: {
        if (count != 1)
            return reply(flags, error(ErrorNotRecognised));
        const bool afi = code == CmdWriteAfi;
        if (afi ? m_afiLocked : m_dsfidLocked)
            return reply(flags, error(ErrorLocked));
        (afi ? m_afi : m_dsfid) = quint8(parameters.at(0));
        return reply(flags, ok());
    }

    case CmdLockAfi:
    case CmdLockDsfid: {
        if (count != 0)
            return reply(flags, error(ErrorNotRecognised));
        bool &locked = code == CmdLockAfi ? m_afiLocked : m_dsfidLocked;
        if (locked)
            return reply(flags, error(ErrorAlreadyLocked));
        locked = true;
        return reply(flags, ok());
    }

    case CmdGetSystemInformation:
        if (count != 0)
            return error(ErrorNotRecognised);
        return systemInformation();

    default:
        if (code >= FirstCustomCommand)
            return std::nullopt;
        return error(ErrorNotSupported);
    }
}

QByteArray Iso15693Tag::systemInformation() const
{
    using namespace VicinityCommand;
    QByteArray answer = ok();
    answer.append(char(InfoDsfid | InfoAfi | InfoMemorySize | InfoIcReference));
    answer.append(uidBytes());
    answer.append(char(m_dsfid));
    answer.append(char(m_afi));
    // The memory size counts blocks and bytes less one each.
    answer.append(char(blockCount() - 1));
    answer.append(char(BlockSize - 1));
    answer.append(char(IcReference));
    return answer;
}

std::optional<QByteArray> Iso15693Tag::reply(quint8 flags, const QByteArray &answer)
{
    if (!(flags & FlagOption))
        return answer;
    m_heldAnswer = answer;
    return std::nullopt;
}
