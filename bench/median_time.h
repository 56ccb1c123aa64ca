#pragma once

// The benchmarks' one way of timing: several runs, their minimum, median and maximum, so that a
// reader sees the noise beside the figure.

#include <QElapsedTimer>
#include <algorithm>
#include <functional>
#include <vector>

struct Timing {
    double min = 0;
    double median = 0;
    double max = 0;
};

// Milliseconds from times of single runs.
inline Timing timingOf(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2], times.back()};
}

// The work's times in milliseconds; what `after` does (closing what was opened) is not counted.
inline Timing timeRuns(int runs, const std::function<void()>& work, const std::function<void()>& after = {}) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
        if (after)
            after();
    }
    return timingOf(times);
}

inline double medianMs(int runs, const std::function<void()>& work, const std::function<void()>& after = {}) {
    return timeRuns(runs, work, after).median;
}
