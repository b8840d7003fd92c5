// The timing every benchmark uses: the fastest of a few runs, so that a run disturbed by the
// other work of a shared machine does not count.
#pragma once

#include <algorithm>
#include <chrono>
#include <limits>

namespace tarvik::bench {

// Seconds of the fastest of `runs` runs of `work`, each after an untimed `prepare`.
template <typename Prepare, typename Work>
double bestSeconds(int runs, Prepare&& prepare, Work&& work) {
    double best = std::numeric_limits<double>::max();
    for (int run = 0; run < runs; ++run) {
        prepare();
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

template <typename Work>
double bestSeconds(int runs, Work&& work) {
    return bestSeconds(runs, [] {}, work);
}

}  // namespace tarvik::bench
