#include "airlogview.h"

#include "captureexport.h"
#include "capturehistory.h"
#include "scopetrace.h"

#include <QHeaderView>
#include <QLocale>

#include <algorithm>

namespace {

constexpr int SerialRole = Qt::UserRole;
constexpr double NsPerUs = 1000.0;
// The hex of a long frame is cut at this width; its tooltip holds it whole.
constexpr int HexWidth = 150;

// What a cell holds when the frame has nothing for it.
QString noValue()
{
    return QStringLiteral("—");
}

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
    return noValue();
}

bool hasEnd(qint64 startNs, qint64 endNs)
{
    return endNs > 0 && endNs >= startNs;
}

} // namespace

AirLogView::AirLogView(QWidget *parent, int limit)
    : QTreeWidget(parent)
    , m_limit(std::max(1, limit))
{
    setColumnCount(ColumnCount);
    setHeaderLabels({ tr("N°"), tr("Début (ms)"), tr("Échange / trame"), tr("Sens"), tr("Bits"), tr("Hex"),
                      tr("Parité"), tr("CRC"), tr("Fin (ms)"), tr("Durée"), tr("Écart"), tr("Mesures") });
    headerItem()->setToolTip(Gap, tr("Depuis la fin de la trame précédente sur l'air"));
    headerItem()->setToolTip(Timings, tr("Les temps de la norme mesurés sur la trame, avec leurs limites"));
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Times, numbers and summaries are never cut: their columns widen as
    // rows come (the log scrolls sideways instead), and the measurements
    // take what room is left.
    header()->setStretchLastSection(true);
    for (int column = 0; column < ColumnCount; ++column)
        setColumnWidth(column, header()->sectionSizeHint(column));
    setColumnWidth(Hex, HexWidth);
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
    row->setText(Exchange, QString::number(decoded.exchange.serial));
    row->setText(Meaning, AirDecoder::summary(decoded.frames));
    row->setToolTip(Meaning, tr("Échange n° %1").arg(decoded.exchange.serial));
    qint64 endNs = 0;
    std::vector<TimingCheck> checks;
    for (const DecodedFrame &frame : decoded.frames) {
        endNs = std::max(endNs, frame.endNs);
        checks.insert(checks.end(), frame.timings.begin(), frame.timings.end());
        addFrame(row, frame);
    }
    setTimes(row, decoded.frames.front().timeNs, endNs, decoded.frames.front().gapNs);
    setTimings(row, checks, true);
    addTopLevelItem(row);
    widenColumnsFor(row);
    m_frames.push_back(decoded.frames);
    if (!m_filter.isEmpty() || m_errorsOnly)
        row->setHidden(!passesFilter(topLevelItemCount() - 1));
    m_quiet = quiet;
}

void AirLogView::addFrame(QTreeWidgetItem *row, const DecodedFrame &frame)
{
    auto *item = new QTreeWidgetItem(row);
    const bool toCard = frame.direction == DecodedFrame::Direction::ReaderToCard;
    item->setText(Exchange, QString::number(frame.serial));
    setTimes(item, frame.timeNs, frame.endNs, frame.gapNs);
    setTimings(item, frame.timings, false);
    item->setText(Meaning, frame.meaning);
    item->setText(Direction, toCard ? tr("lecteur → carte") : tr("carte → lecteur"));
    item->setText(Bits, QString::number(frame.bitCount));
    item->setText(Hex, frame.hex());
    item->setToolTip(Hex, frame.hex());
    item->setText(Parity, checkText(frame.parity));
    item->setText(Crc, checkText(frame.crc));
    for (int column : { int(Parity), int(Crc) }) {
        if (item->text(column) == checkText(DecodedFrame::Check::Failed))
            item->setForeground(column, Qt::red);
    }
}

// Only the rows added are measured: a header that fits its columns to the
// contents measures the whole log again at each row, which a full log feels.
void AirLogView::widenColumnsFor(const QTreeWidgetItem *row)
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const auto widen = [&](const QTreeWidgetItem *item, int depth) {
        for (int column = 0; column < ColumnCount; ++column) {
            if (column == Hex || column == Timings)
                continue;  // cut, with their tooltips
            const QModelIndex index = indexFromItem(item, column);
            int needed = itemDelegateForIndex(index)->sizeHint(option, index).width();
            if (column == header()->logicalIndex(0))  // the column of the tree's branches
                needed += indentation() * (depth + (rootIsDecorated() ? 1 : 0));
            if (needed > columnWidth(column))
                setColumnWidth(column, needed);
        }
    };
    widen(row, 0);
    for (int child = 0; child < row->childCount(); ++child)
        widen(row->child(child), 1);
}

void AirLogView::setTimes(QTreeWidgetItem *item, qint64 startNs, qint64 endNs, qint64 gapNs)
{
    item->setText(Time, milliseconds(startNs));
    const bool ended = hasEnd(startNs, endNs);
    item->setText(End, ended ? milliseconds(endNs) : noValue());
    item->setText(Duration, ended ? TimeUnit::readable(double(endNs - startNs) / NsPerUs) : noValue());
    item->setText(Gap, gapNs >= 0 ? TimeUnit::readable(double(gapNs) / NsPerUs) : noValue());
}

// A frame's row lists every check; an exchange's row, which sums its frames
// up, only those out of their limits, or how many were in.
void AirLogView::setTimings(QTreeWidgetItem *item, const std::vector<TimingCheck> &checks, bool summary)
{
    QStringList all;
    QStringList failed;
    for (const TimingCheck &check : checks) {
        all << check.text();
        if (!check.ok())
            failed << check.text();
    }
    if (checks.empty())
        item->setText(Timings, noValue());
    else if (!summary)
        item->setText(Timings, all.join(QStringLiteral(" ; ")));
    else if (!failed.isEmpty())
        item->setText(Timings, failed.join(QStringLiteral(" ; ")));
    else
        item->setText(Timings, tr("%1 dans les limites").arg(checks.size()));
    item->setToolTip(Timings, all.join(QLatin1Char('\n')));
    if (!failed.isEmpty())
        item->setForeground(Timings, Qt::red);
}

void AirLogView::setFilter(const QString &text, bool errorsOnly)
{
    m_filter = text.trimmed();
    m_errorsOnly = errorsOnly;
    for (int row = 0; row < topLevelItemCount(); ++row)
        topLevelItem(row)->setHidden(!passesFilter(row));
}

bool AirLogView::passesFilter(int row) const
{
    const std::vector<DecodedFrame> &frames = m_frames[std::size_t(row)];
    if (m_errorsOnly && std::none_of(frames.begin(), frames.end(), hasFailedCheck))
        return false;
    if (m_filter.isEmpty())
        return true;
    const QTreeWidgetItem *exchange = topLevelItem(row);
    const auto contains = [&](const QTreeWidgetItem *item) {
        for (int column = 0; column < ColumnCount; ++column) {
            if (item->text(column).contains(m_filter, Qt::CaseInsensitive))
                return true;
        }
        return false;
    };
    if (contains(exchange))
        return true;
    for (int child = 0; child < exchange->childCount(); ++child) {
        if (contains(exchange->child(child)))
            return true;
    }
    return false;
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
