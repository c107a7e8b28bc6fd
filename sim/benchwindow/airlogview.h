#pragma once

#include "signalsynthesis.h"

#include <QByteArray>
#include <QTreeWidget>

#include <deque>
#include <vector>

// The protocol analyser's log: one row per exchange, newest last, with its
// summary ("REQA → ATQA 04 00"), and under it its frames: time, direction,
// bits, hex, parity, CRC and meaning. It keeps the most recent exchanges
// only, so that a bench left running for hours stays light.
class AirLogView : public QTreeWidget
{
    Q_OBJECT

public:
    static constexpr int DefaultLimit = 2000;

    enum Column { Time, Meaning, Direction, Bits, Hex, Parity, Crc, ColumnCount };

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

signals:
    // The user chose the row of this exchange, or of one of its frames.
    void exchangeChosen(quint64 serial);

private:
    void addFrame(QTreeWidgetItem *row, const DecodedFrame &frame);
    void chosen(QTreeWidgetItem *current);

    std::deque<std::vector<DecodedFrame>> m_frames;  // one entry per top-level row
    int m_limit;
    bool m_quiet = false;  // changes of the current row made here, not by the user
};
