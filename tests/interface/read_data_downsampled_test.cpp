// Down-sampled reading (buckets of records, buckets of master time) compared value by value with
// a plain reduction worked out here. The reference first collects the records of every bucket
// and only then reduces each bucket, so it shares nothing with the library's one-pass
// accumulators; random data in all ten numeric kinds gives both many chances to disagree.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/mdf_blocks.h"
#include "support/read_items.h"

namespace {

using namespace tarvik::test;

constexpr std::uint32_t kRecords = 240;
// The integer master's linear conversion: time = kOffset + kFactor * raw.
constexpr double kOffset = 0.5, kFactor = 0.25;

// The value channels of the test files, in this order after the master.
using Kinds = std::tuple<std::int8_t, std::uint8_t, std::int16_t, std::uint16_t, std::int32_t,
                         std::uint32_t, float, std::int64_t, std::uint64_t, double>;
constexpr std::uint32_t kVarTypes[] = {16, 17, 2, 18, 3, 19, 4, 20, 21, 5};
constexpr std::size_t kKindCount = std::tuple_size_v<Kinds>;

template <typename F>
void forEachKind(F&& f) {
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (f(std::type_identity<std::tuple_element_t<I, Kinds>>{}, I), ...);
    }(std::make_index_sequence<kKindCount>{});
}

template <typename T>
std::string kindName() {
    return (std::is_floating_point_v<T> ? "float" : std::is_signed_v<T> ? "int" : "uint") + std::to_string(8 * sizeof(T));
}

// Random values with what makes reductions interesting: runs of equal values, small values that
// repeat within a bucket, the kind's extremes, and for floats signed zeros, infinities and NaN
// (in runs, so that some buckets hold nothing else).
template <typename T>
std::vector<T> randomValues(std::mt19937_64& rng, std::size_t count) {
    using Limits = std::numeric_limits<T>;
    std::vector<T> special = {Limits::lowest(), Limits::max(), T{0}, T{1}};
    if constexpr (std::is_floating_point_v<T>) {
        special.insert(special.end(), {T{-0.0}, Limits::denorm_min(), Limits::infinity(),
                                       -Limits::infinity(), Limits::quiet_NaN(),
                                       -Limits::quiet_NaN(), Limits::quiet_NaN()});
    } else if constexpr (sizeof(T) == 8) {
        // A mean that f64 holds exactly, but that turns into 2^52 + 2 when rounded as v + 0.5.
        special.push_back(static_cast<T>((std::uint64_t{1} << 52) + 1));
    }
    std::vector<T> values;
    while (values.size() < count) {
        const unsigned pick = rng() % 100;
        T value{};
        if (pick < 25) {
            value = special[rng() % special.size()];
        } else if (pick < 50) {
            value = static_cast<T>(static_cast<int>(rng() % 5) - (std::is_signed_v<T> ? 2 : 0));
            if constexpr (std::is_floating_point_v<T>) value /= 2;
        } else if constexpr (std::is_floating_point_v<T>) {
            using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
            do value = std::bit_cast<T>(static_cast<Bits>(rng()));
            while (!std::isfinite(value));
        } else {
            value = static_cast<T>(rng());
        }
        const std::size_t run = rng() % 4 == 0 ? 2 + rng() % 4 : 1;
        for (std::size_t i = 0; i < run && values.size() < count; ++i) values.push_back(value);
    }
    return values;
}

// One std::vector per kind, so that a column is found by its kind.
template <typename... T>
std::tuple<std::vector<T>...> columnsOf(std::tuple<T...>);

// What a test file holds: the master (float64 times, or uint32 values with a linear conversion)
// and one column of random values per kind.
struct Recording {
    bool integerMaster = false;
    std::vector<std::uint32_t> rawMaster;  // integer master only
    std::vector<double> times;             // the master after its conversion
    decltype(columnsOf(Kinds{})) columns;

    template <typename T>
    const std::vector<T>& column() const {
        return std::get<std::vector<T>>(columns);
    }
};

Recording makeRecording(std::uint64_t seed, bool integerMaster) {
    std::mt19937_64 rng(seed);
    Recording rec;
    rec.integerMaster = integerMaster;
    // Steps of 1/8 to 1/2 time units keep every time exact in binary, so records lie exactly on
    // bucket boundaries; now and then a gap of 3 units leaves buckets empty.
    std::uint32_t raw = 20;
    double time = -2.0;
    for (std::uint32_t i = 0; i < kRecords; ++i) {
        const bool gap = i % 60 == 31 || rng() % 40 == 0;
        if (integerMaster) {
            if (i > 0) raw += gap ? 12 : 1 + static_cast<std::uint32_t>(rng() % 3);
            rec.rawMaster.push_back(raw);
            rec.times.push_back(raw * kFactor + kOffset);
        } else {
            if (i > 0) time += gap ? 3.0 : 0.125 * static_cast<double>(1 + rng() % 4);
            rec.times.push_back(time);
        }
    }
    forEachKind([&]<typename T>(std::type_identity<T>, std::size_t) {
        std::get<std::vector<T>>(rec.columns) = randomValues<T>(rng, kRecords);
    });
    return rec;
}

// One data group: the master, then the ten value channels packed one after the other.
std::string fileBytes(const Recording& rec) {
    const std::uint32_t masterBytes = rec.integerMaster ? 4 : 8;
    MinimalFile m = makeMinimalFile({.time = {.type = 2, .syncType = 1, .dataType = std::uint8_t(rec.integerMaster ? 0 : 4),
                                              .bitCount = 8 * masterBytes},
                                     .recordCount = kRecords});
    if (rec.integerMaster)
        setLink(m.file, m.timeChannel, 4, m.file.addBlock("##CC", {0, 0, 0, 0}, ccData({.type = 1, .values = {kOffset, kFactor}})));
    std::int64_t previous = m.timeChannel;
    std::uint32_t recordBytes = masterBytes;
    forEachKind([&]<typename T>(std::type_identity<T>, std::size_t) {
        // Little-endian data types: 0 unsigned integer, 2 signed integer, 4 IEEE float.
        const std::uint8_t dataType = std::is_floating_point_v<T> ? 4 : std::is_signed_v<T> ? 2 : 0;
        const auto channel = addChannel(m.file, kindName<T>(), {.dataType = dataType, .byteOffset = recordBytes, .bitCount = 8 * sizeof(T)});
        setLink(m.file, previous, 0, channel);
        previous = channel;
        recordBytes += sizeof(T);
    });
    setRecordBytes(m.file, m.cg, recordBytes);
    std::string records;
    const auto appendRaw = [&records](auto value) { records.append(reinterpret_cast<const char*>(&value), sizeof value); };
    for (std::uint32_t r = 0; r < kRecords; ++r) {
        if (rec.integerMaster) appendRaw(rec.rawMaster[r]);
        else appendRaw(rec.times[r]);
        forEachKind([&]<typename T>(std::type_identity<T>, std::size_t) { appendRaw(rec.column<T>()[r]); });
    }
    setLink(m.file, m.dg, 2, m.file.addBlock("##DT", {}, records));
    return m.file.bytes();
}

// ---- The reference ------------------------------------------------------------------------

template <typename T, typename X>
struct Bucket {
    std::int64_t number = 0;
    std::vector<std::pair<X, T>> records;  // (x, value), in record order
};

// What a list-A item and its list-B partner should receive.
template <typename T, typename X>
struct Reduction {
    std::vector<T> values;
    std::vector<X> xs;

    void add(X x, T value) {
        xs.push_back(x);
        values.push_back(value);
    }
};

// Floats as the division gives them (a NaN anywhere makes the mean NaN); integer kinds rounded
// half away from zero and kept inside the kind (the f64 mean of the largest int64 is 2^63).
template <typename T>
T meanOf(const std::vector<T>& values) {
    double sum = 0;
    for (T value : values) sum += static_cast<double>(value);
    const double mean = sum / static_cast<double>(values.size());
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(mean);
    } else {
        using Limits = std::numeric_limits<T>;
        const double rounded = std::round(mean);
        if (rounded <= static_cast<double>(Limits::lowest())) return Limits::lowest();
        if (rounded >= static_cast<double>(Limits::max())) return Limits::max();
        return static_cast<T>(rounded);
    }
}

template <typename T, typename X>
void reduceBucket(const Bucket<T, X>& bucket, std::uint32_t method, X middle,
                  Reduction<T, X>& out) {
    if (method == MF4_DOWNSAMPLE_MEAN) {
        std::vector<T> values;
        for (const auto& record : bucket.records) values.push_back(record.second);
        out.add(middle, meanOf(values));
        return;
    }
    std::vector<std::pair<X, T>> numbers;
    for (const auto& record : bucket.records)
        if (!std::isnan(static_cast<double>(record.second))) numbers.push_back(record);
    if (numbers.empty()) {  // NaN only: one NaN where the bucket starts
        out.add(bucket.records.front().first, bucket.records.front().second);
        return;
    }
    // The first record holding the smallest and the first holding the largest value.
    std::size_t low = 0, high = 0;
    for (std::size_t i = 1; i < numbers.size(); ++i) {
        if (numbers[i].second < numbers[low].second) low = i;
        if (numbers[i].second > numbers[high].second) high = i;
    }
    if (method == MF4_DOWNSAMPLE_MIN) {
        out.add(numbers[low].first, numbers[low].second);
    } else if (method == MF4_DOWNSAMPLE_MAX) {
        out.add(numbers[high].first, numbers[high].second);
    } else {
        const std::size_t earlier = std::min(low, high), later = std::max(low, high);
        out.add(numbers[earlier].first, numbers[earlier].second);
        if (later != earlier) out.add(numbers[later].first, numbers[later].second);
    }
}

// Mode 1: buckets of B records counted from the first sample; x is the record index.
template <typename T>
Reduction<T, std::uint64_t> reduceByRecords(const std::vector<T>& values, const MF4ReadItem& item) {
    Reduction<T, std::uint64_t> out;
    const std::uint64_t first = item.firstSample, count = item.sampleCount;
    const std::uint64_t size = item.bucketSamples;
    if (count == 0 || size == 0) return out;
    const std::uint64_t end =
        std::min<std::uint64_t>(values.size(), first + (count + size - 1) / size * size);
    std::vector<Bucket<T, std::uint64_t>> buckets;
    for (std::uint64_t r = first; r < end; ++r) {
        const auto number = static_cast<std::int64_t>((r - first) / size);
        if (buckets.empty() || buckets.back().number != number) buckets.push_back({number, {}});
        buckets.back().records.emplace_back(r, values[r]);
    }
    for (const auto& bucket : buckets) {
        const auto number = static_cast<std::uint64_t>(bucket.number);
        const std::uint64_t middle = first + number * size + size / 2;
        reduceBucket(bucket, item.method, middle, out);
    }
    return out;
}

// Mode 3: the records a time range covers, by looking at every record. The range runs from the
// first record at or after the start to the last one at or before the end rounded up to a bucket
// boundary; with neighbours each side takes in the whole nearest bucket that holds a record.
std::optional<std::pair<std::size_t, std::size_t>> recordsInTime(const std::vector<double>& t,
                                                                 const MF4ReadItem& item) {
    const double start = item.startTime, end = item.endTime, width = item.bucketTime;
    if (!(width > 0) || t.empty()) return std::nullopt;
    auto firstAtOrAfter = [&](double time) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < t.size(); ++i)
            if (t[i] >= time) return i;
        return std::nullopt;
    };
    auto lastAtOrBefore = [&](double time) -> std::optional<std::size_t> {
        for (std::size_t i = t.size(); i-- > 0;)
            if (t[i] <= time) return i;
        return std::nullopt;
    };
    std::optional<std::size_t> first = 0, last = t.size() - 1;
    if (t.front() < start) {
        double from = start;
        if (item.withNeighbours) {  // the whole bucket of the last record before the start
            const std::size_t before = *lastAtOrBefore(std::nextafter(start, -INFINITY));
            from = start + std::floor((t[before] - start) / width) * width;
        }
        first = firstAtOrAfter(from);
    }
    if (t.back() > end) {
        double to = start + std::ceil((end - start) / width) * width;
        if (item.withNeighbours) {  // the whole bucket of the first record after that boundary
            const auto after = firstAtOrAfter(std::nextafter(to, INFINITY));
            if (after) to = start + std::ceil((t[*after] - start) / width) * width;
        }
        last = lastAtOrBefore(std::min(to, t.back()));
    }
    if (!first || !last || *first > *last) return std::nullopt;
    return std::pair{*first, *last};
}

// Mode 3: buckets of bucketTime from the start time; x is the master value as stored. The last
// record of the range, when it lies exactly on a boundary at or after the end time, closes the
// bucket before it.
template <typename T, typename X>
Reduction<T, X> reduceByTime(const Recording& rec, const MF4ReadItem& item) {
    const std::vector<T>& values = rec.column<T>();
    Reduction<T, X> out;
    const auto range = recordsInTime(rec.times, item);
    if (!range) return out;
    const double start = item.startTime, width = item.bucketTime;
    auto rawOf = [&](std::size_t r) {
        if constexpr (std::is_same_v<X, double>) return rec.times[r];
        else return X{rec.rawMaster[r]};
    };
    std::vector<Bucket<T, X>> buckets;
    for (std::size_t r = range->first; r <= range->second; ++r) {
        const double position = (rec.times[r] - start) / width;
        auto number = static_cast<std::int64_t>(std::floor(position));
        if (r == range->second && std::floor(position) == position && rec.times[r] >= item.endTime) --number;
        if (buckets.empty() || buckets.back().number != number) buckets.push_back({number, {}});
        buckets.back().records.emplace_back(rawOf(r), values[r]);
    }
    for (const auto& bucket : buckets) {
        const double middle = start + static_cast<double>(bucket.number) * width + 0.5 * width;
        X x{};
        if constexpr (std::is_same_v<X, double>) x = middle;  // the float master has no conversion
        else x = static_cast<X>(std::round((middle - kOffset) / kFactor));
        reduceBucket(bucket, item.method, x, out);
    }
    return out;
}

// ---- The library's side -------------------------------------------------------------------

constexpr unsigned char kUntouched = 0xA5;
constexpr std::uint64_t kGuardSlots = 4;
constexpr std::uint64_t kEverything = 2 * kRecords + 2;
constexpr const char* kMethodNames[] = {"MinMax", "Min", "Max", "Mean"};

// One channel's buffers in both lists (with guard slots past the capacity) and their counters.
struct Slots {
    std::vector<unsigned char> a, b;
    std::uint64_t capacity = 0;
    std::uint64_t storedA = 99, totalA = 99, storedB = 99, totalB = 99;
    std::uint64_t events[4] = {};
};

// Reads the ten channels of `file` in one call, channel k with method (methodBase + k) % 4, the
// k-th list-B item paired with the k-th list-A item. X values take 8 bytes in mode 1, else
// `xBytes` (the master's width).
std::vector<Slots> readTenChannels(OpenedFile& file, std::uint32_t mode, const MF4ReadItem& pattern,
                                   std::uint32_t methodBase, std::uint64_t capacity, std::uint64_t xBytes) {
    std::vector<Slots> slots(kKindCount);
    std::vector<MF4ReadItem> listA(kKindCount, pattern), listB(kKindCount, pattern);
    if (mode == MF4_READ_DOWNSAMPLED_SAMPLE_BASED) xBytes = 8;
    forEachKind([&]<typename T>(std::type_identity<T>, std::size_t k) {
        Slots& s = slots[k];
        s.capacity = capacity;
        s.a.assign((capacity + kGuardSlots) * sizeof(T), kUntouched);
        s.b.assign((capacity + kGuardSlots) * xBytes, kUntouched);
        for (MF4ReadItem* it : {&listA[k], &listB[k]}) {
            it->index = k;
            it->method = static_cast<std::uint32_t>((methodBase + k) % 4);
            it->capacity = capacity;
            it->eventsStored = &s.events[it == &listA[k] ? 0 : 2];
            it->eventsTotal = &s.events[it == &listA[k] ? 1 : 3];
        }
        listA[k].values = s.a.data();
        listA[k].valuesStored = &s.storedA;
        listA[k].valuesTotal = &s.totalA;
        listB[k].values = s.b.data();
        listB[k].valuesStored = &s.storedB;
        listB[k].valuesTotal = &s.totalB;
    });
    EXPECT_EQ(file.read(mode, listA, listB), 0u);
    return slots;
}

bool holdsTheTenKinds(const MF4Content* content) {
    if (content == nullptr || content->channelCount != kKindCount) return false;
    for (std::size_t k = 0; k < kKindCount; ++k)
        if (content->channels[k].valueType != kVarTypes[k]) return false;
    return true;
}

template <typename T>
std::string show(T value) {
    std::ostringstream text;
    if constexpr (std::is_floating_point_v<T>) text << std::hexfloat << value;
    else text << +value;
    return text.str();
}

// Exact agreement: the same bits for floats, except that any NaN matches any NaN.
template <typename T>
bool same(T expected, T got) {
    if constexpr (std::is_floating_point_v<T>) {
        using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
        if (std::isnan(expected) || std::isnan(got)) return std::isnan(expected) && std::isnan(got);
        return std::bit_cast<Bits>(expected) == std::bit_cast<Bits>(got);
    } else {
        return expected == got;
    }
}

// The first `count` slots of `area` against `expected`, and nothing written after them.
template <typename T>
testing::AssertionResult sameSlots(const std::vector<T>& expected,
                                   const std::vector<unsigned char>& area, std::uint64_t count) {
    for (std::uint64_t i = 0; i < count; ++i) {
        T got;
        std::memcpy(&got, area.data() + i * sizeof(T), sizeof(T));
        if (!same(expected[i], got))
            return testing::AssertionFailure() << "slot " << i << " of " << count << ": expected "
                                               << show(expected[i]) << ", got " << show(got);
    }
    for (std::size_t byte = count * sizeof(T); byte < area.size(); ++byte)
        if (area[byte] != kUntouched)
            return testing::AssertionFailure() << "written past slot " << count;
    return testing::AssertionSuccess();
}

template <typename T, typename X>
void expectSlots(const Reduction<T, X>& expected, const Slots& slots) {
    const std::uint64_t total = expected.values.size(), stored = std::min(total, slots.capacity);
    EXPECT_EQ(slots.totalA, total);
    EXPECT_EQ(slots.storedA, stored);
    EXPECT_EQ(slots.totalB, total);
    EXPECT_EQ(slots.storedB, stored);
    EXPECT_TRUE(sameSlots(expected.values, slots.a, stored)) << "values (list A)";
    EXPECT_TRUE(sameSlots(expected.xs, slots.b, stored)) << "positions (list B)";
}

// Reads `pattern` four times, so that every kind meets every method, and hands each kind's
// slots to `check(kind, item, slots)` under a trace naming the case.
template <typename Check>
void readEveryKindAndMethod(OpenedFile& file, std::uint64_t xBytes, std::uint32_t mode, const MF4ReadItem& pattern,
                            std::uint64_t capacity, const std::string& label, Check check) {
    for (std::uint32_t methodBase = 0; methodBase < 4; ++methodBase) {
        const auto slots = readTenChannels(file, mode, pattern, methodBase, capacity, xBytes);
        forEachKind([&]<typename T>(std::type_identity<T>, std::size_t k) {
            MF4ReadItem item = pattern;
            item.method = static_cast<std::uint32_t>((methodBase + k) % 4);
            SCOPED_TRACE(kindName<T>() + ", " + kMethodNames[item.method] + ", " + label);
            check(std::type_identity<T>{}, item, slots[k]);
        });
    }
}

// ---- The tests ----------------------------------------------------------------------------

TEST(ReadDataDownSampled, BucketsOfRecordsAgreeWithAPlainReduction) {
    struct Case {
        const char* name;
        std::uint64_t first, count, bucket, capacity = kEverything;
        std::uint32_t withNeighbours = 0;
    };
    const Case cases[] = {
        {"buckets of one record", 0, kRecords, 1},
        {"buckets of 7, not dividing the count", 0, kRecords, 7},
        {"from record 5, 100 records in buckets of 8", 5, 100, 8},
        {"from record 17 to beyond the end", 17, 1000, 16},
        {"a capacity below the result", 3, 150, 10, 5},
        {"one bucket larger than the recording", 0, kRecords, kRecords + 10},
        {"the last three records", kRecords - 3, 10, 4},
        {"withNeighbours changes nothing", 30, 40, 6, kEverything, 1},
        {"a first record after the end", kRecords + 5, 10, 4},
        {"no records asked for", 0, 0, 4},
        {"buckets of no record", 0, kRecords, 0},
    };
    for (const bool integerMaster : {false, true}) {
        const Recording rec = makeRecording(integerMaster ? 11 : 7, integerMaster);
        OpenedFile file(fileBytes(rec));
        ASSERT_TRUE(holdsTheTenKinds(file.content()));
        for (const Case& c : cases) {
            MF4ReadItem pattern{};
            pattern.firstSample = c.first;
            pattern.sampleCount = c.count;
            pattern.bucketSamples = c.bucket;
            pattern.withNeighbours = c.withNeighbours;
            readEveryKindAndMethod(
                file, integerMaster ? 4 : 8, MF4_READ_DOWNSAMPLED_SAMPLE_BASED, pattern, c.capacity,
                c.name + std::string(integerMaster ? ", uint32 master" : ", float64 master"),
                [&]<typename T>(std::type_identity<T>, const MF4ReadItem& item, const Slots& s) {
                    expectSlots(reduceByRecords(rec.column<T>(), item), s);
                });
        }
    }
}

TEST(ReadDataDownSampled, BucketsOfMasterTimeAgreeWithAPlainReduction) {
    for (const bool integerMaster : {false, true}) {
        const Recording rec = makeRecording(integerMaster ? 13 : 5, integerMaster);
        OpenedFile file(fileBytes(rec));
        ASSERT_TRUE(holdsTheTenKinds(file.content()));
        const std::vector<double>& t = rec.times;
        const double tmin = t.front(), tmax = t.back();
        // A gap of 3 time units after record g, and a record j after which the range from
        // record 40 ends exactly on a boundary of half-unit buckets.
        std::size_t g = 20;
        while (g + 20 < kRecords && t[g + 1] - t[g] < 3.0) ++g;
        std::size_t j = 170;
        while (j + 1 < kRecords && std::fmod(t[j] - t[40], 0.5) != 0) ++j;
        ASSERT_LT(g + 20, kRecords);
        ASSERT_LT(j + 1, kRecords);
        struct Case {
            const char* name;
            double start, end, width;
            std::uint32_t withNeighbours = 0;
            std::uint64_t capacity = kEverything;
        };
        const Case cases[] = {
            {"the recording inside a wider range", tmin - 1.5, tmax + 2, 1.0},
            {"start on a record, end on a record on a boundary", t[40], t[j], 0.5},
            {"start and end between records", t[40] + 0.0625, t[170] - 0.0625, 0.75},
            {"every record on a boundary", t[10], t[100], 0.125},
            {"wide buckets", t[5] - 0.25, t[200], 7.0},
            {"a capacity below the result", tmin, tmax, 0.5, 0, 5},
            {"a start after the recording", tmax + 1, tmax + 5, 1.0},
            {"an end before the recording, its bucket reaching in", tmin - 2.5, tmin - 0.25, 1.0},
            {"an end far before the recording", tmin - 10, tmin - 5, 1.0},
            {"one record, on its bucket's lower edge", t[50], t[50], 0.5},
            {"width 0", tmin, tmax, 0.0},
            {"a negative width", tmin, tmax, -1.0},
            {"neighbour buckets", t[60] + 0.0625, t[120] + 0.0625, 0.5, 1},
            {"neighbours across a gap before the start", t[g + 1] - 0.5, t[g + 1] + 4, 1.0, 1},
            {"neighbours across a gap after the end", t[g] - 2.0, t[g] + 0.5, 1.0, 1},
            {"neighbours of a range inside a gap", t[g] + 0.75, t[g] + 1.5, 0.5, 1},
            {"neighbours at the edges of the recording", tmin, tmax, 0.5, 1},
            // The bucket before the start is empty although the start lies on a record.
            {"neighbours, start on a record after an empty bucket", t[g + 1], t[g + 1] + 4, 1.0, 1},
        };
        for (const Case& c : cases) {
            MF4ReadItem pattern{};
            pattern.startTime = c.start;
            pattern.endTime = c.end;
            pattern.bucketTime = c.width;
            pattern.withNeighbours = c.withNeighbours;
            pattern.levelTime = 0;  // the raw records
            readEveryKindAndMethod(
                file, integerMaster ? 4 : 8, MF4_READ_DOWNSAMPLED_TIME_BASED, pattern, c.capacity,
                c.name + std::string(integerMaster ? ", uint32 master" : ", float64 master"),
                [&]<typename T>(std::type_identity<T>, const MF4ReadItem& item, const Slots& s) {
                    if (integerMaster) expectSlots(reduceByTime<T, std::uint32_t>(rec, item), s);
                    else expectSlots(reduceByTime<T, double>(rec, item), s);
                });
        }
    }
}

}  // namespace
