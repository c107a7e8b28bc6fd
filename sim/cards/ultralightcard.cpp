#include "ultralightcard.h"

namespace {

using MifareCommand::NakInvalidArgument;
using MifareCommand::Read;
constexpr quint8 Write = MifareCommand::UltralightWrite;
constexpr quint8 CompatibilityWrite = MifareCommand::Write;
const QByteArray Atqa("\x44\x00", 2);
constexpr quint8 Sak = 0x00;

} // namespace

UltralightCard::UltralightCard(const QByteArray &uid)
    : TypeACard(uid.left(7), Atqa, Sak)
{
    const QByteArray id = this->uid();
    // Page 0: UID0-2 and their BCC with the cascade tag; page 1: UID3-6;
    // page 2: the second BCC, an internal byte and the two lock bytes.
    const quint8 bcc0 = quint8(TypeACommand::CascadeTag ^ quint8(id.at(0)) ^ quint8(id.at(1)) ^ quint8(id.at(2)));
    const quint8 bcc1 = quint8(quint8(id.at(3)) ^ quint8(id.at(4)) ^ quint8(id.at(5)) ^ quint8(id.at(6)));
    m_pages.fill(QByteArray(PageSize, '\0'));
    m_pages[0] = id.left(3) + char(bcc0);
    m_pages[1] = id.mid(3, 4);
    m_pages[2] = QByteArray(1, char(bcc1)) + QByteArray("\x48\x00\x00", 3);
}

QByteArray UltralightCard::page(int number) const
{
    return m_pages.at(std::size_t(number));
}

void UltralightCard::setPage(int number, const QByteArray &data)
{
    m_pages.at(std::size_t(number)) = data.leftJustified(PageSize, '\0', true);
}

bool UltralightCard::locked(int page) const
{
    const int lock = quint8(m_pages[2].at(2)) | (quint8(m_pages[2].at(3)) << 8);
    return page >= 3 && ((lock >> page) & 1);
}

std::optional<AirBits> UltralightCard::activeFrame(const AirBits &bits)
{
    QByteArray frame;
    if (!takeFrameWithCrc(bits, &frame)) {
        fallBack();
        return std::nullopt;
    }
    if (m_pendingWrite >= 0) {
        const int page = m_pendingWrite;
        m_pendingWrite = -1;
        if (frame.size() != 16) {
            fallBack();
            return fourBits(NakInvalidArgument);
        }
        return writePage(page, frame.left(PageSize));
    }
    if (isHalt(frame)) {
        halt();
        return std::nullopt;
    }
    const quint8 code = quint8(frame.at(0));
    const int page = frame.size() >= 2 ? quint8(frame.at(1)) : -1;
    if (code == Read && frame.size() == 2 && page < PageCount) {
        QByteArray data;
        for (int i = 0; i < 4; ++i)
            data += m_pages.at(std::size_t((page + i) % PageCount));
        return withCrc(data);
    }
    if (code == Write && frame.size() == 2 + PageSize && page < PageCount)
        return writePage(page, frame.mid(2, PageSize));
    if (code == CompatibilityWrite && frame.size() == 2 && page < PageCount) {
        m_pendingWrite = page;
        return fourBits(Ack);
    }
    fallBack();
    return (code == Read || code == Write || code == CompatibilityWrite) ? std::optional(fourBits(NakInvalidArgument))
                                                                         : std::nullopt;
}

std::optional<AirBits> UltralightCard::writePage(int page, const QByteArray &data)
{
    if (page < 2 || locked(page)) {
        fallBack();
        return fourBits(NakInvalidArgument);
    }
    QByteArray &target = m_pages.at(std::size_t(page));
    if (page == 2) {
        // The first two bytes are the UID's check byte and an internal byte:
        // only the lock bytes take the written bits, and keep their own.
        target[2] = char(quint8(target.at(2)) | quint8(data.at(2)));
        target[3] = char(quint8(target.at(3)) | quint8(data.at(3)));
    } else if (page == 3) {
        for (int i = 0; i < PageSize; ++i)
            target[i] = char(quint8(target.at(i)) | quint8(data.at(i)));
    } else {
        target = data;
    }
    return fourBits(Ack);
}
