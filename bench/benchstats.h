#pragma once

#include <QList>
#include <QString>

#include <algorithm>
#include <cstdio>

/** Prints one figure of repeated runs: median and spread, and whether it meets its target. */
inline void printFigure(const char* name, QList<double> samples, const char* unit, double target) {
    if (samples.isEmpty()) {
        std::printf("%s: no samples\n", name);
        return;
    }
    std::sort(samples.begin(), samples.end());
    const auto at = [&samples](double fraction) {
        return samples.at(qsizetype(fraction * double(samples.size() - 1) + 0.5));
    };
    std::printf("%s: median %.1f %s (min %.1f, p10 %.1f, p90 %.1f, max %.1f; %lld runs)", name,
                at(0.5), unit, samples.first(), at(0.1), at(0.9), samples.last(),
                static_cast<long long>(samples.size()));
    if (target > 0)
        std::printf(" target <= %.0f %s: %s", target, unit, at(0.5) <= target ? "met" : "MISSED");
    std::printf("\n");
    std::fflush(stdout);
}
