#pragma once

#include "benchfeed.h"
#include "captureexport.h"
#include "capturehistory.h"
#include "cardargument.h"

#include <QMainWindow>
#include <QTimer>

#include <memory>

class AirLogView;
class FieldCardsPanel;
class PtyBoard;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QToolBar;
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

    // A selective trigger arms the scope: it keeps what it shows until an
    // exchange matches, then shows that exchange's capture and holds it
    // (following again re-arms it). A trigger on any exchange follows them
    // all. Setting a trigger follows (or re-arms).
    void setTrigger(const CaptureTrigger &trigger);
    CaptureTrigger trigger() const { return m_trigger; }
    // Following, with a selective trigger: waiting for a match.
    bool armed() const { return m_following && m_trigger.selective(); }
    // Holding the capture a trigger matched.
    bool triggered() const { return m_triggered; }

    // Exports; false, with the reason in lastError(), when nothing was written.
    bool exportScopePng(const QString &path);
    // The shown capture: its logic lanes as VCD, the same with the
    // antenna's envelope and the bytes, its type A frames as pcapng.
    bool exportCaptureVcd(const QString &path);
    bool exportCaptureDetailedVcd(const QString &path);
    bool exportCapturePcapng(const QString &path);
    bool exportAirLogCsv(const QString &path);
    QString lastError() const { return m_lastError; }

private:
    void poll();
    void addTriggerControls(QToolBar *tools);
    QWidget *makeLogHeader(QWidget *parent);
    // The trigger the controls say, set.
    void triggerFromControls();
    void applyFilter();
    void holdTriggered(quint64 serial);
    void showCapture(const CaptureHistory::Entry &entry);
    void updateCaption();
    // The exchanges of the capture on the scope, or null (with lastError()
    // set) when there is none or the history no longer keeps it.
    const CaptureHistory::Entry *shownEntry();
    bool exportVcd(const QString &path, VcdWriter::Layout layout);
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
    QComboBox *m_triggerKind = nullptr;
    QLineEdit *m_triggerCommand = nullptr;
    QLineEdit *m_filter = nullptr;
    QCheckBox *m_errorsOnly = nullptr;

    bool m_following = true;
    CaptureTrigger m_trigger;
    bool m_triggered = false;
    quint64 m_heldSerial = 0;
    // The capture on the scope: its first exchange and how many it had.
    quint64 m_shownSerial = 0;
    std::size_t m_shownExchanges = 0;
    QString m_shownSummary;
    std::size_t m_lostExchanges = 0;
    QString m_lastError;
};
