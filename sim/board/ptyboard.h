#pragma once

#include "boardengine.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// How the virtual board keeps time.
struct BoardTiming
{
    // The real board's pace: the line carries 115200 baud, 8N1 (10 bits a
    // byte) in each direction, and each frame takes its air time on the chip.
    // Off, the board answers as fast as the pseudo-terminal goes.
    bool realTime = false;
    // What a USB serial adapter adds to each answer the board sends.
    int lineLatencyMs = 0;

    static constexpr int Baud = BoardLine::Baud;
    static constexpr qint64 ByteNs = BoardLine::ByteNs;
};

// The virtual board on a pseudo-terminal: the host opens devicePath() with
// QSerialPort exactly as it opens a real board's serial device, and a thread
// of this object answers it through the board engine.
class PtyBoard
{
public:
    PtyBoard();
    ~PtyBoard();

    PtyBoard(const PtyBoard &) = delete;
    PtyBoard &operator=(const PtyBoard &) = delete;

    // Set before start().
    void setTiming(const BoardTiming &timing);
    BoardTiming timing() const { return m_timing; }

    // Opens the pseudo-terminal and starts serving it. False, with
    // errorString() set, when the system gives no pseudo-terminal.
    bool start();
    void stop();
    QString devicePath() const { return m_devicePath; }
    QString errorString() const { return m_error; }
    // False once the board has gone away (unplugged, or a vanish fault).
    bool connected() const { return m_thread.joinable() && !m_hungUp; }

    // Runs `work` on the engine (and through it the chip and its cards) while
    // the serving thread is held off.
    template<typename Work>
    auto withBoard(Work &&work)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return work(m_engine);
    }

    // Waits until the board has carried out `count` handshakes since its
    // history was last cleared; false if the time ran out first.
    bool waitForHandshakes(std::size_t count, int timeoutMs);
    // Waits until the board has taken in, and acted on, every byte the host
    // had sent when it was called; false if the time ran out first.
    bool waitUntilDrained(int timeoutMs);

    // The board goes away now, as if unplugged, whatever it was doing (an
    // answer held back included): the line is dropped.
    void unplug();

private:
    void serve();
    enum class Input { Taken, Nothing, Stop };
    // Reads what the host sent and answers it. Stop: the board was told to
    // stop (or to unplug) while it held an answer back.
    Input takeInput();
    void drain();
    // Sleeps, but wakes early to stop or unplug; false when woken.
    bool pause(int milliseconds);
    bool pauseUntil(qint64 steadyNs);
    // What to do when a pause was cut short: stop, or go back to serve()
    // to hang up.
    Input interrupted() const { return m_stopping ? Input::Stop : Input::Taken; }
    // The board's bytes for the host, on the line's pace in real time: they
    // leave from readyNs on, one byte time apart.
    bool sendPaced(const QByteArray &bytes, qint64 readyNs);
    // After a vanish fault: gives the host a moment to take the last answer.
    void lingerBeforeHangingUp();
    void send(const QByteArray &bytes);
    void hangUp();

    int m_master = -1;
    int m_slave = -1;  // held open so that the master never reads a hang-up
    int m_wake[2] = { -1, -1 };
    int m_drainPipe[2] = { -1, -1 };
    QString m_devicePath;
    QString m_error;

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_progress;
    std::atomic<bool> m_stopping { false };
    std::atomic<bool> m_unplugRequested { false };
    std::atomic<bool> m_hungUp { false };
    BoardTiming m_timing;
    // When each direction of the line is free again, on the steady clock
    // (real time only; serving thread only).
    qint64 m_hostLineFreeNs = 0;
    qint64 m_boardLineFreeNs = 0;
    // Drain requests taken and answered, guarded by m_mutex.
    quint64 m_drainRequests = 0;
    quint64 m_drainsDone = 0;
    BoardEngine m_engine;
};
