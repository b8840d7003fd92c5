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

// The few vector operations a run needs, for 4 doubles or 8 floats at a time.
__attribute__((target("avx"))) inline __m256d splat(double value) { return _mm256_set1_pd(value); }
__attribute__((target("avx"))) inline __m256 splat(float value) { return _mm256_set1_ps(value); }
__attribute__((target("avx"))) inline __m256d load(const double* values) { return _mm256_loadu_pd(values); }
__attribute__((target("avx"))) inline __m256 load(const float* values) { return _mm256_loadu_ps(values); }
__attribute__((target("avx"))) inline __m256d lower(__m256d a, __m256d b) { return _mm256_min_pd(a, b); }
__attribute__((target("avx"))) inline __m256 lower(__m256 a, __m256 b) { return _mm256_min_ps(a, b); }
__attribute__((target("avx"))) inline __m256d higher(__m256d a, __m256d b) { return _mm256_max_pd(a, b); }
__attribute__((target("avx"))) inline __m256 higher(__m256 a, __m256 b) { return _mm256_max_ps(a, b); }
__attribute__((target("avx"))) inline void store(double* lanes, __m256d v) { _mm256_storeu_pd(lanes, v); }
__attribute__((target("avx"))) inline void store(float* lanes, __m256 v) { _mm256_storeu_ps(lanes, v); }

template <typename T>
__attribute__((target("avx"))) void runAvx(RangeRun<T>& run, const T* values, std::uint64_t& i, std::uint64_t count) {
    constexpr std::uint64_t kLanes = 32 / sizeof(T);
    auto low = splat(run.low0), high = splat(run.high0), low2 = low, high2 = high;
    for (; i + 2 * kLanes <= count; i += 2 * kLanes) {
        const auto a = load(values + i), b = load(values + i + kLanes);
        low = lower(a, low), high = higher(a, high);
        low2 = lower(b, low2), high2 = higher(b, high2);
    }
    T lanes[2 * kLanes];
    store(lanes, lower(low, low2));
    store(lanes + kLanes, higher(high, high2));
    for (std::uint64_t k = 0; k < kLanes; ++k) run.take(lanes[k], lanes[kLanes + k]);
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
