#pragma once

#include "signalsynthesis.h"

#include <QLineF>
#include <QString>

#include <optional>
#include <vector>

// The time window a scope shows, mapped onto pixel columns.
struct ScopeWindow
{
    double startUs = 0;    // the time at the plot's left edge
    double usPerPixel = 1;
    int left = 0;          // the plot's first pixel column
    int width = 0;         // how many columns it has

    double endUs() const { return startUs + usPerPixel * width; }
    double x(double us) const { return left + (us - startUs) / usPerPixel; }
    double time(double x) const { return startUs + (x - left) * usPerPixel; }
};

// The vertical place of a channel on the plot: the levels `low` and `high`
// fall on the rows `lowY` and `highY`.
struct ScopeLane
{
    double lowY = 0;
    double highY = 0;
    float low = 0.0f;
    float high = 1.0f;

    double y(float level) const { return lowY + (highY - lowY) * double(level - low) / double(high - low); }
};

// The segments that draw a waveform over the window, as a digital scope
// draws it: the changes before and after the window are skipped by binary
// search, and each pixel column that holds changes gets one vertical
// segment from its lowest to its highest level, joined by horizontal runs.
// A capture with tens of thousands of edges thus costs no more than two
// segments per column.
std::vector<QLineF> traceSegments(const Waveform &wave, const ScopeWindow &window, const ScopeLane &lane);

// The indices [first, last) of the sorted times that fall within the window.
std::pair<std::size_t, std::size_t> visibleRange(const std::vector<double> &times, const ScopeWindow &window);

// The time of the wave's change nearest to `us`, if one lies within `reach`
// of it; the level the wave starts from is no change.
std::optional<double> nearestChange(const Waveform &wave, double us, double reach);

// A unit for the times an instrument writes, chosen so that the span it
// shows reads between 1 and 1000: ns, µs or ms, with French decimal commas.
struct TimeUnit
{
    double usPerUnit = 1;
    QString symbol;

    // The unit for a window, or a duration, of that many microseconds.
    static TimeUnit forSpan(double spanUs);
    // "383,2 µs": with as many decimals (at most three) as it takes to tell
    // apart times `resolutionUs` apart.
    QString text(double us, double resolutionUs) const;
    // A duration as a log writes it, in its own unit: "86,4 µs", "5,120 ms".
    static QString readable(double us);
};
