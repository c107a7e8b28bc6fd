#include "scopetrace.h"

#include <algorithm>
#include <cmath>

std::vector<QLineF> traceSegments(const Waveform &wave, const ScopeWindow &window, const ScopeLane &lane)
{
    std::vector<QLineF> segments;
    if (wave.empty() || window.width <= 0 || !(window.usPerPixel > 0))
        return segments;
    const std::vector<double> &times = wave.times;
    const double end = window.endUs();
    std::size_t i = std::size_t(std::upper_bound(times.begin(), times.end(), window.startUs) - times.begin());
    float level = wave.levelAt(window.startUs);
    double runStart = window.left;
    const double right = window.left + window.width;
    while (i < times.size() && times[i] < end) {
        // Every change that falls in this change's pixel column.
        const double column = std::floor((times[i] - window.startUs) / window.usPerPixel);
        const double columnEnd = window.startUs + (column + 1) * window.usPerPixel;
        const float before = level;
        float lowest = level;
        float highest = level;
        // The first change is taken whatever the rounding of columnEnd, so
        // that the loop always moves on.
        do {
            level = wave.levels[i];
            lowest = std::min(lowest, level);
            highest = std::max(highest, level);
            ++i;
        } while (i < times.size() && times[i] < columnEnd && times[i] < end);
        const double x = window.left + column + 0.5;
        segments.emplace_back(runStart, lane.y(before), x, lane.y(before));
        segments.emplace_back(x, lane.y(lowest), x, lane.y(highest));
        runStart = x;
    }
    segments.emplace_back(runStart, lane.y(level), right, lane.y(level));
    return segments;
}

std::pair<std::size_t, std::size_t> visibleRange(const std::vector<double> &times, const ScopeWindow &window)
{
    const auto first = std::lower_bound(times.begin(), times.end(), window.startUs);
    const auto last = std::upper_bound(first, times.end(), window.endUs());
    return { std::size_t(first - times.begin()), std::size_t(last - times.begin()) };
}
