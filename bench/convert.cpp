// How fast TarvikMF4Convert turns raw values into physical ones: MF4ConvertNumbers over
// 2,000,000 float64 values (16 MB in, 16 MB out) with a linear, a rational, an interpolated
// table (64 keys) and an algebraic conversion ("sin(X) * 2 + X^2", muparser), next to a plain
// memcpy of the same array into another; and, as the common case of a sensor channel, the
// linear conversion of 2,000,000 int16 values.
//
// One JSON line per conversion: "values", "seconds" (best of five calls), "mb_per_s" of raw
// bytes read per second (MB = 10^6 bytes), and for the float64 lines "copy_mb_per_s" with
// "of_copy", the conversion's speed as a share of the copy's. A conversion that reads and writes
// at the copy's pace runs at memory speed; the first call of the algebraic conversion also
// compiles the formula, which the best of five leaves out.
//
// On the development machine (2 cores shared with another developer, two runs): copy 13500 to
// 14400 MB/s, linear 14100 to 14400 MB/s (0.99 to 1.04 of the copy: memory speed), rational
// 10800 to 11000 MB/s (0.77 to 0.80; the division per value shows), interpolated table 780 MB/s
// (a binary search over the keys per value), algebraic 390 MB/s (about 20 ns a value in
// muparser); int16 linear 3600 to 3800 MB/s of raw bytes (1.8 to 1.9 billion values a second).
//
// Usage: bench_convert [values]   (default 2,000,000)
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "TarvikMF4Convert.h"
#include "best_seconds.h"

namespace {

constexpr int kRuns = 5;
constexpr std::size_t kTableKeys = 64;

// Seconds of the fastest of kRuns calls of `work`.
template <typename Work>
double bestSeconds(Work&& work) {
    return tarvik::bench::bestSeconds(kRuns, work);
}

struct Conversions {
    std::vector<MF4Conversion> records;
    std::vector<MF4ValuePair> keys;
    MF4Content content{};

    Conversions() {
        const auto add = [this](std::uint32_t type) -> MF4Conversion& {
            MF4Conversion& c = records.emplace_back();
            c.structSize = sizeof c;
            c.conversionType = type;
            c.defaultConversion = -1;
            return c;
        };
        records.reserve(4);
        MF4Conversion& linear = add(1);
        linear.parameters.linear[0] = -40;
        linear.parameters.linear[1] = 0.1;
        MF4Conversion& rational = add(2);
        const double p[6] = {0.5, 2, -1, 0.01, 0, 1};
        std::copy(p, p + 6, rational.parameters.rational);
        for (std::size_t k = 0; k < kTableKeys; ++k)
            keys.push_back({sizeof(MF4ValuePair), static_cast<double>(k) * 2, std::sqrt(static_cast<double>(k))});
        MF4Conversion& table = add(4);
        table.entryCount = keys.size();
        table.parameters.pairs = keys.data();
        MF4Conversion& algebraic = add(3);
        algebraic.formula = const_cast<MF4Char*>(u"sin(X) * 2 + X^2");
        content.conversions = records.data();
        content.conversionCount = records.size();
    }
};

void printLine(const char* name, const char* kind, std::size_t values, std::size_t rawBytes, double seconds,
               double copyMbPerS, std::uint32_t result) {
    const double mbPerS = static_cast<double>(rawBytes) / seconds / 1e6;
    std::printf("{\"benchmark\":\"convert\",\"conversion\":\"%s\",\"raw\":\"%s\",\"values\":%zu,"
                "\"seconds\":%.6f,\"mb_per_s\":%.1f",
                name, kind, values, seconds, mbPerS);
    if (copyMbPerS > 0) std::printf(",\"copy_mb_per_s\":%.1f,\"of_copy\":%.2f", copyMbPerS, mbPerS / copyMbPerS);
    std::printf(",\"result\":%u}\n", result);
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2'000'000;
    if (count == 0) {
        std::fprintf(stderr, "usage: bench_convert [values]\n");
        return 2;
    }
    std::vector<double> raw(count);
    for (std::size_t i = 0; i < count; ++i) raw[i] = static_cast<double>(i % 1000) * 0.125;
    std::vector<double> physical(count);
    const std::size_t bytes = count * sizeof(double);

    const double copySeconds = bestSeconds([&] { std::memcpy(physical.data(), raw.data(), bytes); });
    const double copyMbPerS = static_cast<double>(bytes) / copySeconds / 1e6;
    printLine("copy", "f64", count, bytes, copySeconds, 0, 0);

    Conversions conversions;
    const char* names[] = {"linear", "rational", "table_interpolated", "algebraic"};
    for (std::int64_t c = 0; c < 4; ++c) {
        std::uint32_t result = 0;
        const double seconds = bestSeconds([&] {
            result = MF4ConvertNumbers(&conversions.content, c, 5, raw.data(), count, physical.data());
        });
        printLine(names[c], "f64", count, bytes, seconds, copyMbPerS, result);
    }

    std::vector<std::int16_t> sensor(count);
    for (std::size_t i = 0; i < count; ++i) sensor[i] = static_cast<std::int16_t>(i % 4000 - 2000);
    std::uint32_t result = 0;
    const double seconds = bestSeconds([&] {
        result = MF4ConvertNumbers(&conversions.content, 0, 2, sensor.data(), count, physical.data());
    });
    printLine("linear", "i16", count, count * sizeof(std::int16_t), seconds, 0, result);
    return 0;
}
