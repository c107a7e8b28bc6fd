#pragma once

#include "scopetrace.h"
#include "signalsynthesis.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

// The bench's oscilloscope: the two channels of one capture (CH1, the BNC
// output, and CH2, the antenna's envelope) over a time axis in microseconds
// from the trigger, with the decoded bytes written under the trace as a
// logic analyser writes them, and the bit boundaries once they are far
// enough apart to be told apart.
//
// The wheel zooms about the pointer, a drag pans, a double click shows the
// whole capture again; the right button puts cursor 1 (cursor 2 with Shift),
// and either cursor can be dragged. Their distance is read out as Δt.
class ScopeView : public QWidget
{
    Q_OBJECT

public:
    // The shortest time window the zoom goes down to.
    static constexpr double MinimumSpanUs = 0.2;

    explicit ScopeView(QWidget *parent = nullptr);

    // Shows the capture; the time window stays where the user put it, unless
    // the whole capture was in view, in which case the new one is too.
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

    // The time under a column of the widget, in microseconds from the
    // capture's start.
    double timeAt(double x) const;

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

    void drawHeader(QPainter &painter, const Layout &layout) const;
    void drawLabels(QPainter &painter, const Layout &layout) const;
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
    bool m_cursorsPlaced = false;

    enum class Drag { None, Pan, Cursor };
    Drag m_drag = Drag::None;
    int m_dragCursor = 0;
    int m_pressX = 0;
    double m_pressStartUs = 0;
};
