// The readers of the blocks that hold records or lead to them: DL chains (equal lengths or
// offsets) below an HL, SR chains and the headers of DT-like blocks, with their findings; and
// DZ blocks, inflated and transposed back into record order exactly or not at all.
#include "blocks/data_blocks.h"

#include <algorithm>

#include "structure_walk.h"

namespace tarvik::test {
namespace {

using platform::kFailed;
using platform::kOk;
using Bytes = std::vector<std::uint8_t>;
using DataBlocks = BlockFile;

const std::string kHlData = u16(1) + u8(1) + std::string(5, '\0');

TEST_F(DataBlocks, DataListChainKeepsLinksLengthsAndOffsets) {
    MdfBuilder file;
    const auto dt = file.addBlock("##DT", {}, "abcd");
    const auto first = file.addBlock("##DL", {0, dt, 0x200}, dlEqualLengthData(2, 100));
    const auto second = file.addBlock("##DL", {0, 0x1001, dt}, dlOffsetData({200, 260}));
    file.patchU64(first + 24, second);
    file.patchU64(second + 24, dt);  // a next link to another kind of block ends the chain
    const auto hl = file.addBlock("##HL", {first}, kHlData + u64(0));  // 8 bytes too long
    ZtCReadContext& context = open(file);

    HlRecord header;
    ASSERT_EQ(readHeaderList(context, hl, header), kOk);
    const std::vector<DlRecord>& lists = header.lists;
    ASSERT_EQ(lists.size(), 3u);
    EXPECT_EQ(lists[0].dl_data, (std::vector<std::int64_t>{dt, 0x200}));
    EXPECT_EQ(lists[0].dl_equal_length, 100u);
    EXPECT_TRUE(lists[0].dl_offset.empty());
    EXPECT_EQ(lists[1].dl_data, (std::vector<std::int64_t>{0x1001, dt}));
    EXPECT_EQ(lists[1].dl_offset, (std::vector<std::uint64_t>{200, 260}));
    EXPECT_TRUE(lists[2].dl_data.empty()) << "the block that is not a DL gives an empty list";
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(warnings(),
              (Lines{"107 410. HL Block at 0x" + hex(hl) + ", Expected Size: 40, Actual Size: 48",
                     "112 DL Block at 0x" + hex(second) + ", Field: dl_data[0] 0x1001"}));

    DtRecord block;
    ASSERT_EQ(readDataBlockHeader(context, dt, "##DT", block), kOk);
    EXPECT_EQ(block.dataOffset(), static_cast<std::uint64_t>(dt) + 24);
    EXPECT_EQ(block.dataLength(), 4u);
    EXPECT_EQ(readDataBlockHeader(context, dt, "##SD", block), kFailed);
    EXPECT_EQ(errors(), Lines{"103 SD"});
}

TEST_F(DataBlocks, BrokenChainsFail) {
    MdfBuilder file;
    const auto a = file.addBlock("##DL", {0}, dlEqualLengthData(0, 0));
    const auto b = file.addBlock("##DL", {a}, dlEqualLengthData(0, 0));
    file.patchU64(a + 24, b);
    const auto hl = file.addBlock("##HL", {0}, kHlData);
    ZtCReadContext& context = open(file);

    std::vector<DlRecord> lists;
    HlRecord header;
    EXPECT_EQ(readDataList(context, 0, lists), kFailed);
    EXPECT_EQ(readDataList(context, a, lists), kFailed);
    EXPECT_EQ(lists.size(), 2u) << "the lists before the loop are kept";
    EXPECT_EQ(readHeaderList(context, hl, header), kFailed);
    EXPECT_EQ(errors(),
              (Lines{"111", "109 DL Block at 0x" + hex(b) + ", Field: dl_dl_next", "111"}));
    EXPECT_TRUE(warnings().empty());
}

TEST_F(DataBlocks, CountsBeyondTheBlockOrFileAllocateNothing) {
    constexpr std::uint64_t k31 = std::uint64_t{1} << 31, k40 = std::uint64_t{1} << 40;
    MdfBuilder file;
    // dl_count claims 2^31 offsets the block does not hold: they are not read.
    const auto shortList = file.addBlock("##DL", {0}, dlOffsetData({0}));
    // The same count with a length that claims to hold it: the file cannot, so the list fails.
    const auto longList = file.addBlock("##DL", {0}, dlOffsetData({}), 40 + 8 * k31);
    // 2^40 data links with a length to match.
    const auto manyLinks = file.addBlock("##DL", {0}, dlOffsetData({}), 24 + 8 * k40 + 16);
    for (auto list : {shortList, longList}) file.patchU64(list + 32, k31 << 32);  // dl_count
    file.patchU64(manyLinks + 16, k40);
    ZtCReadContext& context = open(file);

    std::vector<DlRecord> lists;
    ASSERT_EQ(readDataList(context, shortList, lists), kOk);
    EXPECT_EQ(lists[0].dl_count, k31);
    EXPECT_TRUE(lists[0].dl_offset.empty());
    EXPECT_EQ(readDataList(context, longList, lists), kFailed);
    EXPECT_TRUE(lists.empty());
    EXPECT_EQ(readDataList(context, manyLinks, lists), kFailed);
    EXPECT_TRUE(findings_.errors().empty());
}

TEST_F(DataBlocks, SampleReductionsAreCheckedAndSortedByInterval) {
    MdfBuilder file;
    const auto rd = file.addBlock("##RD", {}, std::string(16, '\0'));
    const auto dl = file.addBlock("##DL", {0, rd}, dlEqualLengthData(1, 16));
    const auto coarse = file.addBlock("##SR", {0, dl}, srData({.interval = 10.0}));
    const auto fine = file.addBlock("##SR", {coarse, 0}, srData({.interval = 0.1, .syncType = 5}));
    const auto middle = file.addBlock("##SR", {fine, rd}, srData({.interval = 1.0}));
    ZtCReadContext& context = open(file);

    std::vector<SrRecord> reductions;
    ASSERT_EQ(readSampleReductions(context, middle, reductions), kOk);
    ASSERT_EQ(positionsOf(reductions), (std::vector{fine, middle, coarse}));
    ASSERT_TRUE(reductions[1].reductionData.has_value());
    EXPECT_EQ(reductions[1].reductionData->dataLength(), 16u);
    EXPECT_EQ(reductions[2].lists.size(), 1u);
    EXPECT_EQ(warnings(), Lines{"116 SR Block at 0x" + hex(fine) + ", Field: sr_data"});
    EXPECT_EQ(errors(),
              Lines{"108 SR Block at 0x" + hex(fine) + ", Field: sr_sync_type, Value: 5"});

    EXPECT_EQ(readSampleReductions(context, 0, reductions), kOk);
    EXPECT_TRUE(reductions.empty());
}

TEST_F(DataBlocks, SampleReductionChainsFailOnForeignDataAndLoops) {
    MdfBuilder file;
    const auto dz = file.addBlock("##DZ", {}, std::string(24, '\0'));
    const auto onDz = file.addBlock("##SR", {0, dz}, srData({.interval = 2.0}));
    const auto good = file.addBlock("##SR", {onDz, 0}, srData({}));
    const auto looping = file.addBlock("##SR", {0, 0}, srData({}));
    file.patchU64(looping + 24, looping);
    ZtCReadContext& context = open(file);

    std::vector<SrRecord> reductions;
    EXPECT_EQ(readSampleReductions(context, good, reductions), kFailed);
    EXPECT_EQ(positionsOf(reductions), std::vector{good}) << "the SR before the failing one";
    EXPECT_TRUE(errors().empty()) << "an unsupported data kind has no finding of its own";

    EXPECT_EQ(readSampleReductions(context, looping, reductions), kFailed);
    EXPECT_EQ(errors(), Lines{"109 SR Block at 0x" + hex(looping) + ", Field: sr_sr_next"});
}

std::int64_t addDz(MdfBuilder& file, std::uint8_t zipType, std::uint32_t columns,
                   std::uint64_t orgLength, std::uint64_t dataLength, const std::string& stream) {
    return file.addBlock("##DZ", {}, "DT" + u8(zipType) + u8(0) + u32(columns) + u64(orgLength) +
                                         u64(dataLength) + stream);
}

class DzBlocks : public BlockFile {
protected:
    // Reads the DZ header at `link` and decodes the block.
    std::optional<Bytes> decode(std::int64_t link) {
        DzRecord record;
        EXPECT_EQ(readDzHeader(*context_, link, record), kOk);
        return decodeDz(context_->stream, record);
    }
};

TEST(Untranspose, ColumnsBecomeRecordsAndTheRestStays) {
    // Two columns over seven bytes: three rows, one byte left over.
    const Bytes stored{'a', 'b', 'c', 'A', 'B', 'C', '!'};
    EXPECT_EQ(untranspose(stored.data(), stored.size(), 2),
              (Bytes{'a', 'A', 'b', 'B', 'c', 'C', '!'}));
    EXPECT_EQ(untranspose(stored.data(), stored.size(), 7), stored);
    EXPECT_EQ(untranspose(stored.data(), stored.size(), 9), stored)
        << "fewer bytes than one record";

    // Row counts around the tiles the loop works in, with and without bytes left over: byte c of
    // row r is stored at c x rows + r.
    for (std::uint32_t columns : {1u, 3u, 8u, 168u}) {
        for (std::size_t rows : {1u, 63u, 64u, 65u, 129u, 300u}) {
            for (std::size_t rest : {std::size_t{0}, std::size_t{columns > 1 ? columns - 1 : 0}}) {
                Bytes records(rows * columns + rest), stored(records.size());
                for (std::size_t i = 0; i < records.size(); ++i) records[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
                for (std::size_t r = 0; r < rows; ++r)
                    for (std::size_t c = 0; c < columns; ++c) stored[c * rows + r] = records[r * columns + c];
                std::copy(records.end() - static_cast<std::ptrdiff_t>(rest), records.end(), stored.end() - static_cast<std::ptrdiff_t>(rest));
                EXPECT_EQ(untranspose(stored.data(), stored.size(), columns), records)
                    << columns << " columns, " << rows << " rows, " << rest << " left over";
            }
        }
    }
}

TEST_F(DzBlocks, BlocksInflateToTheirRecordOrderAndShortHeadersReadAsZero) {
    const Bytes columns{1, 4, 7, 2, 5, 8, 3, 6, 9, 10};
    const std::string stream = deflated(std::string(columns.begin(), columns.end()));
    MdfBuilder file;
    const auto plain = addDz(file, 0, 0, 10, stream.size(), stream);
    const auto transposed = addDz(file, 1, 3, 10, stream.size(), stream);
    const auto empty = addDz(file, 0, 0, 0, deflated("").size(), deflated(""));
    const auto shortDz = file.addBlock("##DZ", {}, "DT" + u8(0) + u8(0) + u32(0) + u64(9));
    const auto dt = file.addBlock("##DT", {}, "");
    ZtCReadContext& context = open(file);

    DzRecord record;
    ASSERT_EQ(readDzHeader(context, transposed, record), kOk);
    ASSERT_EQ(context.stream.seekRead(8), kOk);
    EXPECT_EQ(decodeDz(context.stream, record), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(context.stream.position(), 8u) << "decoding leaves the caller's position alone";
    EXPECT_EQ(decode(plain), columns);
    EXPECT_EQ(decode(empty), Bytes{});
    EXPECT_TRUE(findings_.empty());

    ASSERT_EQ(readDzHeader(context, shortDz, record), kOk);
    EXPECT_EQ(record.dz_org_data_length, 9u);
    EXPECT_EQ(record.dz_data_length, 0u) << "fields beyond the block's end read as 0";
    EXPECT_EQ(readDzHeader(context, dt, record), kFailed);
    EXPECT_EQ(errors(), (Lines{"106 410. DZ Block at 0x" + hex(shortDz) +
                                   ", Expected Size: 48, Actual Size: 40",
                               "103 DZ"}));
}

TEST_F(DzBlocks, BlocksThatCannotBeDecodedExactlyYieldNothing) {
    const std::string stream = deflated(std::string(600, '\x55'));
    std::string broken = stream;
    broken.back() = static_cast<char>(~broken.back());  // the checksum of the inflated bytes
    const std::uint64_t size = stream.size();
    MdfBuilder file;
    const std::int64_t undecodable[] = {
        addDz(file, 0, 0, 599, size, stream),         // inflates beyond the declared length
        addDz(file, 0, 0, 601, size, stream),         // ends before it
        addDz(file, 0, 0, 600, size - 1, stream),     // stream cut short
        addDz(file, 0, 0, 600, size, broken),         // damaged stream
        addDz(file, 2, 0, 600, size, stream),         // unknown zip type
        addDz(file, 1, 0, 600, size, stream),         // transposition without columns
        addDz(file, 0, 0, 600, size + 4096, stream),  // data beyond the end of the file
        // Lengths beyond 32 bits, which would decode if they were cut to 32 bits.
        addDz(file, 0, 0, (std::uint64_t{1} << 32) + 600, size, stream),
        addDz(file, 0, 0, 600, (std::uint64_t{1} << 32) + size, stream),
    };
    ZtCReadContext& context = open(file);
    for (std::size_t i = 0; i < std::size(undecodable); ++i)
        EXPECT_EQ(decode(undecodable[i]), std::nullopt) << "case " << i;

    DzRecord beyondFile;
    beyondFile.position = 1 << 20;
    beyondFile.dz_org_data_length = 1;
    beyondFile.dz_data_length = 1;
    EXPECT_EQ(decodeDz(context.stream, beyondFile), std::nullopt);
}

}  // namespace
}  // namespace tarvik::test
