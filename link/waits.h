#pragma once

#include <QtGlobal>

// The fixed pauses of the card protocols ("wait 100 ms for the answer").
// They sleep rather than spin: the board needs the time, not the CPU.

// Returns once strictly more than `milliseconds` have passed, measured on
// the monotonic clock. A negative wait returns at once.
void sleepMoreThan(int milliseconds);

// What a measurement may watch: called with the start of each wait on the
// monotonic clock (nanoseconds since its epoch) and its length, before the
// wait. None by default; the benchmark sets one to tell the mandated waits
// from the time the host and the board take.
using WaitObserver = void (*)(qint64 startNs, int milliseconds);
void setWaitObserver(WaitObserver observer);
