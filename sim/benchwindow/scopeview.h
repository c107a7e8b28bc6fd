#pragma once

#include "scopetrace.h"
#include "signalsynthesis.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

// The bench's oscilloscope: the two channels of one capture (CH1, the BNC
// output, 0 or 1, and CH2, the antenna's envelope in % of the carrier) over
// a time axis from the trigger, in ns, µs or ms as the span shown calls for,
// with the decoded bytes written under the trace as a logic analyser writes
// them, and the bit boundaries once they are far enough apart to be told
// apart.
//
// The wheel zooms about the pointer, a drag pans, a double click shows the
// whole capture again; the keyboard zooms about the centre (+ and -), pans
// (left and right arrows) and shows the whole capture (Home). The right
// button puts cursor 1 (cursor 2 with Shift), and either cursor can be
// dragged; a cursor snaps to the nearest edge of either channel within a
// few pixels, unless Ctrl is held. Their distance is read out as Δt.
class ScopeView : public QWidget
{
    Q_OBJECT

public:
    // The shortest time window the zoom goes down to.
    static constexpr double MinimumSpanUs = 0.2;

    explicit ScopeView(QWidget *parent = nullptr);

    // Shows the capture; the time window stays where the user put it, unless
    // the whole capture was in view, in which case the new one is too. The
    // cursors go to a quarter and three quarters of a new capture, and stay
    // (inside it) when the capture shown only grew.
    void setCapture(std::shared_ptr<const Capture> capture);
    const Capture *capture() const { return m_capture.get(); }
    // The line over the trace that says what is shown and whether it follows.
    void setCaption(const QString &caption);
    QString caption() const { return m_caption; }

    void showWholeCapture();
    // A time window, in microseconds from the capture's start.
    void setView(double startUs, double spanUs);
    double viewStartUs() const { return m_startUs; }
    double viewSpanUs() const { return m_spanUs; }
    // The unit of the axis and the read-outs, chosen by the span shown.
    TimeUnit timeUnit() const { return TimeUnit::forSpan(m_spanUs); }
    // The cursors' times from the trigger and their distance, as the header
    // writes them.
    QString cursorReadout() const;

    // The time under a column of the widget, in microseconds from the
    // capture's start.
    double timeAt(double x) const;

    // Puts the cursor at that time, kept inside the capture.
    void setCursorTime(int cursor, double us);
    double cursorTime(int cursor) const { return m_cursorUs[cursor == 0 ? 0 : 1]; }

    // What CH1 shows for a MFOUTSelect source, in the words of the
    // application's visualisation page.
    static QString mfoutSourceName(quint8 source);

    QSize sizeHint() const override { return { 900, 420 }; }
    QSize minimumSizeHint() const override { return { 420, 260 }; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Layout
    {
        QRect plot;          // the traces and the byte lanes
        ScopeLane ch1;
        ScopeLane ch2;
        QRect ch1Band;
        QRect ch2Band;
        QRect readerBytes;
        QRect cardBytes;
    };

    Layout layout() const;
    ScopeWindow window(const Layout &layout) const;
    double durationUs() const;
    // Keeps the window inside the capture.
    void clampView();
    // The cursor whose line is within reach of x, or -1.
    int cursorNear(int x) const;
    // Divides the span by `factor`, the time `anchorUs` staying in place.
    void zoom(double factor, double anchorUs);
    void pan(double fractionOfSpan);
    // Puts the cursor under column x, on the nearest edge within reach
    // unless `snap` is false.
    void placeCursor(int cursor, double x, bool snap);
    void resetCursors();

    void drawHeader(QPainter &painter, const Layout &layout) const;
    void drawLabels(QPainter &painter, const Layout &layout) const;
    void drawLevelScale(QPainter &painter, const Layout &layout) const;
    void drawGrid(QPainter &painter, const Layout &layout, const ScopeWindow &window) const;
    void drawBitBoundaries(QPainter &painter, const Layout &layout, const ScopeWindow &window) const;
    void drawBytes(QPainter &painter, const QRect &lane, const std::vector<ByteMark> &marks,
                   const ScopeWindow &window, const QColor &colour) const;
    void drawCursors(QPainter &painter, const Layout &layout, const ScopeWindow &window) const;

    std::shared_ptr<const Capture> m_capture;
    std::vector<ByteMark> m_readerBytes;   // in time order
    std::vector<ByteMark> m_cardBytes;
    QString m_caption;

    double m_startUs = 0;
    double m_spanUs = 1;
    bool m_wholeView = true;
    double m_cursorUs[2] = { 0, 0 };

    enum class Drag { None, Pan, Cursor };
    Drag m_drag = Drag::None;
    int m_dragCursor = 0;
    int m_pressX = 0;
    double m_pressStartUs = 0;
};
