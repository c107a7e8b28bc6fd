#include "scopetrace.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {

constexpr double NanosecondUs = 1e-3;
constexpr double MillisecondUs = 1e3;
// A log's durations in microseconds go to the tenth, as the standard's limits do.
constexpr double MicrosecondLogResolutionUs = 0.1;
constexpr int MostDecimals = 3;

} // namespace

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

std::optional<double> nearestChange(const Waveform &wave, double us, double reach)
{
    const std::vector<double> &times = wave.times;
    if (times.size() < 2 || !std::isfinite(us) || !(reach >= 0))
        return std::nullopt;
    // The first change lies after the starting level, at index 1.
    const auto after = std::lower_bound(times.begin() + 1, times.end(), us);
    std::optional<double> best;
    for (auto candidate : { after, after - 1 }) {
        if (candidate == times.begin() || candidate == times.end())
            continue;
        const double distance = std::abs(*candidate - us);
        if (distance <= reach && (!best || distance < std::abs(*best - us)))
            best = *candidate;
    }
    return best;
}

TimeUnit TimeUnit::forSpan(double spanUs)
{
    const double span = std::abs(spanUs);
    if (span >= MillisecondUs)
        return { MillisecondUs, QStringLiteral("ms") };
    if (span >= 1.0 || !(span > 0))
        return { 1.0, QStringLiteral("µs") };
    return { NanosecondUs, QStringLiteral("ns") };
}

QString TimeUnit::text(double us, double resolutionUs) const
{
    static const QLocale french(QLocale::French, QLocale::France);
    const double resolution = resolutionUs / usPerUnit;
    const int decimals = resolution > 0 && std::isfinite(resolution)
        ? std::clamp(int(std::ceil(-std::log10(resolution))), 0, MostDecimals)
        : 0;
    double value = us / usPerUnit;
    if (std::abs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0;  // no "-0"
    return french.toString(value, 'f', decimals) + QLatin1Char(' ') + symbol;
}

QString TimeUnit::readable(double us)
{
    const TimeUnit unit = forSpan(us);
    // To the nanosecond, the tenth of a microsecond, the microsecond.
    const double resolutionUs = unit.usPerUnit < 1.0 ? NanosecondUs
        : unit.usPerUnit == 1.0                      ? MicrosecondLogResolutionUs
                                                     : 1.0;
    return unit.text(us, resolutionUs);
}
