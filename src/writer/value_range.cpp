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

void runSse(RangeRun<double>& run, const double* values, std::uint64_t& i, std::uint64_t count) {
    __m128d low = _mm_set1_pd(run.low0), high = _mm_set1_pd(run.high0), low2 = low, high2 = high;
    for (; i + 4 <= count; i += 4) {
        const __m128d a = _mm_loadu_pd(values + i), b = _mm_loadu_pd(values + i + 2);
        low = _mm_min_pd(a, low), high = _mm_max_pd(a, high);
        low2 = _mm_min_pd(b, low2), high2 = _mm_max_pd(b, high2);
    }
    alignas(16) double lanes[4];
    _mm_store_pd(lanes, _mm_min_pd(low, low2));
    _mm_store_pd(lanes + 2, _mm_max_pd(high, high2));
    for (int k = 0; k < 2; ++k) run.take(lanes[k], lanes[2 + k]);
}

void runSse(RangeRun<float>& run, const float* values, std::uint64_t& i, std::uint64_t count) {
    __m128 low = _mm_set1_ps(run.low0), high = _mm_set1_ps(run.high0);
    for (; i + 4 <= count; i += 4) {
        const __m128 a = _mm_loadu_ps(values + i);
        low = _mm_min_ps(a, low), high = _mm_max_ps(a, high);
    }
    alignas(16) float lanes[8];
    _mm_store_ps(lanes, low);
    _mm_store_ps(lanes + 4, high);
    for (int k = 0; k < 4; ++k) run.take(lanes[k], lanes[4 + k]);
}

bool hasAvx() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx") != 0;
    }();
    return has;
}

template <typename T>
void vectorRun(RangeRun<T>& run, const T* values, std::uint64_t& i, std::uint64_t count) {
    if (hasAvx()) runAvx(run, values, i, count);
    runSse(run, values, i, count);
}

#else

template <typename T>
void vectorRun(RangeRun<T>& run, const T* values, std::uint64_t& i, std::uint64_t count) {
    for (; i + 2 <= count; i += 2) run.take(values[i], values[i + 1]);
}

#endif

}  // namespace

void widenRun(RangeRun<double>& run, const double* values, std::uint64_t& i, std::uint64_t count) {
    vectorRun(run, values, i, count);
}

void widenRun(RangeRun<float>& run, const float* values, std::uint64_t& i, std::uint64_t count) {
    vectorRun(run, values, i, count);
}

}  // namespace tarvik
