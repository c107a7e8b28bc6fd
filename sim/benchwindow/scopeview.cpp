#include "scopeview.h"

#include "chipregisters.h"

#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// The plot's frame, in pixels.
constexpr int LabelWidth = 150;
// What the level scale takes of the label column, at its right end.
constexpr int ScaleWidth = 36;
constexpr int ScaleTickLength = 4;
constexpr int RightMargin = 12;
constexpr int HeaderHeight = 42;
constexpr int AxisHeight = 24;
constexpr int ByteLaneHeight = 22;
constexpr int LaneGap = 8;
constexpr int TracePadding = 10;
// Closer than this to a cursor's line, a press takes the cursor.
constexpr int CursorReach = 5;
// A cursor put down this close to an edge lands on it.
constexpr int SnapPixels = 6;
// Where the cursors start on a new capture, as fractions of it.
constexpr double FirstCursorAt = 0.25;
constexpr double SecondCursorAt = 0.75;
// Bit boundaries are drawn once they are at least this far apart.
constexpr int MinimumBitPixels = 8;
// A byte narrower than this is drawn as part of a band, without its value.
constexpr double MinimumBytePixels = 6;
constexpr double WheelZoomPerNotch = 1.25;
constexpr double KeyZoomFactor = 2.0;
// An arrow key moves the view by this much of its span.
constexpr double KeyPanFraction = 0.1;
constexpr double HertzPerKilohertz = 1e3;
constexpr double HertzPerMegahertz = 1e6;
constexpr double MicrosecondsPerSecond = 1e6;
// Ticks of the time axis come about this far apart.
constexpr double TickPixels = 100;

const QColor Background(16, 20, 24);
const QColor GridColour(44, 52, 60);
const QColor TextColour(200, 205, 210);
const QColor Ch1Colour(240, 210, 60);
const QColor Ch2Colour(70, 200, 230);
const QColor ReaderByteColour(110, 210, 120);
const QColor CardByteColour(220, 130, 230);
const QColor ParityFailedColour(240, 70, 60);  // a parity or CRC check that failed
const QColor CollisionColour(255, 140, 0);       // bits the answering cards disagreed on
const QColor BitColour(120, 130, 140);
const QColor TriggerColour(255, 150, 40);
const QColor CursorColours[2] = { QColor(255, 110, 110), QColor(120, 170, 255) };

QLocale french()
{
    static const QLocale locale(QLocale::French, QLocale::France);
    return locale;
}

QString frequencyText(double hertz)
{
    if (hertz >= HertzPerMegahertz)
        return french().toString(hertz / HertzPerMegahertz, 'f', 3) + QStringLiteral(" MHz");
    if (hertz >= HertzPerKilohertz)
        return french().toString(hertz / HertzPerKilohertz, 'f', 2) + QStringLiteral(" kHz");
    return french().toString(hertz, 'f', 1) + QStringLiteral(" Hz");
}

// 1, 2 or 5 times a power of ten, at least `raw`.
double niceStep(double raw)
{
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : { 1.0, 2.0, 5.0, 10.0 }) {
        if (factor * power >= raw)
            return factor * power;
    }
    return 10 * power;
}

// The marks of one direction that reach into the window, in time order.
std::pair<std::size_t, std::size_t> visibleMarks(const std::vector<ByteMark> &marks, const ScopeWindow &window)
{
    const auto first = std::partition_point(marks.begin(), marks.end(),
                                            [&](const ByteMark &mark) { return mark.endUs <= window.startUs; });
    const auto last = std::partition_point(first, marks.end(),
                                           [&](const ByteMark &mark) { return mark.startUs < window.endUs(); });
    return { std::size_t(first - marks.begin()), std::size_t(last - marks.begin()) };
}

QString byteText(const ByteMark &mark)
{
    QString text = QStringLiteral("%1").arg(mark.value, 2, 16, QLatin1Char('0')).toUpper();
    if (mark.parity == DecodedFrame::Check::Failed)
        text += QLatin1Char('!');
    if (mark.collided)
        text += QLatin1Char('?');  // the cards' bits superposed: no one card's value
    return text;
}

} // namespace

ScopeView::ScopeView(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::WheelFocus);
    setToolTip(tr("Molette : zoom autour du pointeur · glisser : déplacer · double clic : capture entière\n"
                  "Clavier : + et - zoom autour du centre · ← et → déplacer · Début : capture entière\n"
                  "Clic droit : curseur 1 · Maj + clic droit : curseur 2 · glisser un curseur pour le déplacer\n"
                  "Un curseur se cale sur le front le plus proche ; Ctrl enfoncé : placement libre"));
}

QString ScopeView::mfoutSourceName(quint8 source)
{
    using namespace MFOUTSelectBits;
    switch (source & SourceMask) {
    case ConstantLow: return tr("Niveau bas");
    case ConstantHigh: return tr("Niveau haut");
    case ModulationSignal: return tr("Données codées");
    case SerialDataStream: return tr("Données brutes");
    case ManchesterWithSubcarrier: return tr("Données démodulées Manchester sous-porteuse");
    case Manchester: return tr("Données démodulées Manchester");
    default: return tr("Source réservée");
    }
}

void ScopeView::setCapture(std::shared_ptr<const Capture> capture)
{
    // An inventory's capture is made again as its slot pulses join it: the
    // same capture, grown, which keeps the cursors where the user put them.
    const bool grown = m_capture && capture && capture->firstSerial == m_capture->firstSerial
        && capture->startNs == m_capture->startNs;
    m_capture = std::move(capture);
    m_readerBytes.clear();
    m_cardBytes.clear();
    if (m_capture) {
        for (const ByteMark &mark : m_capture->bytes) {
            (mark.direction == DecodedFrame::Direction::ReaderToCard ? m_readerBytes : m_cardBytes).push_back(mark);
        }
        const auto byStart = [](const ByteMark &a, const ByteMark &b) { return a.startUs < b.startUs; };
        std::stable_sort(m_readerBytes.begin(), m_readerBytes.end(), byStart);
        std::stable_sort(m_cardBytes.begin(), m_cardBytes.end(), byStart);
    }
    if (grown) {
        for (double &cursor : m_cursorUs)
            cursor = std::clamp(cursor, 0.0, durationUs());
    } else {
        resetCursors();
    }
    if (m_wholeView)
        showWholeCapture();
    else
        clampView();
    update();
}

void ScopeView::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    update();
}

double ScopeView::durationUs() const
{
    return m_capture && m_capture->durationUs > 0 ? m_capture->durationUs : 1.0;
}

void ScopeView::showWholeCapture()
{
    m_wholeView = true;
    m_startUs = 0;
    m_spanUs = durationUs();
    update();
}

void ScopeView::setView(double startUs, double spanUs)
{
    m_startUs = startUs;
    m_spanUs = spanUs;
    clampView();
    m_wholeView = m_spanUs >= durationUs();
    update();
}

void ScopeView::clampView()
{
    const double duration = durationUs();
    if (!std::isfinite(m_spanUs) || !std::isfinite(m_startUs)) {
        m_startUs = 0;
        m_spanUs = duration;
    }
    m_spanUs = std::clamp(m_spanUs, std::min(MinimumSpanUs, duration), duration);
    m_startUs = std::clamp(m_startUs, 0.0, duration - m_spanUs);
}

double ScopeView::timeAt(double x) const
{
    return window(layout()).time(x);
}

void ScopeView::setCursorTime(int cursor, double us)
{
    if (!std::isfinite(us))
        return;
    m_cursorUs[cursor == 0 ? 0 : 1] = std::clamp(us, 0.0, durationUs());
    update();
}

void ScopeView::resetCursors()
{
    m_cursorUs[0] = FirstCursorAt * durationUs();
    m_cursorUs[1] = SecondCursorAt * durationUs();
}

void ScopeView::placeCursor(int cursor, double x, bool snap)
{
    const ScopeWindow win = window(layout());
    const double us = win.time(x);
    std::optional<double> edge;
    if (snap && m_capture) {
        const double reach = SnapPixels * win.usPerPixel;
        for (const Waveform *wave : { &m_capture->mfout, &m_capture->antenna }) {
            const std::optional<double> near = nearestChange(*wave, us, reach);
            if (near && (!edge || std::abs(*near - us) < std::abs(*edge - us)))
                edge = near;
        }
    }
    setCursorTime(cursor, edge.value_or(us));
}

ScopeView::Layout ScopeView::layout() const
{
    Layout result;
    const int top = HeaderHeight;
    const int bottom = std::max(top + 4 * ByteLaneHeight, height() - AxisHeight);
    result.plot = QRect(QPoint(LabelWidth, top), QPoint(std::max(LabelWidth + 1, width() - RightMargin), bottom));
    result.cardBytes = QRect(result.plot.left(), bottom - ByteLaneHeight, result.plot.width(), ByteLaneHeight);
    result.readerBytes = result.cardBytes.translated(0, -ByteLaneHeight - 2);
    const int tracesBottom = result.readerBytes.top() - LaneGap;
    const int tracesHeight = std::max(2 * TracePadding + 2, tracesBottom - top - LaneGap);
    const int ch1Height = tracesHeight * 2 / 5;
    result.ch1Band = QRect(result.plot.left(), top, result.plot.width(), ch1Height);
    result.ch2Band = QRect(result.plot.left(), top + ch1Height + LaneGap, result.plot.width(),
                           tracesHeight - ch1Height);
    result.ch1 = { double(result.ch1Band.bottom() - TracePadding), double(result.ch1Band.top() + TracePadding), 0.0f, 1.0f };
    result.ch2 = { double(result.ch2Band.bottom() - TracePadding), double(result.ch2Band.top() + TracePadding), 0.0f, 1.0f };
    return result;
}

ScopeWindow ScopeView::window(const Layout &layout) const
{
    ScopeWindow result;
    result.left = layout.plot.left();
    result.width = std::max(1, layout.plot.width());
    result.startUs = m_startUs;
    result.usPerPixel = m_spanUs / result.width;
    return result;
}

void ScopeView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Background);
    const Layout lay = layout();
    const ScopeWindow win = window(lay);
    drawHeader(painter, lay);
    drawLabels(painter, lay);
    if (!m_capture) {
        painter.setPen(TextColour);
        painter.drawText(lay.plot, Qt::AlignCenter, tr("En attente d'un échange sur l'air…"));
        return;
    }
    drawGrid(painter, lay, win);
    drawLevelScale(painter, lay);
    drawBitBoundaries(painter, lay, win);

    painter.save();
    painter.setClipRect(lay.plot);
    painter.setPen(QPen(Ch1Colour, 1));
    const std::vector<QLineF> ch1 = traceSegments(m_capture->mfout, win, lay.ch1);
    painter.drawLines(ch1.data(), int(ch1.size()));
    painter.setPen(QPen(Ch2Colour, 1));
    const std::vector<QLineF> ch2 = traceSegments(m_capture->antenna, win, lay.ch2);
    painter.drawLines(ch2.data(), int(ch2.size()));
    drawBytes(painter, lay.readerBytes, m_readerBytes, win, ReaderByteColour);
    drawBytes(painter, lay.cardBytes, m_cardBytes, win, CardByteColour);

    // The trigger: where the capture's first exchange starts.
    const double trigger = win.x(m_capture->triggerUs);
    const QPointF marker[] = { { trigger - 5, double(lay.plot.top()) }, { trigger + 5, double(lay.plot.top()) },
                               { trigger, double(lay.plot.top() + 7) } };
    painter.setPen(Qt::NoPen);
    painter.setBrush(TriggerColour);
    painter.drawPolygon(marker, 3);
    painter.restore();

    drawCursors(painter, lay, win);
}

void ScopeView::drawHeader(QPainter &painter, const Layout &layout) const
{
    painter.setPen(TextColour);
    const QRect first(6, 2, width() - 12, HeaderHeight / 2 - 2);
    painter.drawText(first, Qt::AlignLeft | Qt::AlignVCenter,
                     painter.fontMetrics().elidedText(m_caption, Qt::ElideRight, first.width()));
    if (!m_capture)
        return;
    const QRect second(6, HeaderHeight / 2, width() - 12, HeaderHeight / 2 - 4);
    painter.setPen(CursorColours[0]);
    painter.drawText(second, Qt::AlignRight | Qt::AlignVCenter, cursorReadout());
    painter.setPen(TextColour);
    const double resolution = m_spanUs / std::max(1, layout.plot.width());
    painter.drawText(second, Qt::AlignLeft | Qt::AlignVCenter,
                     tr("Vue : %1 de %2").arg(timeUnit().text(m_spanUs, resolution),
                                              TimeUnit::readable(m_capture->durationUs)));
}

QString ScopeView::cursorReadout() const
{
    const TimeUnit unit = timeUnit();
    const double resolution = m_spanUs / std::max(1, layout().plot.width());
    const double trigger = m_capture ? m_capture->triggerUs : 0.0;
    const double delta = m_cursorUs[1] - m_cursorUs[0];
    QString readout = tr("C1 %1   C2 %2   Δt %3")
                          .arg(unit.text(m_cursorUs[0] - trigger, resolution),
                               unit.text(m_cursorUs[1] - trigger, resolution), unit.text(delta, resolution));
    if (std::abs(delta) >= resolution)
        readout += tr("   1/Δt %1").arg(frequencyText(MicrosecondsPerSecond / std::abs(delta)));
    return readout;
}

void ScopeView::drawLabels(QPainter &painter, const Layout &layout) const
{
    const auto label = [&](const QRect &band, const QColor &colour, const QString &title, const QString &detail) {
        const QRect area(4, band.top(), LabelWidth - 10 - ScaleWidth, band.height());
        painter.setPen(colour);
        QFont bold = painter.font();
        bold.setBold(true);
        painter.save();
        painter.setFont(bold);
        painter.drawText(area, Qt::AlignLeft | Qt::AlignTop, title);
        painter.restore();
        painter.setPen(TextColour);
        const int titleHeight = painter.fontMetrics().height();
        painter.drawText(area.adjusted(0, titleHeight, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, detail);
    };
    const quint8 source = m_capture ? m_capture->mfoutSelect : MFOUTSelectBits::ConstantLow;
    label(layout.ch1Band, Ch1Colour, tr("CH1  MFOUT"), m_capture ? mfoutSourceName(source) : QString());
    label(layout.ch2Band, Ch2Colour, tr("CH2  antenne"), tr("enveloppe du champ"));
    painter.setPen(ReaderByteColour);
    painter.drawText(QRect(4, layout.readerBytes.top(), LabelWidth - 10, layout.readerBytes.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, tr("→ lecteur"));
    painter.setPen(CardByteColour);
    painter.drawText(QRect(4, layout.cardBytes.top(), LabelWidth - 10, layout.cardBytes.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, tr("← carte"));
}

void ScopeView::drawLevelScale(QPainter &painter, const Layout &layout) const
{
    struct Level
    {
        float level;
        QString text;
    };
    const auto scale = [&](const ScopeLane &lane, const std::vector<Level> &levels) {
        const QFontMetrics metrics = painter.fontMetrics();
        const int right = layout.plot.left() - ScaleTickLength - 2;
        for (const Level &level : levels) {
            const double y = lane.y(level.level);
            painter.setPen(QPen(GridColour, 1, Qt::DotLine));
            painter.drawLine(QPointF(layout.plot.left(), y), QPointF(layout.plot.right(), y));
            painter.setPen(TextColour);
            painter.drawLine(QPointF(layout.plot.left() - ScaleTickLength, y), QPointF(layout.plot.left(), y));
            const int textWidth = metrics.horizontalAdvance(level.text);
            painter.drawText(QPointF(right - textWidth, y + (metrics.ascent() - metrics.descent()) / 2.0), level.text);
        }
    };
    // CH1 is a logic level; CH2 the envelope, 1 being the full carrier.
    scale(layout.ch1, { { 0.0f, QStringLiteral("0") }, { 1.0f, QStringLiteral("1") } });
    scale(layout.ch2, { { 0.0f, QStringLiteral("0 %") }, { 0.5f, QStringLiteral("50 %") },
                        { 1.0f, QStringLiteral("100 %") } });
}

void ScopeView::drawGrid(QPainter &painter, const Layout &layout, const ScopeWindow &window) const
{
    painter.setPen(GridColour);
    painter.drawRect(layout.ch1Band);
    painter.drawRect(layout.ch2Band);
    // Ticks at round times from the trigger.
    const double trigger = m_capture->triggerUs;
    const double step = niceStep(window.usPerPixel * TickPixels);
    if (!(step > 0) || !std::isfinite(step))
        return;
    const TimeUnit unit = timeUnit();
    const double firstTick = std::ceil((window.startUs - trigger) / step) * step;
    const int axisY = layout.plot.bottom() + 2;
    for (double tick = firstTick; trigger + tick <= window.endUs(); tick += step) {
        const double x = window.x(trigger + tick);
        painter.setPen(GridColour);
        painter.drawLine(QPointF(x, layout.plot.top()), QPointF(x, layout.ch2Band.bottom()));
        painter.setPen(TextColour);
        const QString text = unit.text(tick, step);
        const int textWidth = painter.fontMetrics().horizontalAdvance(text);
        const double textX = std::clamp(x - textWidth / 2.0, 0.0, double(width() - textWidth));
        painter.drawText(QPointF(textX, axisY + painter.fontMetrics().ascent() + 2), text);
    }
}

void ScopeView::drawBitBoundaries(QPainter &painter, const Layout &layout, const ScopeWindow &window) const
{
    const auto [first, last] = visibleRange(m_capture->bitStartsUs, window);
    if (last == first || double(last - first) * MinimumBitPixels > window.width)
        return;
    // Neighbours closer than the minimum (the reader's last bit and the
    // answer's first) are a sign that the view is still too wide.
    for (std::size_t i = first + 1; i < last; ++i) {
        if ((m_capture->bitStartsUs[i] - m_capture->bitStartsUs[i - 1]) / window.usPerPixel < MinimumBitPixels / 2.0)
            return;
    }
    QPen pen(BitColour, 1, Qt::DotLine);
    painter.setPen(pen);
    for (std::size_t i = first; i < last; ++i) {
        const double x = window.x(m_capture->bitStartsUs[i]);
        painter.drawLine(QPointF(x, layout.ch1Band.top()), QPointF(x, layout.ch2Band.bottom()));
    }
}

void ScopeView::drawBytes(QPainter &painter, const QRect &lane, const std::vector<ByteMark> &marks,
                          const ScopeWindow &window, const QColor &colour) const
{
    const auto [first, last] = visibleMarks(marks, window);
    const double top = lane.top() + 2;
    const double bottom = lane.bottom() - 2;
    const double middle = (top + bottom) / 2;
    QColor fill = colour;
    fill.setAlpha(60);
    QColor failedFill = ParityFailedColour;
    failedFill.setAlpha(90);
    QColor collidedFill = CollisionColour;
    collidedFill.setAlpha(70);
    QColor hatch = CollisionColour;
    hatch.setAlpha(140);
    // What a byte's box shows: a collision over a failed check (parity, or
    // CRC on the frame's last two bytes) over nothing to say.
    enum class Flag { None, Failed, Collided };
    const auto flagOf = [](const ByteMark &mark) {
        if (mark.collided)
            return Flag::Collided;
        if (mark.parity == DecodedFrame::Check::Failed || mark.crc == DecodedFrame::Check::Failed)
            return Flag::Failed;
        return Flag::None;
    };
    // Bytes too narrow to write are gathered in bands, one rectangle each,
    // in the colour of the worst of them.
    double bandStart = -1;
    double bandEnd = -1;
    Flag bandFlag = Flag::None;
    const auto flushBand = [&] {
        if (bandStart < 0)
            return;
        painter.setPen(Qt::NoPen);
        painter.setBrush(bandFlag == Flag::Collided ? collidedFill : bandFlag == Flag::Failed ? failedFill : fill);
        painter.drawRect(QRectF(bandStart, top, std::max(1.0, bandEnd - bandStart), bottom - top));
        bandStart = -1;
        bandFlag = Flag::None;
    };
    const QFontMetrics metrics = painter.fontMetrics();
    for (std::size_t i = first; i < last; ++i) {
        const ByteMark &mark = marks[i];
        const double x0 = window.x(mark.startUs);
        const double x1 = window.x(mark.endUs);
        if (x1 - x0 < MinimumBytePixels) {
            if (bandStart >= 0 && x0 > bandEnd + 2)
                flushBand();
            if (bandStart < 0)
                bandStart = x0;
            bandEnd = x1;
            bandFlag = std::max(bandFlag, flagOf(mark));
            continue;
        }
        flushBand();
        const Flag flag = flagOf(mark);
        const bool failed = flag != Flag::None;
        const QColor &edge = flag == Flag::Collided ? CollisionColour : ParityFailedColour;
        const double slant = std::min(3.0, (x1 - x0) / 4);
        const QPointF box[] = { { x0, middle }, { x0 + slant, top }, { x1 - slant, top },
                                { x1, middle }, { x1 - slant, bottom }, { x0 + slant, bottom } };
        painter.setPen(failed ? edge : colour);
        painter.setBrush(flag == Flag::Collided ? collidedFill : failed ? failedFill : fill);
        painter.drawPolygon(box, 6);
        if (flag == Flag::Collided) {
            // Hatched as well: a collision reads apart from a failed check
            // without relying on the colour alone.
            painter.setPen(Qt::NoPen);
            painter.setBrush(QBrush(hatch, Qt::BDiagPattern));
            painter.drawPolygon(box, 6);
        }
        QString text = byteText(mark);
        if (mark.bits < 8) {
            const QString longer = tr("%1 (%2 bits)").arg(text).arg(mark.bits);
            if (metrics.horizontalAdvance(longer) + 2 * slant + 2 <= x1 - x0)
                text = longer;
        }
        if (metrics.horizontalAdvance(text) + 2 * slant <= x1 - x0) {
            painter.setPen(failed ? edge : TextColour);
            painter.drawText(QRectF(x0, top, x1 - x0, bottom - top), Qt::AlignCenter, text);
        }
    }
    flushBand();
}

void ScopeView::drawCursors(QPainter &painter, const Layout &layout, const ScopeWindow &window) const
{
    painter.save();
    painter.setClipRect(layout.plot.adjusted(0, -2, 0, 0));
    for (int cursor = 0; cursor < 2; ++cursor) {
        const double x = window.x(m_cursorUs[cursor]);
        painter.setPen(QPen(CursorColours[cursor], 1, Qt::DashLine));
        painter.drawLine(QPointF(x, layout.plot.top()), QPointF(x, layout.plot.bottom()));
        painter.setPen(CursorColours[cursor]);
        painter.drawText(QPointF(x + 3, layout.plot.top() + painter.fontMetrics().ascent()),
                         cursor == 0 ? QStringLiteral("C1") : QStringLiteral("C2"));
    }
    painter.restore();
}

int ScopeView::cursorNear(int x) const
{
    const ScopeWindow win = window(layout());
    int nearest = -1;
    double best = CursorReach + 1;
    for (int cursor = 0; cursor < 2; ++cursor) {
        const double distance = std::abs(win.x(m_cursorUs[cursor]) - x);
        if (distance <= CursorReach && distance < best) {
            best = distance;
            nearest = cursor;
        }
    }
    return nearest;
}

void ScopeView::wheelEvent(QWheelEvent *event)
{
    if (!m_capture) {
        event->ignore();
        return;
    }
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) {
        event->ignore();
        return;
    }
    // The time under the pointer stays under it.
    zoom(std::pow(WheelZoomPerNotch, notches), timeAt(event->position().x()));
    event->accept();
}

void ScopeView::zoom(double factor, double anchorUs)
{
    const double span = std::clamp(m_spanUs / factor, std::min(MinimumSpanUs, durationUs()), durationUs());
    setView(anchorUs - (anchorUs - m_startUs) * span / m_spanUs, span);
}

void ScopeView::pan(double fractionOfSpan)
{
    setView(m_startUs + fractionOfSpan * m_spanUs, m_spanUs);
}

void ScopeView::keyPressEvent(QKeyEvent *event)
{
    if (!m_capture) {
        QWidget::keyPressEvent(event);
        return;
    }
    const double centre = m_startUs + m_spanUs / 2;
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:  // + without Shift on many layouts
        zoom(KeyZoomFactor, centre);
        break;
    case Qt::Key_Minus:
        zoom(1 / KeyZoomFactor, centre);
        break;
    case Qt::Key_Left:
        pan(-KeyPanFraction);
        break;
    case Qt::Key_Right:
        pan(KeyPanFraction);
        break;
    case Qt::Key_Home:
        showWholeCapture();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ScopeView::mousePressEvent(QMouseEvent *event)
{
    if (!m_capture)
        return;
    const int x = qRound(event->position().x());
    if (event->button() == Qt::RightButton) {
        const int cursor = event->modifiers() & Qt::ShiftModifier ? 1 : 0;
        placeCursor(cursor, x, !(event->modifiers() & Qt::ControlModifier));
        m_drag = Drag::Cursor;
        m_dragCursor = cursor;
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    const int cursor = cursorNear(x);
    if (cursor >= 0) {
        m_drag = Drag::Cursor;
        m_dragCursor = cursor;
        return;
    }
    m_drag = Drag::Pan;
    m_pressX = x;
    m_pressStartUs = m_startUs;
    setCursor(Qt::ClosedHandCursor);
}

void ScopeView::mouseMoveEvent(QMouseEvent *event)
{
    const int x = qRound(event->position().x());
    const ScopeWindow win = window(layout());
    switch (m_drag) {
    case Drag::Pan:
        m_startUs = m_pressStartUs - (x - m_pressX) * win.usPerPixel;
        clampView();
        m_wholeView = false;
        update();
        break;
    case Drag::Cursor:
        placeCursor(m_dragCursor, x, !(event->modifiers() & Qt::ControlModifier));
        break;
    case Drag::None:
        if (m_capture && cursorNear(x) >= 0)
            setCursor(Qt::SizeHorCursor);
        else
            unsetCursor();
        break;
    }
}

void ScopeView::mouseReleaseEvent(QMouseEvent *)
{
    m_drag = Drag::None;
    unsetCursor();
}

void ScopeView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        showWholeCapture();
}
