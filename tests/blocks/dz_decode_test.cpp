#include <algorithm>

#include "blocks/data_blocks.h"
#include "structure_walk.h"

namespace tarvik::test {
namespace {

using platform::kFailed;
using platform::kOk;
using Bytes = std::vector<std::uint8_t>;

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
