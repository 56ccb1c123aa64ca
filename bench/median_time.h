#pragma once

// The benchmarks' one way of timing: the median of several runs.

#include <QElapsedTimer>
#include <algorithm>
#include <functional>
#include <vector>

// The median time of the work in milliseconds; what `after` does (closing what was opened) is not counted.
inline double medianMs(int runs, const std::function<void()>& work, const std::function<void()>& after = {}) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
        if (after)
            after();
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}
