#include "writer/value_range.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TARVIK_VECTOR_RANGES 1
#endif

namespace tarvik {

namespace {

#if defined(TARVIK_VECTOR_RANGES)

// min(x, acc) and max(x, acc) give acc when x is NaN, exactly like std::min(acc, x), so the
// vector runs keep the scalar run's rule; acc starts on a number and so never becomes NaN.

__attribute__((target("avx"))) void runAvx(RangeRun<double>& run, const double* values, std::uint64_t& i,
                                           std::uint64_t count) {
    __m256d low = _mm256_set1_pd(run.low0), high = _mm256_set1_pd(run.high0), low2 = low, high2 = high;
    for (; i + 8 <= count; i += 8) {
        const __m256d a = _mm256_loadu_pd(values + i), b = _mm256_loadu_pd(values + i + 4);
        low = _mm256_min_pd(a, low), high = _mm256_max_pd(a, high);
        low2 = _mm256_min_pd(b, low2), high2 = _mm256_max_pd(b, high2);
    }
    alignas(32) double lanes[8];
    _mm256_store_pd(lanes, _mm256_min_pd(low, low2));
    _mm256_store_pd(lanes + 4, _mm256_max_pd(high, high2));
    for (int k = 0; k < 4; ++k) run.take(lanes[k], lanes[4 + k]);
}

__attribute__((target("avx"))) void runAvx(RangeRun<float>& run, const float* values, std::uint64_t& i,
                                           std::uint64_t count) {
    __m256 low = _mm256_set1_ps(run.low0), high = _mm256_set1_ps(run.high0), low2 = low, high2 = high;
    for (; i + 16 <= count; i += 16) {
        const __m256 a = _mm256_loadu_ps(values + i), b = _mm256_loadu_ps(values + i + 8);
        low = _mm256_min_ps(a, low), high = _mm256_max_ps(a, high);
        low2 = _mm256_min_ps(b, low2), high2 = _mm256_max_ps(b, high2);
    }
    alignas(32) float lanes[16];
    _mm256_store_ps(lanes, _mm256_min_ps(low, low2));
    _mm256_store_ps(lanes + 8, _mm256_max_ps(high, high2));
    for (int k = 0; k < 8; ++k) run.take(lanes[k], lanes[8 + k]);
}

bool hasAvx() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx") != 0;
    }();
    return has;
}

#endif

// Processors without AVX (and other platforms) take the scalar run, two pairs at a time.
template <typename T>
void vectorRun(RangeRun<T>& run, const T* values, std::uint64_t& i, std::uint64_t count) {
#if defined(TARVIK_VECTOR_RANGES)
    if (hasAvx()) runAvx(run, values, i, count);
#endif
    for (; i + 2 <= count; i += 2) run.take(values[i], values[i + 1]);
}

}  // namespace

void widenRun(RangeRun<double>& run, const double* values, std::uint64_t& i, std::uint64_t count) {
    vectorRun(run, values, i, count);
}

void widenRun(RangeRun<float>& run, const float* values, std::uint64_t& i, std::uint64_t count) {
    vectorRun(run, values, i, count);
}

}  // namespace tarvik
