#include "ptyboard.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr char WakeToStop = 'q';
constexpr char WakeToUnplug = 'u';
// How long a write to a host that does not read may wait before the bytes
// are dropped, as a real board's transmit buffer would overflow.
constexpr int SendTimeoutMs = 1000;

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

qint64 steadyNs()
{
    return qint64(std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count());
}

} // namespace

PtyBoard::PtyBoard() = default;

PtyBoard::~PtyBoard()
{
    stop();
}

void PtyBoard::setTiming(const BoardTiming &timing)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timing = timing;
    m_engine.chip().setRealTime(timing.realTime);
}

bool PtyBoard::start()
{
    if (m_thread.joinable())
        return true;
    char name[128] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // A serial line carries bytes untouched: no echo, no line editing.
    termios raw {};
    if (::tcgetattr(m_slave, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(m_slave, TCSANOW, &raw);
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    if (::pipe(m_wake) != 0 || ::pipe(m_drainPipe) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        closeFd(m_master);
        closeFd(m_slave);
        closeFd(m_wake[0]);
        closeFd(m_wake[1]);
        return false;
    }
    // Many drain requests may be waiting at once; the board takes them all
    // in one go and must not block on an emptied pipe, nor a caller on a
    // full one, which already holds a request.
    for (int end : m_drainPipe)
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
    m_devicePath = QString::fromLocal8Bit(name);
    m_stopping = false;
    m_thread = std::thread([this] {
        // The line's pace is a tenth of a millisecond a byte: sleeps must not
        // be rounded up to the kernel's usual slack.
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
        serve();
    });
    return true;
}

void PtyBoard::stop()
{
    if (m_thread.joinable()) {
        m_stopping = true;
        const char wake = WakeToStop;
        [[maybe_unused]] const auto written = ::write(m_wake[1], &wake, 1);
        m_thread.join();
    }
    closeFd(m_master);
    closeFd(m_slave);
    closeFd(m_wake[0]);
    closeFd(m_wake[1]);
    closeFd(m_drainPipe[0]);
    closeFd(m_drainPipe[1]);
}

void PtyBoard::unplug()
{
    if (!m_thread.joinable() || m_hungUp)
        return;
    m_unplugRequested = true;
    const char wake = WakeToUnplug;
    [[maybe_unused]] const auto written = ::write(m_wake[1], &wake, 1);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_progress.wait_for(lock, std::chrono::seconds(5), [this] { return m_hungUp.load(); });
}

bool PtyBoard::waitForHandshakes(std::size_t count, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_progress.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return m_engine.handshakeCount() >= count; });
}

bool PtyBoard::waitUntilDrained(int timeoutMs)
{
    // The kernel hands the host's bytes to the board's end of the line a
    // little later, not at once, and nothing on the board's end tells that
    // some are still on their way. A read does: it waits for the hand-over
    // in progress. So the board thread is asked to read until the line is
    // empty, and says when it has.
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_thread.joinable() || m_master < 0 || m_hungUp)
        return true;
    const quint64 ticket = ++m_drainRequests;
    const char request = 'd';
    if (::write(m_drainPipe[1], &request, 1) != 1 && errno != EAGAIN)
        return false;
    return m_progress.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return m_drainsDone >= ticket || m_hungUp; });
}

void PtyBoard::serve()
{
    while (!m_stopping) {
        // Once hung up the master is -1, which poll() passes over.
        pollfd fds[3] = { { m_master, POLLIN, 0 }, { m_wake[0], POLLIN, 0 }, { m_drainPipe[0], POLLIN, 0 } };
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents & POLLIN) {
            char wake = 0;
            [[maybe_unused]] const auto got = ::read(m_wake[0], &wake, 1);
            if (wake == WakeToUnplug && !m_hungUp)
                hangUp();
            continue;
        }
        if (fds[2].revents & POLLIN) {
            drain();
            continue;
        }
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        const Input input = takeInput();
        if (input == Input::Stop)
            break;
        // Nothing to read after all (or a hang-up the held slave should
        // prevent): do not spin on it. A wake-up goes round the loop, where
        // an unplug is carried out.
        if (input == Input::Nothing && !pause(10) && m_stopping)
            break;
    }
}

PtyBoard::Input PtyBoard::takeInput()
{
    char buffer[256];
    ssize_t count = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        count = m_master < 0 ? 0 : ::read(m_master, buffer, sizeof buffer);
    }
    if (count <= 0)
        return Input::Nothing;

    // In real time each byte reaches the board one byte time after the one
    // before it, and no sooner than it was read.
    std::vector<qint64> arrivals;
    if (m_timing.realTime) {
        const qint64 now = steadyNs();
        for (ssize_t i = 0; i < count; ++i) {
            m_hostLineFreeNs = std::max(now, m_hostLineFreeNs) + BoardTiming::ByteNs;
            arrivals.push_back(m_hostLineFreeNs);
        }
    }
    for (ssize_t i = 0; i < count; ++i) {
        if (m_timing.realTime && !pauseUntil(arrivals[std::size_t(i)]))
            return interrupted();
        BoardEngine::Output output;
        bool gone = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            output = m_engine.receive(quint8(buffer[i]));
            gone = m_engine.gone();
        }
        m_progress.notify_all();
        // The answer is ready when its byte arrived, on the line's own
        // timeline: a board thread that woke late does not make it later.
        qint64 readyNs = m_timing.realTime ? arrivals[std::size_t(i)] : steadyNs();
        if (!output.empty() && m_timing.lineLatencyMs > 0) {
            readyNs += qint64(m_timing.lineLatencyMs) * 1000000;
            if (!pauseUntil(readyNs))
                return interrupted();
        }
        for (const auto &chunk : output) {
            if (chunk.delayMs > 0) {
                readyNs = std::max(readyNs, steadyNs()) + qint64(chunk.delayMs) * 1000000;
                if (!pauseUntil(readyNs))
                    return interrupted();
            }
            if (!sendPaced(chunk.bytes, readyNs))
                return interrupted();
        }
        if (gone) {
            lingerBeforeHangingUp();
            hangUp();
            return Input::Taken;
        }
    }
    return Input::Taken;
}

bool PtyBoard::sendPaced(const QByteArray &bytes, qint64 readyNs)
{
    if (!m_timing.realTime) {
        send(bytes);
        return true;
    }
    for (char byte : bytes) {
        // The byte leaves once it is ready and the line is free, and is at
        // the host's end of it one byte time later.
        m_boardLineFreeNs = std::max(readyNs, m_boardLineFreeNs) + BoardTiming::ByteNs;
        if (!pauseUntil(m_boardLineFreeNs))
            return false;
        send(QByteArray(1, byte));
    }
    return true;
}

void PtyBoard::drain()
{
    char requests[64];
    while (::read(m_drainPipe[0], requests, sizeof requests) > 0) {
    }
    quint64 answering = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        answering = m_drainRequests;
    }
    // Every byte sent before these requests is in the line now; a read
    // that finds nothing has waited for the kernel's hand-over. Bounded,
    // in case a host keeps writing all the while.
    for (int round = 0; round < 64 && !m_stopping; ++round) {
        if (takeInput() != Input::Taken)
            break;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_drainsDone = answering;
    }
    m_progress.notify_all();
}

bool PtyBoard::pause(int milliseconds)
{
    return pauseUntil(steadyNs() + qint64(milliseconds) * 1000000);
}

bool PtyBoard::pauseUntil(qint64 deadlineNs)
{
    pollfd wake { m_wake[0], POLLIN, 0 };
    for (;;) {
        // Even a pause already over looks once at the wake pipe: a stop or
        // an unplug is never held up by a run of short pauses.
        const qint64 left = std::max<qint64>(0, deadlineNs - steadyNs());
        const timespec timeout { time_t(left / 1000000000), long(left % 1000000000) };
        const int ready = ::ppoll(&wake, 1, &timeout, nullptr);
        if (ready > 0)
            return false;  // woken means stop or unplug: leave the byte for serve()
        if (ready < 0 && errno != EINTR)
            return false;
        if (left == 0 || steadyNs() >= deadlineNs)
            return true;
    }
}

void PtyBoard::lingerBeforeHangingUp()
{
    // Closing the line throws away what the host has not read yet. The
    // host's next byte shows that it has taken the last answer; a host that
    // sends nothing more gets half a second.
    constexpr int LingerMs = 500;
    pollfd fds[2] = { { m_master, POLLIN, 0 }, { m_wake[0], POLLIN, 0 } };
    ::poll(fds, 2, LingerMs);  // the byte is left unread, as the line goes
}

void PtyBoard::send(const QByteArray &bytes)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(SendTimeoutMs);
    qsizetype sent = 0;
    while (sent < bytes.size() && !m_stopping) {
        const ssize_t written = ::write(m_master, bytes.constData() + sent, size_t(bytes.size() - sent));
        if (written > 0) {
            sent += written;
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR)
            return;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return;
        pollfd out { m_master, POLLOUT, 0 };
        ::poll(&out, 1, int(left.count()));
    }
}

void PtyBoard::hangUp()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Gone before the line drops: whoever sees the host's end fail must
        // already find the board disconnected.
        m_hungUp = true;
        // Closing both our ends leaves the host's end of the line dead.
        closeFd(m_master);
        closeFd(m_slave);
    }
    m_progress.notify_all();
}
