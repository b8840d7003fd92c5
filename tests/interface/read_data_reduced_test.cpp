// ReadData's reduced modes on small files whose results can be told by hand: buckets of records
// and of time, reduction levels read instead of the raw records, and the descent from a reduced
// extreme to the time it was recorded.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/host_tree.h"
#include "support/mdf_blocks.h"
#include "support/read_items.h"

namespace {

using namespace tarvik::test;

// One reduction level: per interval its start time and the mean, minimum and maximum there.
struct Level {
    double interval = 1;
    std::uint8_t syncType = 1;
    std::vector<double> times{}, means{}, minimums{}, maximums{};
};

// The level of `interval` that a logger would have written for these records.
Level levelOf(const std::vector<double>& times, const std::vector<double>& values, double interval) {
    Level level{.interval = interval};
    for (std::size_t i = 0; i < times.size(); ++i) {
        const double start = std::floor(times[i] / interval) * interval;
        if (level.times.empty() || level.times.back() != start) {
            level.times.push_back(start);
            level.means.push_back(0);
            level.minimums.push_back(values[i]);
            level.maximums.push_back(values[i]);
        }
        std::size_t count = 0;
        double sum = 0;
        for (std::size_t j = 0; j < times.size(); ++j)
            if (std::floor(times[j] / interval) * interval == start) sum += values[j], ++count;
        level.means.back() = sum / static_cast<double>(count);
        level.minimums.back() = std::min(level.minimums.back(), values[i]);
        level.maximums.back() = std::max(level.maximums.back(), values[i]);
    }
    return level;
}

struct Interruption {
    double begin = 0, end = 0;
};

// A 4.10 file with one group: a float64 time master and a float64 channel "value", the given
// reduction levels (finest first) and optionally one acquisition interruption.
std::string recordingFile(const std::vector<double>& times, const std::vector<double>& values,
                          const std::vector<Level>& levels = {}, const Interruption* gap = nullptr) {
    MdfBuilder file;
    const auto hd = file.addBlock("##HD", {0, 0, 0, 0, 0, 0}, hdData({}));
    const auto dg = file.addBlock("##DG", {0, 0, 0, 0}, dgData(0));
    const auto cg = file.addBlock("##CG", {0, 0, 0, 0, 0, 0},
                                  cgData({.cycleCount = times.size(), .dataBytes = 16}));
    const auto value = addChannel(file, "value", {.dataType = 4, .byteOffset = 8, .bitCount = 64});
    const auto time = addChannel(file, "time", {.type = 2, .syncType = 1, .dataType = 4, .bitCount = 64}, value);
    std::string records;
    for (std::size_t i = 0; i < times.size(); ++i) records += f64(times[i]) + f64(values[i]);
    setLink(file, hd, 0, dg);
    setLink(file, dg, 1, cg);
    setLink(file, dg, 2, file.addBlock("##DT", {}, records));
    setLink(file, cg, 1, time);
    std::int64_t next = 0;
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
        // Mean record, minimum record, maximum record; the time of each is the interval's start.
        std::string reduced;
        for (std::size_t i = 0; i < level->times.size(); ++i)
            reduced += f64(level->times[i]) + f64(level->means[i]) + f64(level->times[i]) +
                       f64(level->minimums[i]) + f64(level->times[i]) + f64(level->maximums[i]);
        const auto rd = file.addBlock("##RD", {}, reduced);
        next = file.addBlock("##SR", {next, rd},
                             srData({.cycleCount = level->times.size(), .interval = level->interval,
                                     .syncType = level->syncType}));
    }
    setLink(file, cg, 4, next);
    if (gap != nullptr) {
        const auto end = file.addBlock("##EV", {0, 0, 0, 0, 0},
                                       evData({.type = 2, .rangeType = 2, .syncBaseValue = 1, .syncFactor = gap->end}));
        const auto begin = file.addBlock("##EV", {end, 0, 0, 0, 0, cg},
                                         evData({.type = 2, .rangeType = 1, .scopeCount = 1, .syncBaseValue = 1,
                                                 .syncFactor = gap->begin}));
        setLink(file, end, 2, begin);
        setLink(file, hd, 4, begin);
    }
    return file.bytes();
}

// Values and their x of the channel `pattern` names (channel 0: "value") in one down-sampled read;
// X is uint64 in mode 1 and double (the master's kind) in mode 3.
template <typename V, typename X>
std::uint32_t reduce(OpenedFile& file, std::uint32_t mode, const MF4ReadItem& pattern, Buffer<V>& a, Buffer<X>& b) {
    return file.read(mode, {a.bind(pattern)}, {b.bind(pattern)});
}

std::vector<double> evenTimes(std::size_t count, double step) {
    std::vector<double> times;
    for (std::size_t i = 0; i < count; ++i) times.push_back(static_cast<double>(i) * step);
    return times;
}

using Records = std::vector<std::uint64_t>;
using Values = std::vector<double>;

// The differential test (read_data_downsampled_test.cpp) checks buckets of records and of time in
// every kind and method against a reference; these are the cases it does not reach.
TEST(ReadDataReduced, BucketsWorkedOutByHand) {
    OpenedFile file(recordingFile(evenTimes(10, 0.1), {5, 1, 9, 3, 7, 2, 8, 6, 4, 0}));
    ASSERT_NE(file.content(), nullptr);
    // Per bucket the extreme that occurred first comes first. List A has room for three values,
    // list B for all: each keeps what fits.
    Buffer<double> a(8, 99);
    Buffer<std::uint64_t> b(8);
    const MF4ReadItem settings{.sampleCount = 10, .bucketSamples = 5, .capacity = 8};
    MF4ReadItem itemA = a.bind(settings);
    itemA.capacity = 3;
    EXPECT_EQ(file.read(MF4_READ_DOWNSAMPLED_SAMPLE_BASED, {itemA}, {b.bind(settings)}), 0u);
    EXPECT_EQ(a.got(), (Values{1, 9, 8}));
    EXPECT_EQ(a.total, 4u);
    EXPECT_EQ(a.values[3], 99) << "nothing is written beyond the capacity";
    EXPECT_EQ(b.got(), (Records{1, 2, 6, 9}));

    // Time buckets whose width is not a number read nothing.
    Buffer<double> times(8);
    const MF4ReadItem noWidth{.startTime = 0, .endTime = 1, .bucketTime = std::numeric_limits<double>::quiet_NaN(),
                              .capacity = 8};
    reduce(file, MF4_READ_DOWNSAMPLED_TIME_BASED, noWidth, a, times);
    EXPECT_EQ(a.total, 0u);
    EXPECT_EQ(times.total, 0u);
}

TEST(ReadDataReduced, ReductionLevelsReplaceTheRawRecords) {
    // The raw records are all 100, so every value that is not 100 comes from a level.
    const std::vector<double> times = evenTimes(16, 0.25);
    const Values raw(16, 100);
    Level fine{.interval = 0.5, .times = {0, 0.5, 1, 1.5, 2, 2.5, 3, 3.5},
               .means = {1, 1, 1, 1, 1, 1, 1, 1}, .minimums = {0, 0, 0, 0, 0, 0, 0, 0},
               .maximums = {2, 2, 2, 2, 2, 2, 2, 2}};
    Level middle{.interval = 1, .times = {0, 1, 2, 3}, .means = {5, 6, 4, 7}, .minimums = {2, 1, 3, 6},
                 .maximums = {8, 9, 5, 7}};
    Level angle{.interval = 2, .syncType = 2, .times = {0, 2}, .means = {-1, -1}, .minimums = {-1, -1},
                .maximums = {-1, -1}};
    OpenedFile file(recordingFile(times, raw, {fine, middle, angle}));
    ASSERT_NE(file.content(), nullptr);
    Buffer<double> a(8), b(8);
    // Any level up to the bucket width: the coarsest with time synchronisation, 1 s. Buckets
    // from -0.5 s hold one record of it each.
    MF4ReadItem settings{.startTime = -0.5, .endTime = 4, .method = MF4_DOWNSAMPLE_MIN_MAX, .bucketTime = 1,
                         .levelTime = -1, .capacity = 8};
    reduce(file, MF4_READ_DOWNSAMPLED_TIME_BASED, settings, a, b);
    EXPECT_EQ(a.usedInterval, 1.0);
    EXPECT_EQ(b.usedInterval, 1.0);
    // One record per bucket: its minimum and maximum share a place; the first bucket gives its
    // maximum first, each later one first the extreme closer to the value drawn before.
    EXPECT_EQ(a.got(), (Values{8, 2, 1, 9, 5, 3, 6, 7}));
    EXPECT_EQ(b.got(), (Values{0, 0, 1, 1, 2, 2, 3, 3}));
    settings.method = MF4_DOWNSAMPLE_MEAN;
    reduce(file, MF4_READ_DOWNSAMPLED_TIME_BASED, settings, a, b);
    EXPECT_EQ(a.got(), (Values{5, 6, 4, 7}));
    EXPECT_EQ(b.got(), (Values{0, 1, 2, 3}));
    settings.method = MF4_DOWNSAMPLE_MIN;
    reduce(file, MF4_READ_DOWNSAMPLED_TIME_BASED, settings, a, b);
    EXPECT_EQ(a.got(), (Values{2, 1, 3, 6}));

    // A finer limit chooses the finer level; 0 asks for the raw records.
    settings.method = MF4_DOWNSAMPLE_MAX;
    settings.levelTime = 0.5;
    reduce(file, MF4_READ_DOWNSAMPLED_TIME_BASED, settings, a, b);
    EXPECT_EQ(a.usedInterval, 0.5);
    // Its last record (3.5 s) lies on a boundary before the end: it opens a fifth bucket.
    EXPECT_EQ(a.got(), (Values{2, 2, 2, 2, 2}));
    settings.levelTime = 0;
    reduce(file, MF4_READ_DOWNSAMPLED_TIME_BASED, settings, a, b);
    EXPECT_EQ(a.usedInterval, 0.0);
    EXPECT_EQ(a.got(), (Values{100, 100, 100, 100, 100})) << "raw records reach into a fifth bucket";
}

TEST(ReadDataReduced, EventsOfListAReachListB) {
    // An acquisition interruption around 0.3 s: the first sample and the first after it are
    // marked, in both lists.
    const Interruption gap{0.25, 0.35};
    OpenedFile file(recordingFile(evenTimes(10, 0.1), {5, 1, 9, 3, 7, 2, 8, 6, 4, 0}, {}, &gap));
    ASSERT_NE(file.content(), nullptr);
    Buffer<double> a(8);
    Buffer<std::uint64_t> b(8);
    MF4ReadItem settings{.sampleCount = 10, .method = MF4_DOWNSAMPLE_MAX, .bucketSamples = 2, .capacity = 8};
    reduce(file, MF4_READ_DOWNSAMPLED_SAMPLE_BASED, settings, a, b);
    ASSERT_EQ(a.got(), (Values{5, 9, 7, 8, 4}));
    ASSERT_EQ(a.eventsStored, 2u);
    EXPECT_EQ(a.events[0], 0u);
    EXPECT_EQ(a.events[1], 2u) << "record 4 (0.4 s) is the first after the interruption";
    EXPECT_EQ(b.eventsStored, 2u);
    EXPECT_EQ(b.eventsTotal, a.eventsTotal);
    EXPECT_EQ(b.events[1], 2u);
}

TEST(ReadDataReduced, ArraysGiveOneSampleOfAllElementsPerValue) {
    // Four records of a uint16 array of two elements: (3, 7), (1, 9), (5, 2), (5, 8).
    MinimalFile m = makeMinimalFile({.recordCount = 4});
    const std::uint16_t elements[4][2] = {{3, 7}, {1, 9}, {5, 2}, {5, 8}};
    std::string records;
    for (std::uint16_t r = 0; r < 4; ++r) records += f64(r) + u16(elements[r][0]) + u16(elements[r][1]);
    const auto array = m.file.addBlock("##CA", {0}, caData({.byteOffsetBase = 2, .dimSizes = {2}}));
    setLink(m.file, m.timeChannel, 0, addChannel(m.file, "pair", {.dataType = 0, .byteOffset = 8, .bitCount = 16}, 0, array));
    setRecordBytes(m.file, m.cg, 12);
    setLink(m.file, m.dg, 2, m.file.addBlock("##DT", {}, records));
    OpenedFile file(m.file.bytes());
    ASSERT_NE(file.content(), nullptr);

    Buffer<std::uint16_t> a(8);
    Buffer<std::uint64_t> b(8);
    MF4ReadItem settings{.sampleCount = 4, .bucketSamples = 2, .capacity = 8};
    reduce(file, MF4_READ_DOWNSAMPLED_SAMPLE_BASED, settings, a, b);
    // Per bucket two samples: each element's earlier extreme, then its later one; the second
    // bucket's first element has one value (5 twice at record 2), given in both samples.
    EXPECT_EQ(a.stored, 4u);
    EXPECT_EQ(a.values, (std::vector<std::uint16_t>{3, 7, 1, 9, 5, 2, 5, 8}));
    EXPECT_EQ(b.values, (Records{0, 0, 1, 1, 2, 2, 2, 3}));
    settings.method = MF4_DOWNSAMPLE_MEAN;
    reduce(file, MF4_READ_DOWNSAMPLED_SAMPLE_BASED, settings, a, b);
    EXPECT_EQ(a.got(), (std::vector<std::uint16_t>{2, 8}));
    EXPECT_EQ(a.total, 2u);
    EXPECT_EQ(b.values[2], 3u);

    // One element selected: a scalar.
    std::uint64_t second[1] = {1};
    settings.method = MF4_DOWNSAMPLE_MIN_MAX;
    settings.elementIndices = second;
    reduce(file, MF4_READ_DOWNSAMPLED_SAMPLE_BASED, settings, a, b);
    EXPECT_EQ(a.got(), (std::vector<std::uint16_t>{7, 9, 2, 8}));
    EXPECT_EQ(b.got(), (Records{0, 1, 2, 3}));
}

TEST(ReadDataReduced, OriginalTimeOfAReducedExtreme) {
    // Raw records every 0.25 s for 16 s with distinct values; levels of 1, 2 and 4 s made from them.
    const std::vector<double> times = evenTimes(64, 0.25);
    Values values;
    for (std::size_t i = 0; i < times.size(); ++i) values.push_back(static_cast<double>((i * 37) % 64));
    const std::vector<Level> levels{levelOf(times, values, 1), levelOf(times, values, 2), levelOf(times, values, 4)};
    OpenedFile file(recordingFile(times, values, levels));
    ASSERT_NE(file.content(), nullptr);

    // The maximum of the 4 s interval starting at 8 s, and the minimum of the one at 4 s.
    const double maximum = levels[2].maximums[2], minimum = levels[2].minimums[1];
    auto rawTimeOf = [&](double value, double from) {
        for (std::size_t i = 0; i < values.size(); ++i)
            if (values[i] == value && times[i] >= from && times[i] < from + 4) return times[i];
        return -1.0;
    };
    Buffer<double> first(1), second(1), third(1);
    auto ask = [](Buffer<double>& side, double start, double level, double value) {
        MF4ReadItem it = side.item(0, 1);
        it.startTime = start;
        it.levelTime = level;
        it.reducedType = 5;  // float64
        it.reducedValue.asDouble = value;
        return it;
    };
    EXPECT_EQ(file.read(MF4_READ_ORIGINAL_TIMESTAMP, {ask(first, 8, 4, maximum), ask(second, 4, 4, minimum)}), 0u);
    ASSERT_EQ(first.stored, 1u);
    EXPECT_EQ(first.total, 1u);
    EXPECT_EQ(first.values[0], rawTimeOf(maximum, 8));
    ASSERT_EQ(second.stored, 1u);
    EXPECT_EQ(second.values[0], rawTimeOf(minimum, 4));

    // A reduced value of another numeric kind is compared by value.
    MF4ReadItem asInteger = ask(first, 8, 4, 0);
    asInteger.reducedType = 21;  // uint64
    asInteger.reducedValue.asUInt = static_cast<std::uint64_t>(maximum);
    file.read(MF4_READ_ORIGINAL_TIMESTAMP, {asInteger});
    EXPECT_EQ(first.values[0], rawTimeOf(maximum, 8));

    // No level of 3 s: no value, and the items after it are not read either; the same for a
    // value that is neither extreme of its record.
    for (auto [level, value] : {std::pair{3.0, maximum}, std::pair{4.0, maximum + 0.5}}) {
        file.read(MF4_READ_ORIGINAL_TIMESTAMP, {ask(first, 8, level, value), ask(second, 4, 4, minimum)});
        EXPECT_EQ(first.total, 0u);
        EXPECT_EQ(second.total, 0u);
        EXPECT_EQ(second.stored, 0u);
    }
}

// A file written by a measurement tool with reduction levels of its own: one bucket over the
// whole recording, read from its coarsest level, gives the extremes of the raw records.
TEST(ReadDataReduced, CorpusReductionLevelsAgreeWithTheRawRecords) {
    const auto corpus = corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the project";
    OpenedFile file(corpus / "dSPACE_CaptureBlocks.mf4");
    const MF4Content* content = file.content();
    ASSERT_NE(content, nullptr);
    for (std::uint64_t g = 0; g < content->groupCount; ++g) {
        SCOPED_TRACE(g);
        const std::uint64_t records = content->groups[g].cycleCount;
        std::uint64_t channel = 0;
        while (content->channels[channel].groupIndex != g) ++channel;
        Buffer<double> raw(records), times(records);
        ASSERT_EQ(file.read(MF4_READ_SAMPLE_BASED, {raw.item(channel)}, {times.item(g)}), 0u);
        ASSERT_EQ(raw.stored, records);

        Buffer<double> a(4), b(4);
        const MF4ReadItem everything{.index = channel, .startTime = -1e9, .endTime = 1e9, .bucketTime = 1e6, .levelTime = -1,
                                  .capacity = 4};
        ASSERT_EQ(reduce(file, MF4_READ_DOWNSAMPLED_TIME_BASED, everything, a, b), 0u);
        EXPECT_GT(a.usedInterval, 0.0);
        ASSERT_EQ(a.stored, 2u);
        const auto [low, high] = std::minmax_element(raw.values.begin(), raw.values.end());
        EXPECT_EQ(std::min(a.values[0], a.values[1]), *low);
        EXPECT_EQ(std::max(a.values[0], a.values[1]), *high);
    }
}

// Levels the library adds itself: buckets that are whole intervals of a level read the same
// minima and maxima from the level as from the raw records, and the descent from a reduced
// maximum finds the record it came from.
TEST(ReadDataReduced, LevelsTheLibraryAddsAgreeWithTheRawRecords) {
    TempDir dir;
    const auto path = dir.file("levels.mf4");
    {
        HostTree tree(path);
        tree.addGroup(u"G");
        tree.addChannel(0, u"value", 5, 64);
        ASSERT_EQ(tree.create(), 0u);
        // 1 ms steps: level intervals of 0.0625 s, 1 s and 16 s.
        std::vector<double> times = evenTimes(20000, 0.001), values;
        for (std::size_t i = 0; i < times.size(); ++i) values.push_back(static_cast<double>(i * 7919 % 10007));
        ASSERT_EQ(WriteBatch().group(0, 5, times.data(), times.size()).channel(0, 5, values.data(), values.size()).write(tree.content()), 0u);
        ASSERT_EQ(tree.finish(), 0u);
    }
    // Per method (1 minimum, 2 maximum), one value per 1 s bucket, and the interval it was read at.
    auto buckets = [&](std::uint32_t method, double levelTime) {
        OpenedFile file(path);
        Buffer<double> a(32), b(32);
        const MF4ReadItem settings{.index = 0, .startTime = 0, .endTime = 20, .method = method, .bucketTime = 1,
                                   .levelTime = levelTime, .capacity = 32};
        EXPECT_EQ(reduce(file, MF4_READ_DOWNSAMPLED_TIME_BASED, settings, a, b), 0u);
        return std::pair{a.got(), a.usedInterval};
    };
    const auto rawMinima = buckets(1, 0), rawMaxima = buckets(2, 0);
    ASSERT_EQ(rawMinima.first.size(), 20u);
    EXPECT_EQ(rawMaxima.second, 0.0);

    ASSERT_EQ(fileCall(AddReductionData, path), 0u);
    const auto minima = buckets(1, -1), maxima = buckets(2, -1);
    EXPECT_EQ(minima.second, 1.0) << "read from the 1 s level";
    EXPECT_EQ(minima.first, rawMinima.first);
    EXPECT_EQ(maxima.first, rawMaxima.first);

    // The maximum of the interval at 3 s lies in record 3000 + j with that value.
    OpenedFile file(path);
    Buffer<double> when(1);
    MF4ReadItem ask = when.item(0, 1);
    ask.startTime = 3;
    ask.levelTime = 1;
    ask.reducedType = 5;
    ask.reducedValue.asDouble = maxima.first[3];
    ASSERT_EQ(file.read(MF4_READ_ORIGINAL_TIMESTAMP, {ask}), 0u);
    ASSERT_EQ(when.stored, 1u);
    const auto record = static_cast<std::uint64_t>(std::llround(when.values[0] / 0.001));
    EXPECT_EQ(static_cast<double>(record * 7919 % 10007), maxima.first[3]);
    EXPECT_GE(record, 3000u);
    EXPECT_LT(record, 4000u);
}

}  // namespace
