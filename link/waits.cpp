#include "waits.h"

#include <QElapsedTimer>

#include <chrono>
#include <thread>

namespace {

WaitObserver observer = nullptr;

} // namespace

void setWaitObserver(WaitObserver watcher)
{
    observer = watcher;
}

void sleepMoreThan(int milliseconds)
{
    if (milliseconds < 0)
        return;
    if (observer) {
        observer(qint64(std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count()),
                 milliseconds);
    }
    QElapsedTimer clock;
    clock.start();
    const qint64 target = qint64(milliseconds) * 1000 * 1000;
    // sleep_for may wake early (signals) or late (scheduling): loop on the
    // clock, never on the sleep's own promise.
    for (qint64 elapsed = clock.nsecsElapsed(); elapsed <= target; elapsed = clock.nsecsElapsed())
        std::this_thread::sleep_for(std::chrono::nanoseconds(target - elapsed + 1));
}
