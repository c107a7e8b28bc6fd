#pragma once

#include "signalsynthesis.h"

#include <QByteArray>
#include <QTreeWidget>

#include <deque>
#include <vector>

// The protocol analyser's log: one row per exchange, newest last, with its
// summary ("REQA → ATQA 04 00"), and under it its frames: time, direction,
// bits, hex, parity, CRC and meaning. Each row also has its measurements:
// its end and duration, the gap to the frame before it, and the standard's
// timings measured on it, in red when one is out of its limits. It keeps
// the most recent exchanges only, so that a bench left running for hours
// stays light, and it can hide the exchanges a filter leaves out.
class AirLogView : public QTreeWidget
{
    Q_OBJECT

public:
    static constexpr int DefaultLimit = 2000;

    // Time is where the row starts, on the air clock; Timings the
    // standard's timings measured on it.
    enum Column { Exchange, Time, Meaning, Direction, Bits, Hex, Parity, Crc, End, Duration, Gap, Timings, ColumnCount };

    explicit AirLogView(QWidget *parent = nullptr, int limit = DefaultLimit);

    // Adds the exchange's row last; the caller brings it into sight, once
    // for a whole batch.
    void addExchange(const DecodedExchange &decoded);
    // Forgets which row was chosen, without telling anyone.
    void clearChoice();
    // The serial of the exchange a row belongs to (its own, or its parent's).
    static quint64 serialOf(const QTreeWidgetItem *item);

    // Every frame in the log, as CSV.
    QByteArray csv() const;

    // Shows only the exchanges one of whose texts, or one of whose frames'
    // texts, contains `text` (whatever the case; every exchange when it is
    // empty), and with `errorsOnly` only those with a frame that failed a
    // check. It applies to the exchanges still to come too.
    void setFilter(const QString &text, bool errorsOnly);

signals:
    // The user chose the row of this exchange, or of one of its frames.
    void exchangeChosen(quint64 serial);

private:
    void addFrame(QTreeWidgetItem *row, const DecodedFrame &frame);
    void chosen(QTreeWidgetItem *current);
    bool passesFilter(int row) const;
    // Widens the columns the row's texts, or its frames', would not fit in.
    void widenColumnsFor(const QTreeWidgetItem *row);
    static void setTimes(QTreeWidgetItem *item, qint64 startNs, qint64 endNs, qint64 gapNs);
    static void setTimings(QTreeWidgetItem *item, const std::vector<TimingCheck> &checks, bool summary);

    std::deque<std::vector<DecodedFrame>> m_frames;  // one entry per top-level row
    int m_limit;
    bool m_quiet = false;  // changes of the current row made here, not by the user
    QString m_filter;
    bool m_errorsOnly = false;
};
