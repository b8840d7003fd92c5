// The record cache over every way a data section can be stored: one DT, DL chains with listed
// offsets or equal lengths, an HL, DZ blocks (plain and transposed) and a list mixing DZ and
// DT. Files are built byte by byte, their structure is read by the library, and every variant
// must deliver the record bytes the test computes on its own.
#include "data/record_cache.h"

#include <memory>

#include <gtest/gtest.h>

#include "blocks/block_layer.h"
#include "blocks/stream.h"
#include "blocks/structure_read.h"
#include "findings/findings.h"
#include "support/mdf_blocks.h"
#include "support/temp_dir.h"

namespace tarvik::test {
namespace {

constexpr std::uint32_t kRecords = 50;
constexpr std::uint64_t kRecordSize = 10;

// The records of makeMinimalFile, made here independently.
std::string expectedRecords() {
    std::string records;
    for (std::uint32_t i = 0; i < kRecords; ++i)
        records += f64(0.01 * i) + u16(static_cast<std::uint16_t>(100 + i));
    return records;
}

std::string_view view(const std::uint8_t* bytes, std::size_t size) {
    return {reinterpret_cast<const char*>(bytes), size};
}

// A DZ of `original`; with `columns`, transposed first (zip type 1).
std::int64_t addDz(MdfBuilder& file, std::string_view original, std::uint32_t columns = 0) {
    return file.addBlock("##DZ", {}, dzData(original, columns != 0 ? 1 : 0, columns));
}

std::int64_t addDt(MdfBuilder& file, std::string_view bytes, std::string_view id = "##DT") {
    return file.addBlock(id, {}, bytes);
}

// A data group whose records lie in the one block at `position`, of kind DT or DZ.
DgRecord inOneBlock(std::int64_t position, BlockKind kind = BlockKind::DT) {
    DgRecord dataGroup;
    dataGroup.data.kind = kind;
    if (kind == BlockKind::DZ) dataGroup.data.compressed.emplace().position = position;
    else dataGroup.data.block.emplace().position = position;
    return dataGroup;
}

DlRecord offsetList(std::vector<std::int64_t> blocks, std::vector<std::uint64_t> offsets) {
    DlRecord list;
    list.dl_count = static_cast<std::uint32_t>(blocks.size());
    list.dl_data = std::move(blocks);
    list.dl_offset = std::move(offsets);
    return list;
}

class RecordCacheTest : public ::testing::Test {
protected:
    // Writes the file, reads its structure and opens it for reading records.
    const DgRecord& readDataGroup(const MdfBuilder& file) {
        const auto path = dir_.write("records.mf4", file.bytes());
        layer_ = std::make_unique<ZtCBlockLayerCore>();
        layer_->SetFilePath(widePath(path));
        FindingList findings(widePath(path));
        EXPECT_EQ(readStructure(*layer_, findings, 0), platform::kOk);
        open(file.bytes());
        return layer_->hdRecord()->dataGroups.at(0);
    }
    ZtCMF4Stream& open(std::string_view bytes) {
        stream_ = std::make_unique<ZtCMF4Stream>();
        EXPECT_EQ(stream_->openRead(widePath(dir_.write("open.mf4", bytes))), platform::kOk);
        return *stream_;
    }

    TempDir dir_;
    std::unique_ptr<ZtCBlockLayerCore> layer_;
    std::unique_ptr<ZtCMF4Stream> stream_;
};

TEST_F(RecordCacheTest, EveryStorageOfTheSectionGivesTheSameRecords) {
    const std::string records = expectedRecords();
    const std::string_view all(records);
    MinimalFile m = makeMinimalFile({.recordCount = kRecords});
    MdfBuilder& file = m.file;
    // Listed offsets over a chain of two lists, with blocks that cut records in two.
    const auto tail =
        addBlock(file, "##DL", {0, addDt(file, all.substr(200))}, dlOffsetData({200}));
    const auto offsets = addBlock(file, "##DL", {tail, addDt(file, all.substr(0, 73)),
                                                 addDt(file, all.substr(73, 127))},
                                  dlOffsetData({0, 73}));
    // Equal lengths of 120 bytes; the last block holds the 20 left over.
    std::vector<std::int64_t> equal;
    for (std::size_t at = 0; at < all.size(); at += 120)
        equal.push_back(addDt(file, all.substr(at, 120)));
    const auto equalTail =
        addBlock(file, "##DL", {0, equal[3], equal[4]}, dlEqualLengthData(2, 120));
    const auto equalHead = addBlock(file, "##DL", {equalTail, equal[0], equal[1], equal[2]},
                                    dlEqualLengthData(3, 120));
    const auto mixed = addBlock(file, "##DL", {0, addDz(file, all.substr(0, 255), kRecordSize),
                                               addDt(file, all.substr(255))},
                                dlOffsetData({0, 255}));
    const std::pair<const char*, std::int64_t> variants[] = {
        {"DT", m.dt},
        {"DL offsets", offsets},
        {"DL equal length", equalHead},
        {"HL", file.addBlock("##HL", {offsets}, u16(0) + u8(0) + std::string(5, '\0'))},
        {"DZ", addDz(file, all)},
        {"DZ transposed", addDz(file, all, kRecordSize)},
        {"DL of DZ and DT", mixed},
    };
    for (const auto& [name, data] : variants) {
        SCOPED_TRACE(name);
        setLink(file, m.dg, 2, data);
        const DgRecord& dataGroup = readDataGroup(file);
        RecordCache cache(*stream_, DataSource::forDataGroup(dataGroup, all.size()), kRecordSize,
                          kRecords);
        // Forwards, window after window (in place, or copied where a block cuts a record).
        for (std::uint64_t r = 0; r < kRecords; ++r) {
            const std::uint8_t* bytes = cache.fetch(r);
            ASSERT_NE(bytes, nullptr) << r;
            EXPECT_EQ(view(bytes, kRecordSize), all.substr(r * kRecordSize, kRecordSize)) << r;
        }
        // Backwards, one record per window: each piece is located on its own.
        for (std::uint64_t r = kRecords; r-- > 0;) {
            const std::uint8_t* bytes = cache.fetch(r, 1);
            ASSERT_NE(bytes, nullptr) << r;
            EXPECT_EQ(view(bytes, kRecordSize), all.substr(r * kRecordSize, kRecordSize)) << r;
        }
        EXPECT_FALSE(cache.failed());
    }
}

TEST_F(RecordCacheTest, WindowsLieInPlaceOrFollowTheCountHint) {
    // Records whole in one block are held in place, to the end of the block and of the count.
    MinimalFile m = makeMinimalFile({.recordCount = kRecords});
    const DgRecord& small = readDataGroup(m.file);
    RecordCache cache(*stream_, DataSource::forDataGroup(small, 500), kRecordSize, kRecords - 5);
    EXPECT_EQ(cache.firstHeld(), RecordCache::kNone);
    const std::uint8_t* tenth = cache.fetch(10, 5);
    ASSERT_NE(tenth, nullptr);
    EXPECT_EQ(cache.firstHeld(), 10u);
    EXPECT_EQ(cache.lastHeld(), kRecords - 6) << "never beyond the record count";
    EXPECT_EQ(cache.fetch(14, 1), tenth + 4 * kRecordSize) << "inside the window: no new read";
    EXPECT_EQ(cache.fetch(kRecords - 5), nullptr);
    EXPECT_FALSE(cache.failed()) << "asking beyond the end is no read failure";

    // Where blocks cut records, windows are copied: as many records as the hint asks for, up
    // to 1 MiB.
    constexpr std::uint64_t kSize = 1000, kCount = 2100, kPerWindow = 0x100000 / kSize;
    std::string large(kSize * kCount, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 / 5);
    MdfBuilder file;
    constexpr std::uint64_t kCut = 1500;  // inside record 1
    DgRecord cut;
    cut.data.kind = BlockKind::DL;
    cut.data.lists = {offsetList({addDt(file, std::string_view(large).substr(0, kCut)),
                                  addDt(file, std::string_view(large).substr(kCut))},
                                 {0, kCut})};
    const DataSource source = DataSource::forDataGroup(cut, large.size());
    RecordCache windows(open(file.bytes()), source, kSize, kCount);
    ASSERT_NE(windows.fetch(1, 5), nullptr);
    EXPECT_EQ(windows.lastHeld(), 5u);
    for (std::uint64_t r : {std::uint64_t{0}, std::uint64_t{1}, kCount - 1, std::uint64_t{3}}) {
        const std::uint8_t* bytes = windows.fetch(r);
        ASSERT_NE(bytes, nullptr);
        // Record 0 is the only whole one of the first block; every window holds 1 MiB at most.
        const std::uint64_t expectedLast = r == 0 ? 0 : std::min(r + kPerWindow, kCount) - 1;
        EXPECT_EQ(windows.lastHeld(), expectedLast) << r;
        EXPECT_EQ(view(bytes, kSize), std::string_view(large).substr(r * kSize, kSize));
    }
    // A record larger than such a window is still read whole.
    const std::uint64_t half = large.size() / 2;
    RecordCache halves(*stream_, source, half, 2);
    ASSERT_NE(halves.fetch(1), nullptr);
    EXPECT_EQ(view(halves.fetch(1), half), std::string_view(large).substr(half));
    // Memory follows the data present, not the declared sizes: of two records of 1.5 MiB the
    // section holds one; a record of 4 GiB takes at most twice the 2.1 MB there are.
    RecordCache twoRecords(*stream_, source, 0x180000, 2);
    EXPECT_NE(twoRecords.fetch(0), nullptr);
    EXPECT_EQ(twoRecords.fetch(1), nullptr);
    RecordCache huge(*stream_, source, std::uint64_t{1} << 32, 2);
    EXPECT_EQ(huge.fetch(0), nullptr);
    EXPECT_LE(huge.bufferSize(), 2 * large.size());
    RecordCache noRecordSize(*stream_, DataSource{}, 0, 10);
    EXPECT_TRUE(noRecordSize.failed());
    EXPECT_EQ(noRecordSize.fetch(0), nullptr);
}

TEST_F(RecordCacheTest, ReadsThatYieldNothingFailTheCache) {
    const std::string records = expectedRecords();
    MinimalFile m = makeMinimalFile({.recordCount = kRecords});
    // The file ends 200 bytes into the records of its DT, the last block.
    const std::string& bytes = m.file.bytes();
    RecordCache cache(open(std::string_view(bytes).substr(0, bytes.size() - 300)),
                      DataSource::forDataGroup(inOneBlock(m.dt), 500), kRecordSize, kRecords);
    ASSERT_NE(cache.fetch(0), nullptr);
    EXPECT_EQ(cache.lastHeld(), 19u) << "the records that are there";
    EXPECT_EQ(cache.fetch(20), nullptr);
    EXPECT_TRUE(cache.failed());
    EXPECT_EQ(cache.lastHeld(), RecordCache::kNone);
    EXPECT_EQ(cache.fetch(0), nullptr) << "a failed cache stays failed";

    MdfBuilder file;
    const auto first = addDt(file, std::string_view(records).substr(0, 200));
    const auto second = addDt(file, std::string_view(records).substr(200));
    const auto badDz =
        file.addBlock("##DZ", {}, "DT" + u8(0) + u8(0) + u32(0) + u64(500) + u64(4) + "junk");
    RecordCache other(open(file.bytes()),
                      DataSource::forDataGroup(inOneBlock(badDz, BlockKind::DZ), 500),
                      kRecordSize, kRecords);
    EXPECT_EQ(other.fetch(0), nullptr);
    EXPECT_TRUE(other.failed());

    // A list that gives its first block more bytes than the block has: the reader stops at
    // the block's end instead of reading on into the next block's header.
    DgRecord damaged;
    damaged.data.kind = BlockKind::DL;
    damaged.data.lists = {offsetList({first, second}, {0, 300})};
    other.reset(DataSource::forDataGroup(damaged, 500), kRecordSize, kRecords);
    EXPECT_FALSE(other.failed()) << "reset forgets the failure";
    ASSERT_NE(other.fetch(0), nullptr);
    EXPECT_EQ(other.lastHeld(), 19u);
    EXPECT_EQ(other.fetch(20), nullptr);
    other.reset(DataSource{}, kRecordSize, kRecords);
    EXPECT_EQ(other.fetch(0), nullptr) << "an empty source reads nothing";
}

TEST_F(RecordCacheTest, SignalDataReadsBackWhole) {
    // Each value: a 4-byte length, then the bytes.
    std::string values;
    for (std::string text : {"alpha", "", "a longer value that crosses blocks", "z"})
        values += u32(static_cast<std::uint32_t>(text.size())) + text;
    MdfBuilder file;
    CnRecord single, listed;
    single.signalData.kind = BlockKind::SD;
    single.signalData.block.emplace().position = addDt(file, values, "##SD");
    listed.signalData.kind = BlockKind::DL;
    listed.signalData.lists = {offsetList({addDt(file, std::string_view(values).substr(0, 30), "##SD"),
                                      addDt(file, std::string_view(values).substr(30), "##SD")},
                                     {0, 30})};
    ZtCMF4Stream& stream = open(file.bytes());
    for (const CnRecord* channel : {&single, &listed}) {
        DataSource source = DataSource::forSignalData(*channel);
        std::string back(values.size() + 16, '\0');
        EXPECT_EQ(source.read(stream, 0, reinterpret_cast<std::uint8_t*>(back.data()), back.size()),
                  values.size())
            << "the data ends where its last block does";
        EXPECT_EQ(back.substr(0, values.size()), values);

        // As records of one byte: the third value, from its length on.
        RecordCache cache(stream, std::move(source), 1, RecordCache::kUnlimited);
        for (std::uint64_t at = 13; at < 13 + 38; ++at) {
            const std::uint8_t* byte = cache.fetch(at, 13 + 38 - at);
            ASSERT_NE(byte, nullptr) << at;
            EXPECT_EQ(static_cast<char>(*byte), values[at]) << at;
        }
        EXPECT_EQ(cache.fetch(values.size()), nullptr) << "beyond the data";
    }
}

}  // namespace
}  // namespace tarvik::test
