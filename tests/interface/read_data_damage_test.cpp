// ReadData on damaged files: whatever a file's bytes say, reading every channel through the
// public interface must end without a crash, a hang or a sanitizer report.
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/mdf_blocks.h"
#include "support/temp_dir.h"

namespace {

using namespace tarvik::test;

constexpr std::uint64_t kMaxValues = 1 << 16;

// The reduced modes on one channel item: buckets of records, buckets of time (from a reduction
// level when the file has one) and the original time of a reduced value.
void readReduced(MF4Content* content, MF4ReadItem item, double firstLevel) {
    std::vector<std::uint64_t> positions(item.capacity);
    std::uint64_t counters[4] = {};
    MF4ReadItem paired = item;
    paired.values = positions.data();
    paired.valuesStored = &counters[0];
    paired.valuesTotal = &counters[1];
    paired.eventsStored = &counters[2];
    paired.eventsTotal = &counters[3];
    for (MF4ReadItem* it : {&item, &paired}) {
        it->sampleCount = 1000;
        it->bucketSamples = 3;
        it->startTime = -10;
        it->endTime = 1e6;
        it->bucketTime = 0.05;
        it->levelTime = -1;
        it->withNeighbours = 1;
    }
    for (std::uint32_t mode : {1u, 3u, 4u}) {
        if (mode == 4) {
            item.levelTime = firstLevel;
            item.reducedType = 5;
        }
        MF4ReadRequest request{};
        request.mode = mode;
        request.channelItems = &item;
        request.channelItemCount = 1;
        request.groupItems = &paired;
        request.groupItemCount = 1;
        for (std::uint32_t method : {0u, 3u}) {
            item.method = paired.method = method;
            ReadData(content, &request, nullptr, nullptr);
            EXPECT_LE(*item.valuesStored, *item.valuesTotal);
        }
    }
}

// Reads every numeric and string channel of every group with buffers sized from the tree.
void readEverything(MF4Content* content) {
    for (std::uint64_t g = 0; g < content->groupCount; ++g) {
        const std::uint64_t records = std::min<std::uint64_t>(content->groups[g].cycleCount, 4096);
        std::vector<double> master(records);
        std::uint64_t counters[4] = {};
        MF4ReadItem groupItem{};
        groupItem.index = g;
        groupItem.values = master.data();
        groupItem.capacity = content->groups[g].masterValueType == 5 ? records : 0;
        groupItem.valuesStored = &counters[0];
        groupItem.valuesTotal = &counters[1];
        groupItem.eventsStored = &counters[2];
        groupItem.eventsTotal = &counters[3];
        for (std::uint64_t c = 0; c < content->channelCount; ++c) {
            const MF4Channel& channel = content->channels[c];
            if (channel.groupIndex != g || channel.valueType == 36) continue;  // byte buffers are the host's to size
            std::uint64_t elements = 1;
            for (unsigned d = 0; d < channel.dimensionCount && d < 3; ++d) elements *= std::max<std::uint64_t>(channel.dimensionSizes[d], 1);
            if (elements > kMaxValues / std::max<std::uint64_t>(records, 1)) continue;
            const bool strings = channel.valueType == 30 || channel.valueType == 31;
            std::vector<std::uint64_t> values(records * elements);  // 8 bytes per slot fits every kind
            std::uint64_t channelCounters[4] = {};
            MF4ReadItem item{};
            item.index = c;
            item.values = values.data();
            item.capacity = values.size();
            item.valueKind = strings ? channel.valueType : 0;
            item.valuesStored = &channelCounters[0];
            item.valuesTotal = &channelCounters[1];
            item.eventsStored = &channelCounters[2];
            item.eventsTotal = &channelCounters[3];
            for (std::uint32_t mode : {0u, 2u}) {
                item.startTime = groupItem.startTime = -1e300;
                item.endTime = groupItem.endTime = 1e300;
                MF4ReadRequest request{};
                request.mode = mode;
                request.groupItems = &groupItem;
                request.groupItemCount = 1;
                request.channelItems = &item;
                request.channelItemCount = 1;
                ReadData(content, &request, nullptr, nullptr);
                EXPECT_LE(channelCounters[0], channelCounters[1]);
                if (strings) FreeStrings(reinterpret_cast<void**>(values.data()), channelCounters[0], channel.valueType == 31);
            }
            if (!strings) readReduced(content, item, content->groups[g].reductionRaster * 16);
        }
    }
}

void readDamagedCopies(const std::string& original, unsigned seed, int runs) {
    TempDir dir;
    std::mt19937 random(seed);
    for (int run = 0; run < runs; ++run) {
        std::string bytes = original;
        const int damage = 1 + static_cast<int>(random() % 4);
        for (int d = 0; d < damage; ++d) {
            const std::size_t at = 64 + random() % (bytes.size() - 64);
            bytes[at] = static_cast<char>(random());
        }
        if (run % 5 == 0) bytes.resize(64 + random() % (bytes.size() - 64));
        const std::u16string path = widePath(dir.write("damaged.mf4", bytes));
        MF4Content* content = nullptr;
        MF4Error* errors = nullptr;
        std::uint64_t count = 0;
        ReadContent(path.c_str(), &content, &errors, &count);
        FreeErrors(errors, count);
        if (content != nullptr) readEverything(content);
        FreeContent(content);
    }
}

TEST(ReadDataDamage, BuiltFilesWithDamagedBytes) {
    MinimalFile m = makeMinimalFile({.recordCount = 40});
    readDamagedCopies(m.file.bytes(), 11, 300);
}

TEST(ReadDataDamage, CorpusFilesWithDamagedBytes) {
    const auto corpus = corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the project";
    unsigned seed = 1;
    for (const char* name : {"Vector_FixedLengthStringUTF16_BE.mf4", "Vector_MeasurementArrays.mf4",
                             "asammdf_demo_arrays_vlsd.mf4", "Vector_DataList_TransposeDeflate.mf4",
                             "dSPACE_CaptureBlocks.mf4"}) {
        std::ifstream in(corpus / name, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        ASSERT_GT(bytes.size(), 64u) << name;
        readDamagedCopies(bytes, seed++, 60);
    }
}

}  // namespace
