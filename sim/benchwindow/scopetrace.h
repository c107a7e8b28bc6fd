#pragma once

#include "signalsynthesis.h"

#include <QLineF>

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
