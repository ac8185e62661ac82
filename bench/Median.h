#pragma once
// The median wall time of a piece of work over several rounds, for the benchmarks.

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace tamsel {

inline double MedianMilliseconds(int rounds, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < std::max(1, rounds); ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace tamsel
