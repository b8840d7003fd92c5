#include "blocks/data_blocks.h"

#include <cstdio>
#include <memory>

#include <gtest/gtest.h>

#include "blocks/read_context.h"
#include "findings/findings.h"
#include "support/mdf_builder.h"
#include "support/temp_dir.h"

namespace tarvik {
namespace {

using platform::kFailed;
using platform::kOk;
using test::f64;
using test::MdfBuilder;
using test::u16;
using test::u32;
using test::u64;
using test::u8;

std::string dlEqualLength(std::uint32_t count, std::uint64_t length) {
    return u8(1) + std::string(3, '\0') + u32(count) + u64(length);
}

std::string dlOffsets(std::initializer_list<std::uint64_t> offsets) {
    std::string data =
        u8(0) + std::string(3, '\0') + u32(static_cast<std::uint32_t>(offsets.size()));
    for (std::uint64_t offset : offsets) data += u64(offset);
    return data;
}

std::string srData(double interval, std::uint8_t syncType) {
    return u64(7) + f64(interval) + u8(syncType) + u8(0) + std::string(6, '\0');
}

// "DL Block at 0x1A0, Field: dl_dl_next": the detail texts name positions in upper-case hex.
std::u16string detail(const char* format, std::int64_t position) {
    char text[160];
    std::snprintf(text, sizeof text, format, static_cast<long long>(position));
    return std::u16string(text, text + std::string_view(text).size());
}

class DataBlocks : public ::testing::Test {
protected:
    ZtCReadContext& open(const MdfBuilder& file) {
        context_ = std::make_unique<ZtCReadContext>(
            test::widePath(dir_.write("data.mf4", file.bytes())), findings_, 0);
        context_->version = 410;
        EXPECT_EQ(context_->stream.openRead(context_->path), kOk);
        return *context_;
    }

    test::TempDir dir_;
    FindingList findings_{u"data.mf4"};
    std::unique_ptr<ZtCReadContext> context_;
};

TEST_F(DataBlocks, DataListChainKeepsLinksLengthsAndOffsets) {
    MdfBuilder file;
    const auto dt = file.addBlock("##DT", {}, "abcd");
    const auto first = file.addBlock("##DL", {0, dt, 0x200}, dlEqualLength(2, 100));
    const auto second = file.addBlock("##DL", {0, 0x1001, dt}, dlOffsets({200, 260}));
    file.patchU64(first + 24, second);
    file.patchU64(second + 24, dt);  // a next link to another kind of block ends the chain
    ZtCReadContext& context = open(file);

    std::vector<DlRecord> lists;
    ASSERT_EQ(readDataList(context, first, lists), kOk);
    ASSERT_EQ(lists.size(), 3u);
    EXPECT_EQ(lists[0].position, first);
    EXPECT_EQ(lists[0].dl_data, (std::vector<std::int64_t>{dt, 0x200}));
    EXPECT_EQ(lists[0].dl_count, 2u);
    EXPECT_EQ(lists[0].dl_equal_length, 100u);
    EXPECT_TRUE(lists[0].dl_offset.empty());
    EXPECT_EQ(lists[1].dl_data, (std::vector<std::int64_t>{0x1001, dt}));
    EXPECT_EQ(lists[1].dl_offset, (std::vector<std::uint64_t>{200, 260}));
    EXPECT_EQ(lists[1].version, 410);
    EXPECT_TRUE(lists[2].dl_data.empty()) << "the block that is not a DL gives an empty list";

    EXPECT_TRUE(findings_.errors().empty());
    ASSERT_EQ(findings_.warnings().size(), 1u);
    EXPECT_EQ(findings_.warnings()[0].number, 112u);
    EXPECT_EQ(findings_.warnings()[0].detail2,
              detail("DL Block at 0x%llX, Field: dl_data[0] 0x1001", second));

    DtRecord block;
    ASSERT_EQ(readDataBlockHeader(context, dt, "##DT", block), kOk);
    EXPECT_EQ(block.dataOffset(), static_cast<std::uint64_t>(dt) + 24);
    EXPECT_EQ(block.dataLength(), 4u);
    EXPECT_EQ(readDataBlockHeader(context, dt, "##SD", block), kFailed);
    EXPECT_EQ(findings_.errors().back().detail2, u"SD");
}

TEST_F(DataBlocks, BrokenChainsFail) {
    MdfBuilder file;
    const auto a = file.addBlock("##DL", {0}, dlEqualLength(0, 0));
    const auto b = file.addBlock("##DL", {a}, dlEqualLength(0, 0));
    file.patchU64(a + 24, b);
    const auto hl = file.addBlock("##HL", {0}, u16(0) + u8(0) + std::string(5, '\0'));
    ZtCReadContext& context = open(file);

    std::vector<DlRecord> lists;
    EXPECT_EQ(readDataList(context, 0, lists), kFailed);
    ASSERT_EQ(findings_.errors().size(), 1u);
    EXPECT_EQ(findings_.errors()[0].number, 111u);

    EXPECT_EQ(readDataList(context, a, lists), kFailed);
    EXPECT_EQ(lists.size(), 2u);
    ASSERT_EQ(findings_.errors().size(), 2u);
    EXPECT_EQ(findings_.errors()[1].number, 109u);
    EXPECT_EQ(findings_.errors()[1].detail2, detail("DL Block at 0x%llX, Field: dl_dl_next", b));

    HlRecord header;
    EXPECT_EQ(readHeaderList(context, hl, header), kFailed);
    ASSERT_EQ(findings_.errors().size(), 3u);
    EXPECT_EQ(findings_.errors()[2].number, 111u);
    EXPECT_TRUE(findings_.warnings().empty());
}

TEST_F(DataBlocks, CountsBeyondTheBlockOrFileAllocateNothing) {
    MdfBuilder file;
    // dl_count claims 2^31 offsets the block does not hold: they are not read.
    const auto shortList = file.addBlock("##DL", {0}, dlOffsets({0}));
    file.patchU64(shortList + 24 + 8, std::uint64_t{1} << 63);  // flags 0, dl_count 2^31
    // The same count with a length that claims to hold it: the file cannot, so the list fails.
    const auto longList =
        file.addBlock("##DL", {0}, dlOffsets({}), 40 + 8 * (std::uint64_t{1} << 31));
    file.patchU64(longList + 24 + 8, std::uint64_t{1} << 63);
    // 2^40 data links with a length to match.
    const auto manyLinks =
        file.addBlock("##DL", {0}, dlOffsets({}), 24 + 8 * (std::uint64_t{1} << 40) + 16);
    file.patchU64(manyLinks + 16, std::uint64_t{1} << 40);
    ZtCReadContext& context = open(file);

    std::vector<DlRecord> lists;
    ASSERT_EQ(readDataList(context, shortList, lists), kOk);
    EXPECT_EQ(lists[0].dl_count, 1u << 31);
    EXPECT_TRUE(lists[0].dl_offset.empty());
    EXPECT_EQ(readDataList(context, longList, lists), kFailed);
    EXPECT_TRUE(lists.empty());
    EXPECT_EQ(readDataList(context, manyLinks, lists), kFailed);
    EXPECT_TRUE(findings_.errors().empty());
}

TEST_F(DataBlocks, HeaderListReadsItsChainAndReportsItsLength) {
    MdfBuilder file;
    const auto dl = file.addBlock("##DL", {0, 0x400}, dlEqualLength(1, 64));
    const auto hl = file.addBlock("##HL", {dl}, u16(1) + u8(1) + std::string(5, '\0') + u64(0));
    ZtCReadContext& context = open(file);

    HlRecord header;
    ASSERT_EQ(readHeaderList(context, hl, header), kOk);
    EXPECT_EQ(header.hl_dl_first, dl);
    EXPECT_EQ(header.hl_flags, 1);
    EXPECT_EQ(header.hl_zip_type, 1);
    ASSERT_EQ(header.lists.size(), 1u);
    EXPECT_EQ(header.lists[0].dl_data, std::vector<std::int64_t>{0x400});

    EXPECT_TRUE(findings_.errors().empty());
    ASSERT_EQ(findings_.warnings().size(), 1u);
    EXPECT_EQ(findings_.warnings()[0].number, 107u);
    EXPECT_EQ(findings_.warnings()[0].detail2,
              detail("410. HL Block at 0x%llX, Expected Size: 40, Actual Size: 48", hl));
}

TEST_F(DataBlocks, SampleReductionsAreCheckedAndSortedByInterval) {
    MdfBuilder file;
    const auto rd = file.addBlock("##RD", {}, std::string(16, '\0'));
    const auto dl = file.addBlock("##DL", {0, rd}, dlEqualLength(1, 16));
    const auto coarse = file.addBlock("##SR", {0, dl}, srData(10.0, 1));
    const auto fine = file.addBlock("##SR", {coarse, 0}, srData(0.1, 5));
    const auto middle = file.addBlock("##SR", {fine, rd}, srData(1.0, 1));
    ZtCReadContext& context = open(file);

    std::vector<SrRecord> reductions;
    ASSERT_EQ(readSampleReductions(context, middle, reductions), kOk);
    ASSERT_EQ(reductions.size(), 3u);
    EXPECT_EQ(reductions[0].position, fine);
    EXPECT_EQ(reductions[0].dataKind, BlockKind::None);
    EXPECT_EQ(reductions[1].position, middle);
    EXPECT_EQ(reductions[1].dataKind, BlockKind::RD);
    ASSERT_TRUE(reductions[1].reductionData.has_value());
    EXPECT_EQ(reductions[1].reductionData->dataLength(), 16u);
    EXPECT_EQ(reductions[2].position, coarse);
    EXPECT_EQ(reductions[2].dataKind, BlockKind::DL);
    ASSERT_EQ(reductions[2].lists.size(), 1u);
    EXPECT_EQ(reductions[2].sr_cycle_count, 7u);

    ASSERT_EQ(findings_.warnings().size(), 1u);
    EXPECT_EQ(findings_.warnings()[0].number, 116u);
    EXPECT_EQ(findings_.warnings()[0].detail2, detail("SR Block at 0x%llX, Field: sr_data", fine));
    ASSERT_EQ(findings_.errors().size(), 1u);
    EXPECT_EQ(findings_.errors()[0].number, 108u);
    EXPECT_EQ(findings_.errors()[0].detail2,
              detail("SR Block at 0x%llX, Field: sr_sync_type, Value: 5", fine));

    EXPECT_EQ(readSampleReductions(context, 0, reductions), kOk);
    EXPECT_TRUE(reductions.empty());
}

TEST_F(DataBlocks, SampleReductionChainsFailOnForeignDataAndLoops) {
    MdfBuilder file;
    const auto dz = file.addBlock("##DZ", {}, std::string(24, '\0'));
    const auto onDz = file.addBlock("##SR", {0, dz}, srData(2.0, 1));
    const auto good = file.addBlock("##SR", {onDz, 0}, srData(1.0, 1));
    const auto looping = file.addBlock("##SR", {0, 0}, srData(1.0, 1));
    file.patchU64(looping + 24, looping);
    ZtCReadContext& context = open(file);

    std::vector<SrRecord> reductions;
    EXPECT_EQ(readSampleReductions(context, good, reductions), kFailed);
    ASSERT_EQ(reductions.size(), 1u) << "the SR before the failing one is kept";
    EXPECT_EQ(reductions[0].position, good);
    EXPECT_TRUE(findings_.errors().empty()) << "an unsupported data kind has no finding of its own";

    EXPECT_EQ(readSampleReductions(context, looping, reductions), kFailed);
    ASSERT_EQ(findings_.errors().size(), 1u);
    EXPECT_EQ(findings_.errors()[0].number, 109u);
    EXPECT_EQ(findings_.errors()[0].detail2,
              detail("SR Block at 0x%llX, Field: sr_sr_next", looping));
}

}  // namespace
}  // namespace tarvik
