#pragma once

#include "benchfeed.h"
#include "capturehistory.h"
#include "cardargument.h"

#include <QMainWindow>
#include <QTimer>

#include <memory>

class AirLogView;
class FieldCardsPanel;
class PtyBoard;
class QAction;
class QLabel;
class ScopeView;

// The virtual bench as an instrument: a scope on the board's BNC output and
// on the antenna, the protocol analyser's log of the frames on the air, and
// the cards in the field. It watches the board it is given through a
// BenchFeed on a timer, and touches the chip and its field only through the
// board's withBoard().
class BenchWindow : public QMainWindow
{
    Q_OBJECT

public:
    // How often the window looks at the board.
    static constexpr int PollIntervalMs = 40;

    explicit BenchWindow(PtyBoard &board, QWidget *parent = nullptr);
    ~BenchWindow() override;

    // Lists a card (and puts it in the field unless it is there already).
    void addCard(const CardArgument::Parsed &card);

    ScopeView *scope() const { return m_scope; }
    AirLogView *airLog() const { return m_log; }
    FieldCardsPanel *cards() const { return m_cards; }

    // Whether the scope shows each new capture as it comes, or holds the
    // one chosen in the log.
    bool following() const { return m_following; }
    void setFollowing(bool following);
    // Holds the scope on the capture of that exchange; false when the
    // history no longer has it.
    bool showExchange(quint64 serial);

    // Exports; false, with the reason in lastError(), when nothing was written.
    bool exportScopePng(const QString &path);
    bool exportCaptureVcd(const QString &path);
    bool exportAirLogCsv(const QString &path);
    QString lastError() const { return m_lastError; }

private:
    void poll();
    void showCapture(const CaptureHistory::Entry &entry);
    void updateCaption();
    void askAndExport(const QString &title, const QString &filter, const QString &suffix,
                      bool (BenchWindow::*write)(const QString &));

    PtyBoard &m_board;
    BenchFeed m_feed;
    CaptureHistory m_history;
    QTimer m_poll;

    ScopeView *m_scope = nullptr;
    AirLogView *m_log = nullptr;
    FieldCardsPanel *m_cards = nullptr;
    QAction *m_followAction = nullptr;
    QLabel *m_mode = nullptr;

    bool m_following = true;
    quint64 m_heldSerial = 0;
    // The capture on the scope: its first exchange and how many it had.
    quint64 m_shownSerial = 0;
    std::size_t m_shownExchanges = 0;
    QString m_shownSummary;
    std::size_t m_lostExchanges = 0;
    QString m_lastError;
};
