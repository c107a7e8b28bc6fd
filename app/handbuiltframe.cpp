#include "handbuiltframe.h"

#include "chipregisters.h"
#include "fieldtext.h"
#include "readerlink.h"

namespace {

constexpr int FifoSize = ChipFifo::Size;
// The longest a hand-built frame and its answer keep the chip busy.
constexpr int AnswerBoundMs = 100;

int typedDigits(const QString &frameText)
{
    return frameText.size() - 1;  // the mask ends with a fixed blank
}

} // namespace

namespace HandBuiltFrame {

bool isSendable(const QString &frameText)
{
    const int digits = typedDigits(frameText);
    return digits > 0 && digits % 2 == 0;
}

QString outcome(const QString &answer, quint8 collisionPosition)
{
    if (answer.isEmpty())
        return QStringLiteral("Aucune réponse à la trame");
    QString words = QStringLiteral("Réponse : %1 octet%2").arg(answer.size() / 2).arg(answer.size() > 2 ? "s" : "");
    if (collisionPosition != 0)
        words += QStringLiteral(", collision au bit %1").arg(collisionPosition);
    return words;
}

void send(ReaderLink *link, const QString &frameText)
{
    // Whatever the FIFO still holds, the unread rest of an earlier answer or
    // one that came late, would go on the air in front of the frame.
    link->flushFifo();
    for (int i = 0; i < typedDigits(frameText) / 2; ++i)
        link->writeRegister(ChipReg::FIFOData, FieldText::pairValue(frameText, 2 * i));
    link->writeRegister(ChipReg::Command, ChipCmd::Transceive);
    // Nothing else waits for the frame and its answer to be over before the
    // FIFO is read; at the board's pace that takes from a fraction of a
    // millisecond to tens (1-out-of-256).
    link->waitForCommandEnd(AnswerBoundMs);
}

QString readAnswer(ReaderLink *link)
{
    QString answer;
    for (int i = 0; i < FifoSize && link->readRegister(ChipReg::FIFOLength) != 0; ++i)
        answer += FieldText::byte(quint8(link->readRegister(ChipReg::FIFOData)));
    return answer;
}

} // namespace HandBuiltFrame
