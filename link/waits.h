#pragma once

// The fixed pauses of the card protocols ("wait 100 ms for the answer").
// They sleep rather than spin: the board needs the time, not the CPU.

// Returns once strictly more than `milliseconds` have passed, measured on
// the monotonic clock. A negative wait returns at once.
void sleepMoreThan(int milliseconds);
