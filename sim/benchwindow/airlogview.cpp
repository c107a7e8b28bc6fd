#include "airlogview.h"

#include "captureexport.h"

#include <QHeaderView>
#include <QLocale>

namespace {

constexpr int SerialRole = Qt::UserRole;

QString milliseconds(qint64 ns)
{
    static const QLocale french(QLocale::French, QLocale::France);
    return french.toString(double(ns) / 1e6, 'f', 3);
}

QString checkText(DecodedFrame::Check check)
{
    switch (check) {
    case DecodedFrame::Check::Ok: return AirLogView::tr("juste");
    case DecodedFrame::Check::Failed: return AirLogView::tr("fausse");
    case DecodedFrame::Check::None: break;
    }
    return QStringLiteral("—");
}

} // namespace

AirLogView::AirLogView(QWidget *parent, int limit)
    : QTreeWidget(parent)
    , m_limit(std::max(1, limit))
{
    setColumnCount(ColumnCount);
    setHeaderLabels({ tr("Temps (ms)"), tr("Échange / trame"), tr("Sens"), tr("Bits"), tr("Hex"), tr("Parité"),
                      tr("CRC") });
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(Meaning, QHeaderView::Stretch);
    setColumnWidth(Time, 95);
    setColumnWidth(Direction, 105);
    setColumnWidth(Bits, 40);
    setColumnWidth(Hex, 130);
    setColumnWidth(Parity, 55);
    setColumnWidth(Crc, 50);
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        if (!m_quiet && current)
            chosen(current);
    });
    // A click on the row already chosen shows it again (the scope may have
    // gone back to following in between).
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) { chosen(item); });
}

void AirLogView::addExchange(const DecodedExchange &decoded)
{
    if (decoded.frames.empty())
        return;
    const bool quiet = m_quiet;
    m_quiet = true;
    while (topLevelItemCount() >= m_limit) {
        delete takeTopLevelItem(0);
        m_frames.pop_front();
    }
    auto *row = new QTreeWidgetItem;
    row->setData(0, SerialRole, QVariant::fromValue(decoded.exchange.serial));
    row->setText(Time, milliseconds(decoded.frames.front().timeNs));
    row->setText(Meaning, AirDecoder::summary(decoded.frames));
    row->setToolTip(Meaning, tr("Échange n° %1").arg(decoded.exchange.serial));
    for (const DecodedFrame &frame : decoded.frames)
        addFrame(row, frame);
    addTopLevelItem(row);
    m_frames.push_back(decoded.frames);
    m_quiet = quiet;
}

void AirLogView::addFrame(QTreeWidgetItem *row, const DecodedFrame &frame)
{
    auto *item = new QTreeWidgetItem(row);
    const bool toCard = frame.direction == DecodedFrame::Direction::ReaderToCard;
    item->setText(Time, milliseconds(frame.timeNs));
    item->setText(Meaning, frame.meaning);
    item->setText(Direction, toCard ? tr("lecteur → carte") : tr("carte → lecteur"));
    item->setText(Bits, QString::number(frame.bitCount));
    item->setText(Hex, frame.hex());
    item->setText(Parity, checkText(frame.parity));
    item->setText(Crc, checkText(frame.crc));
    for (int column : { int(Parity), int(Crc) }) {
        if (item->text(column) == checkText(DecodedFrame::Check::Failed))
            item->setForeground(column, Qt::red);
    }
}

void AirLogView::clearChoice()
{
    const bool quiet = m_quiet;
    m_quiet = true;
    clearSelection();
    setCurrentItem(nullptr);
    m_quiet = quiet;
}

quint64 AirLogView::serialOf(const QTreeWidgetItem *item)
{
    while (item && item->parent())
        item = item->parent();
    return item ? item->data(0, SerialRole).toULongLong() : 0;
}

void AirLogView::chosen(QTreeWidgetItem *current)
{
    const quint64 serial = serialOf(current);
    if (serial != 0)
        emit exchangeChosen(serial);
}

QByteArray AirLogView::csv() const
{
    QByteArray text = AirLogCsv::header();
    for (const std::vector<DecodedFrame> &frames : m_frames) {
        for (const DecodedFrame &frame : frames)
            text += AirLogCsv::row(frame);
    }
    return text;
}
