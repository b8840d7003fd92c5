// Reduction levels checked against a reference worked out directly from the values written: for
// generated groups of every master kind and many channel kinds, the rows that AddReductionData
// adds and the rows computed while writing both equal what the reference says every interval of
// every level holds.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "blocks/block_layer.h"
#include "blocks/file_open.h"
#include "blocks/read_context.h"
#include "blocks/stream.h"
#include "blocks/structure_read.h"
#include "content/record_field.h"
#include "content/value_kinds.h"
#include "blocks/data_source.h"
#include "findings/findings.h"
#include "support/host_tree.h"
#include "support/read_items.h"
#include "support/temp_dir.h"

namespace tarvik {
namespace {

using test::ContentRead;
using test::HostTree;
using test::TempDir;
using test::WriteBatch;

// A channel kind: VARTYPE, bits, elements; values in a range that keeps every sum exact in a
// long double, so the reference's means are exact too.
struct Kind {
    std::uint32_t valueType;
    std::uint32_t bitCount;
    std::uint64_t elements = 1;
};
const Kind kChannelKinds[] = {{5, 64}, {4, 32}, {16, 8}, {18, 16}, {3, 32}, {2, 12}, {21, 64}, {20, 64}, {17, 3}, {18, 16, 3}};
// Rows of a record this wide fill a row buffer within some thousand records, so the buffers go
// to the file between batches and between the windows a recovery reads.
const Kind kWideArray{5, 64, 700};
const std::uint32_t kMasterKinds[] = {5, 4, 21, 20, 19, 3};

// The value `v` as the bytes of `valueType`'s C type.
void appendAs(std::string& bytes, std::uint32_t valueType, long double v) {
    withNumericKind(valueType, [&](auto kind) {
        const auto typed = static_cast<decltype(kind)>(v);
        bytes.append(reinterpret_cast<const char*>(&typed), sizeof typed);
    });
}

// A random value a field of the kind holds exactly; now and then NaN for floating point.
long double randomValue(const Kind& kind, std::mt19937_64& random) {
    if (kind.valueType == 4 || kind.valueType == 5) {
        if (random() % 11 == 0) return std::numeric_limits<long double>::quiet_NaN();
        const double wide = std::uniform_real_distribution<double>(-1e5, 1e5)(random);
        return kind.valueType == 4 ? static_cast<float>(wide) : wide;
    }
    const bool isSigned = kind.valueType == 16 || kind.valueType == 2 || kind.valueType == 3 || kind.valueType == 20;
    const unsigned bits = std::min(kind.bitCount, 40u) - (isSigned ? 1 : 0);
    const auto magnitude = static_cast<long double>(random() & ((std::uint64_t{1} << bits) - 1));
    return isSigned && random() % 2 ? -magnitude - 1 : magnitude;
}

// One generated group: master kind, its conversion, the channels and every value.
struct Recording {
    std::uint32_t masterType = 5;
    bool linear = false;  // a linear master conversion (possibly the identity)
    double offset = 0, factor = 1;
    std::vector<Kind> kinds;
    std::vector<long double> raw;                    // master values as stored
    std::vector<std::vector<long double>> values;    // per channel, record by record, element by element
    std::vector<std::uint64_t> batches;              // records per WriteData call
};

Recording generate(std::mt19937_64& random, bool wide = false) {
    Recording r;
    r.masterType = kMasterKinds[random() % std::size(kMasterKinds)];
    const bool floating = r.masterType == 4 || r.masterType == 5;
    r.linear = random() % 2 == 0;
    if (r.linear && random() % 3 != 0) {
        r.offset = floating ? 0.5 : 100.0;
        r.factor = floating ? 2.0 : 1e-3;
    }
    const std::uint64_t records = wide ? 3000 + random() % 1000 : random() % 5 == 0 ? 1 + random() % 3 : 1 + random() % 6000;
    // Steps that vary a little around a base, so the period is a mean and not a constant.
    const double base = floating ? std::ldexp(1.0, -static_cast<int>(random() % 12)) * 1.37 : 1 + random() % 5000;
    long double t = floating ? 0.125 : static_cast<long double>(random() % 100000);
    for (std::uint64_t i = 0; i < records; ++i) {
        r.raw.push_back(floating && r.masterType == 4 ? static_cast<float>(t) : t);
        t += floating ? base * (1 + 0.25 * (i % 3)) : static_cast<long double>(base + i % 3);
    }
    for (std::size_t c = 0, n = 1 + random() % 5; c < n; ++c) {
        const Kind kind = wide && c == 0 ? kWideArray : kChannelKinds[random() % std::size(kChannelKinds)];
        r.kinds.push_back(kind);
        auto& values = r.values.emplace_back();
        for (std::uint64_t i = 0; i < records * kind.elements; ++i) values.push_back(randomValue(kind, random));
    }
    for (std::uint64_t left = records; left > 0;) {
        const std::uint64_t n = std::min<std::uint64_t>(left, 1 + random() % 900);
        r.batches.push_back(n);
        left -= n;
    }
    return r;
}

// How a recording is written: finished without reduction, finished with the levels computed
// while writing, or left unfinished (CloseUnfinished) for recovery.
enum class Ending { Plain, Reduced, Unfinished };

// Writes the recording through the public interface.
void write(const Recording& r, const std::filesystem::path& file, Ending ending) {
    HostTree tree(file);
    MF4ChannelGroup& group = tree.addGroup(u"group", r.masterType);
    group.withReduction = ending == Ending::Reduced ? 1 : 0;
    if (r.linear) {
        MF4Conversion& conversion = tree.addConversion(1);
        conversion.parameters.linear[0] = r.offset;
        conversion.parameters.linear[1] = r.factor;
        group.masterConversion = 0;
    }
    for (std::size_t c = 0; c < r.kinds.size(); ++c) {
        MF4Channel& channel = tree.addChannel(0, u"c" + std::u16string(1, static_cast<char16_t>(u'0' + c)),
                                              r.kinds[c].valueType, r.kinds[c].bitCount);
        if (r.kinds[c].elements > 1) {
            channel.dimensionCount = 1;
            channel.dimensionSizes[0] = r.kinds[c].elements;
        }
    }
    ASSERT_EQ(tree.create(), MF4_OK);
    std::uint64_t first = 0;
    for (std::uint64_t count : r.batches) {
        std::string master;
        for (std::uint64_t i = first; i < first + count; ++i) appendAs(master, r.masterType, r.raw[i]);
        std::vector<std::string> channels(r.kinds.size());
        WriteBatch batch;
        batch.group(0, r.masterType, master.data(), count);
        for (std::size_t c = 0; c < r.kinds.size(); ++c) {
            const std::uint64_t e = r.kinds[c].elements;
            for (std::uint64_t i = first * e; i < (first + count) * e; ++i) appendAs(channels[c], r.kinds[c].valueType, r.values[c][i]);
            batch.channel(c, r.kinds[c].valueType, channels[c].data(), count * e);
        }
        ASSERT_EQ(batch.write(tree.content()), MF4_OK);
        first += count;
    }
    if (ending == Ending::Unfinished) CloseUnfinished(tree.content());
    else ASSERT_EQ(tree.finish(), MF4_OK);
}

// The rows of one level as stored: per row the mean, minimum and maximum of every field.
struct StoredLevel {
    double interval = 0;
    std::vector<std::vector<long double>> means, minimums, maximums;  // [row][field]; field 0 the master
};

// Reads every level of the file's first group back from its RD blocks, decoding the fields the
// group's channels describe (master first, then each element of each channel in order).
std::vector<StoredLevel> storedLevels(const std::filesystem::path& file) {
    ZtCBlockLayerCore layer;
    layer.SetFilePath(test::widePath(file));
    FindingList findings;
    std::vector<StoredLevel> levels;
    if (readStructure(layer, findings, kReadSkipEvents) != platform::kOk) return levels;
    const CgRecord& group = layer.hdRecord()->dataGroups.front().groups.front();
    const std::uint64_t part = group.cg_data_bytes;
    ZtCMF4Stream stream;
    if (openForReading(stream, test::widePath(file), findings) != platform::kOk) return levels;
    for (const SrRecord& reduction : group.reductions) {
        StoredLevel& level = levels.emplace_back();
        level.interval = reduction.sr_interval;
        std::vector<std::uint8_t> rows(3 * part * reduction.sr_cycle_count);
        DataSource source = DataSource::forSampleReduction(reduction, rows.size());
        EXPECT_EQ(source.read(stream, 0, rows.data(), rows.size()), rows.size());
        for (std::uint64_t row = 0; row < reduction.sr_cycle_count; ++row) {
            std::vector<long double>* parts[] = {&level.means.emplace_back(), &level.minimums.emplace_back(),
                                                 &level.maximums.emplace_back()};
            for (int p = 0; p < 3; ++p) {
                const std::uint8_t* record = rows.data() + (3 * row + p) * part;
                // In the order the recording lists them: the master, then "c0", "c1", ...
                std::vector<const CnRecord*> ordered(group.channels.size());
                for (const CnRecord& channel : group.channels)
                    ordered[channel.cn_type == kCnMaster ? 0 : 1 + (channel.name->back() - u'0')] = &channel;
                for (const CnRecord* listed : ordered) {
                    const CnRecord& channel = *listed;
                    const std::uint32_t kind = valueTypeOf(channel.cn_data_type, channel.cn_bit_count, channel.cn_type);
                    const std::uint64_t elements = channel.array ? channel.array->elementCount : 1;
                    for (std::uint64_t e = 0; e < elements; ++e) {
                        withNumericKind(kind, [&](auto typed) {
                            const auto value = decodeField<decltype(typed)>(
                                record, channel.cn_byte_offset + static_cast<std::uint32_t>(e * ((channel.cn_bit_count + 7) / 8)),
                                channel.cn_bit_offset, channel.cn_bit_count, false);
                            parts[p]->push_back(static_cast<long double>(value));
                        });
                    }
                }
            }
        }
    }
    return levels;
}

// `v` rounded to the C type of `valueType`.
long double inType(std::uint32_t valueType, long double v) {
    long double result = v;
    withNumericKind(valueType, [&](auto kind) { result = static_cast<long double>(static_cast<decltype(kind)>(v)); });
    return result;
}

// What every level must hold, worked out from the values: the period from the mean step of the
// first `periodRecords` times, cut to 16 significant bits; record i lies in interval
// floor(t_i / (64 x 16^n x P)) of level n; a level holds a row per interval with records, and the
// next level exists while a level has more than one row.
std::vector<StoredLevel> expectedLevels(const Recording& r, std::uint64_t periodRecords) {
    const std::uint64_t n = r.raw.size();
    const double factor = r.linear && !(r.offset == 0 && r.factor == 1) ? r.factor : 1;
    std::vector<double> times;
    for (long double raw : r.raw) times.push_back(static_cast<double>(raw - r.raw[0]) * factor);
    periodRecords = std::min(periodRecords, n);
    double period = 1;
    if (periodRecords >= 2) {
        double sum = 0;
        for (std::uint64_t i = 1; i < periodRecords; ++i) sum += times[i] - times[i - 1];
        std::uint64_t bits;
        const double mean = sum / static_cast<double>(periodRecords - 1);
        std::memcpy(&bits, &mean, 8);
        bits &= 0xFFFF000000000000ull;
        std::memcpy(&period, &bits, 8);
    }
    std::vector<StoredLevel> levels;
    for (double interval = 64 * period;; interval *= 16) {
        StoredLevel& level = levels.emplace_back();
        level.interval = interval;
        std::uint64_t index = ~std::uint64_t{0};
        for (std::uint64_t i = 0; i < n; ++i) {
            const auto k = static_cast<std::uint64_t>(std::floor(times[i] / interval));
            if (k == index && i != 0) continue;
            index = k;
            std::uint64_t end = i;
            while (end < n && static_cast<std::uint64_t>(std::floor(times[end] / interval)) == k) ++end;
            // The master: the interval's start as a raw value, and the steps into its records.
            const bool floating = r.masterType == 4 || r.masterType == 5;
            const double start = static_cast<double>(k) * interval / factor;
            std::vector<long double> mean{floating ? inType(r.masterType, static_cast<double>(r.raw[0]) + start)
                                                   : r.raw[0] + std::floor(start)};
            long double smallest = 0, largest = 0;
            for (std::uint64_t j = std::max<std::uint64_t>(i, 1); j < end; ++j) {
                const long double step = inType(r.masterType, inType(r.masterType, r.raw[j]) - inType(r.masterType, r.raw[j - 1]));
                smallest = j == std::max<std::uint64_t>(i, 1) ? step : std::min(smallest, step);
                largest = j == std::max<std::uint64_t>(i, 1) ? step : std::max(largest, step);
            }
            std::vector<long double> low{smallest}, high{largest};
            for (std::size_t c = 0; c < r.kinds.size(); ++c) {
                const std::uint64_t elements = r.kinds[c].elements;
                const bool integer = r.kinds[c].valueType != 4 && r.kinds[c].valueType != 5;
                // Record by record, element by element: the values lie in that order. Integers and
                // their sums are exact in a double.
                std::vector<double> sum(elements, 0), lo(elements, NAN), hi(elements, NAN);
                for (std::uint64_t j = i; j < end; ++j) {
                    for (std::uint64_t e = 0; e < elements; ++e) {
                        const auto v = static_cast<double>(r.values[c][j * elements + e]);
                        sum[e] += v;
                        if (!std::isnan(v)) lo[e] = std::isnan(lo[e]) ? v : std::min(lo[e], v), hi[e] = std::isnan(hi[e]) ? v : std::max(hi[e], v);
                    }
                }
                for (std::uint64_t e = 0; e < elements; ++e) {
                    const long double average = static_cast<long double>(sum[e]) / static_cast<long double>(end - i);
                    mean.push_back(integer ? std::round(average) : average);
                    low.push_back(lo[e]);
                    high.push_back(hi[e]);
                }
            }
            level.means.push_back(mean);
            level.minimums.push_back(low);
            level.maximums.push_back(high);
        }
        if (level.means.size() <= 1) break;
    }
    return levels;
}

bool same(long double got, long double want, bool floatingMean) {
    if (std::isnan(got) || std::isnan(want)) return std::isnan(got) && std::isnan(want);
    // A mean of floating-point values is summed in another order on higher levels.
    if (floatingMean) return std::fabs(got - want) <= 1e-6L * std::max<long double>(1, std::fabs(want));
    return got == want;
}

void expectLevels(const std::vector<StoredLevel>& got, const std::vector<StoredLevel>& want, const Recording& r) {
    ASSERT_EQ(got.size(), want.size()) << "levels";
    std::vector<bool> floating{false};
    for (const Kind& kind : r.kinds)
        for (std::uint64_t e = 0; e < kind.elements; ++e) floating.push_back(kind.valueType == 4 || kind.valueType == 5);
    for (std::size_t l = 0; l < got.size(); ++l) {
        SCOPED_TRACE("level " + std::to_string(l));
        EXPECT_EQ(got[l].interval, want[l].interval);
        ASSERT_EQ(got[l].means.size(), want[l].means.size()) << "rows";
        for (std::size_t row = 0; row < got[l].means.size(); ++row) {
            for (std::size_t f = 0; f < floating.size(); ++f) {
                SCOPED_TRACE("row " + std::to_string(row) + ", field " + std::to_string(f));
                ASSERT_TRUE(same(got[l].means[row][f], want[l].means[row][f], floating[f] && f != 0))
                    << "mean " << static_cast<double>(got[l].means[row][f]) << " vs " << static_cast<double>(want[l].means[row][f]);
                ASSERT_TRUE(same(got[l].minimums[row][f], want[l].minimums[row][f], false))
                    << "minimum " << static_cast<double>(got[l].minimums[row][f]) << " vs " << static_cast<double>(want[l].minimums[row][f]);
                ASSERT_TRUE(same(got[l].maximums[row][f], want[l].maximums[row][f], false))
                    << "maximum " << static_cast<double>(got[l].maximums[row][f]) << " vs " << static_cast<double>(want[l].maximums[row][f]);
            }
        }
    }
}

// True when the master values, as stored, rise from record to record (recovery keeps them all).
bool rises(const Recording& r) {
    for (std::size_t i = 1; i < r.raw.size(); ++i)
        if (!(inType(r.masterType, r.raw[i]) > inType(r.masterType, r.raw[i - 1]))) return false;
    return true;
}

TEST(Reduction, LevelsEqualAReferenceForEveryMasterAndChannelKind) {
    std::mt19937_64 random(5150);
    const TempDir dir;
    for (int round = 0; round < 64; ++round) {
        const Recording r = generate(random, round % 32 == 31);
        SCOPED_TRACE("round " + std::to_string(round) + ": master " + std::to_string(r.masterType) + ", " +
                     std::to_string(r.raw.size()) + " records, first batch " + std::to_string(r.batches[0]));
        // Written plainly, then reduced: the period comes from the first 10000 records.
        const auto plain = dir.file("plain.mf4");
        write(r, plain, Ending::Plain);
        ASSERT_EQ(test::fileCall(AddReductionData, plain), MF4_OK);
        expectLevels(storedLevels(plain), expectedLevels(r, 10000), r);
        // A group that has reduction data is left alone.
        const std::string reduced = test::fileBytes(plain);
        ASSERT_EQ(test::fileCall(AddReductionData, plain), MF4_OK);
        ASSERT_EQ(test::fileBytes(plain), reduced);

        // Reduced while written: the period comes from the first batch.
        const auto live = dir.file("live.mf4");
        write(r, live, Ending::Reduced);
        expectLevels(storedLevels(live), expectedLevels(r, r.batches[0]), r);

        // Left unfinished and recovered: reduced as the repair reads the records.
        if (!rises(r)) continue;
        const auto left = dir.file("left.mf4");
        write(r, left, Ending::Unfinished);
        ASSERT_EQ(test::fileCall(RecoverStreamingFile, left), MF4_OK);
        expectLevels(storedLevels(left), expectedLevels(r, 10000), r);
        if (HasFatalFailure()) return;
    }
}

// 64 records 1 ms apart: the period 0.001 keeps 16 bits as 0.0009765625, so level 0's intervals
// are 0.0625 s long; the record at 0.063 s falls into interval 1, interval 0 holds 63 records, and
// level 1 (1 s) is one row over all. One record: period 1, and no step in the master's row.
TEST(Reduction, WorkedExamples) {
    const TempDir dir;
    Recording r{.masterType = 5, .kinds = {{5, 64}}, .values = {{}}, .batches = {64}};
    for (int i = 0; i < 64; ++i) r.raw.push_back(i * 0.001), r.values[0].push_back(i);
    write(r, dir.file("ms.mf4"), Ending::Plain);
    ASSERT_EQ(test::fileCall(AddReductionData, dir.file("ms.mf4")), MF4_OK);
    const std::vector<StoredLevel> levels = storedLevels(dir.file("ms.mf4"));
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(levels[0].interval, 0.0625);
    EXPECT_EQ(levels[1].interval, 1.0);
    ASSERT_EQ(levels[0].means.size(), 2u);
    EXPECT_EQ(levels[0].means[0][1], 31.0L) << "the mean of 0 .. 62";
    EXPECT_EQ(levels[0].maximums[0][1], 62.0L);
    EXPECT_EQ(levels[0].means[1][1], 63.0L);
    EXPECT_EQ(levels[0].means[1][0], 0.0625L) << "the second interval's time";
    ASSERT_EQ(levels[1].means.size(), 1u);
    EXPECT_EQ(levels[1].means[0][1], 31.5L);

    Recording one{.masterType = 21, .kinds = {{3, 32}}, .raw = {7}, .values = {{-5}}, .batches = {1}};
    write(one, dir.file("one.mf4"), Ending::Reduced);
    const std::vector<StoredLevel> single = storedLevels(dir.file("one.mf4"));
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].interval, 64.0);
    ASSERT_EQ(single[0].means.size(), 1u);
    EXPECT_EQ(single[0].means[0], (std::vector<long double>{7, -5}));
    EXPECT_EQ(single[0].minimums[0], (std::vector<long double>{0, -5}));
    EXPECT_EQ(single[0].maximums[0], (std::vector<long double>{0, -5}));
}

}  // namespace
}  // namespace tarvik
