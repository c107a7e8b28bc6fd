#include "ptyboard.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
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

} // namespace

PtyBoard::PtyBoard() = default;

PtyBoard::~PtyBoard()
{
    stop();
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
    if (::pipe(m_wake) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        closeFd(m_master);
        closeFd(m_slave);
        return false;
    }
    m_devicePath = QString::fromLocal8Bit(name);
    m_stopping = false;
    m_thread = std::thread([this] { serve(); });
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
}

void PtyBoard::unplug()
{
    if (!m_thread.joinable())
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
    // The kernel hands bytes from one end of a pseudo-terminal to the other
    // a little later, not at once: the line is drained when nothing is
    // waiting on the master and nothing new has come in for a while.
    constexpr auto Quiet = std::chrono::milliseconds(15);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    QByteArray::size_type lastCount = -1;
    auto quietSince = std::chrono::steady_clock::now();
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            int pending = 0;
            if (m_master < 0 || m_hungUp)
                return true;
            const bool empty = ::ioctl(m_master, FIONREAD, &pending) != 0 || pending == 0;
            const auto count = m_engine.hostBytesReceived();
            if (count != lastCount || !empty) {
                lastCount = count;
                quietSince = now;
            } else if (now - quietSince >= Quiet) {
                return true;
            }
        }
        if (now >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void PtyBoard::serve()
{
    char buffer[256];
    while (!m_stopping) {
        // Once hung up the master is -1, which poll() passes over.
        pollfd fds[2] = { { m_master, POLLIN, 0 }, { m_wake[0], POLLIN, 0 } };
        if (::poll(fds, 2, -1) < 0) {
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
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;

        BoardEngine::Output output;
        bool gone = false;
        ssize_t count = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            count = ::read(m_master, buffer, sizeof buffer);
            for (ssize_t i = 0; i < count && !gone; ++i) {
                for (auto &chunk : m_engine.receive(quint8(buffer[i])))
                    output.push_back(std::move(chunk));
                gone = m_engine.gone();
            }
        }
        m_progress.notify_all();
        if (count <= 0) {
            // Nothing to read after all (or a hang-up the held slave should
            // prevent): do not spin on it.
            if (!pause(10))
                break;
            continue;
        }
        for (const auto &chunk : output) {
            if (chunk.delayMs > 0 && !pause(chunk.delayMs))
                break;
            send(chunk.bytes);
        }
        if (gone) {
            // Let the last answer cross the line before the line goes.
            pause(20);
            hangUp();
        }
    }
}

bool PtyBoard::pause(int milliseconds)
{
    pollfd wake { m_wake[0], POLLIN, 0 };
    const int ready = ::poll(&wake, 1, milliseconds);
    return ready == 0;  // woken means stop or unplug: leave the byte for serve()
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
