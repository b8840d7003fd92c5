#include <zlib.h>

#include <memory>

#include <gtest/gtest.h>

#include "blocks/data_blocks.h"
#include "blocks/read_context.h"
#include "findings/findings.h"
#include "support/mdf_builder.h"
#include "support/temp_dir.h"

namespace tarvik {
namespace {

using platform::kFailed;
using platform::kOk;
using test::MdfBuilder;
using test::u32;
using test::u64;
using test::u8;
using Bytes = std::vector<std::uint8_t>;

std::string deflated(const Bytes& bytes) {
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::string out(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size, bytes.data(),
                        static_cast<uLong>(bytes.size()), Z_BEST_COMPRESSION),
              Z_OK);
    out.resize(size);
    return out;
}

struct DzFields {
    std::uint8_t zipType = 0;
    std::uint32_t parameter = 0;
    std::uint64_t orgLength = 0;
    std::uint64_t dataLength = 0;
};

std::int64_t addDz(MdfBuilder& file, const DzFields& fields, const std::string& stream) {
    return file.addBlock("##DZ", {},
                         "DT" + u8(fields.zipType) + u8(0) + u32(fields.parameter) +
                             u64(fields.orgLength) + u64(fields.dataLength) + stream);
}

class DzBlocks : public ::testing::Test {
protected:
    ZtCReadContext& open(const MdfBuilder& file) {
        context_ = std::make_unique<ZtCReadContext>(
            test::widePath(dir_.write("dz.mf4", file.bytes())), findings_, 0);
        context_->version = 410;
        EXPECT_EQ(context_->stream.openRead(context_->path), kOk);
        return *context_;
    }

    // Reads the DZ header at `link` and decodes the block.
    std::optional<Bytes> decode(std::int64_t link) {
        DzRecord record;
        EXPECT_EQ(readDzHeader(*context_, link, record), kOk);
        return decodeDz(context_->stream, record);
    }

    test::TempDir dir_;
    FindingList findings_{u"dz.mf4"};
    std::unique_ptr<ZtCReadContext> context_;
};

TEST(Untranspose, ColumnsBecomeRecordsAndTheRestStays) {
    // Two columns over seven bytes: three rows, one byte left over.
    const Bytes stored{'a', 'b', 'c', 'A', 'B', 'C', '!'};
    EXPECT_EQ(untranspose(stored.data(), stored.size(), 2),
              (Bytes{'a', 'A', 'b', 'B', 'c', 'C', '!'}));
    EXPECT_EQ(untranspose(stored.data(), stored.size(), 7), stored);
    EXPECT_EQ(untranspose(stored.data(), stored.size(), 9), stored)
        << "fewer bytes than one record";
}

TEST_F(DzBlocks, BlocksInflateToTheirRecordOrder) {
    const Bytes columns{1, 4, 7, 2, 5, 8, 3, 6, 9, 10};
    const std::string stream = deflated(columns);
    MdfBuilder file;
    const auto plain = addDz(file, {0, 0, 10, stream.size()}, stream);
    const auto transposed = addDz(file, {1, 3, 10, stream.size()}, stream);
    const auto empty = addDz(file, {0, 0, 0, deflated({}).size()}, deflated({}));
    ZtCReadContext& context = open(file);

    DzRecord record;
    ASSERT_EQ(readDzHeader(context, transposed, record), kOk);
    EXPECT_EQ(std::string(record.dz_org_block_type, 2), "DT");
    EXPECT_EQ(record.dz_zip_parameter, 3u);
    EXPECT_EQ(record.dz_data_length, stream.size());
    ASSERT_EQ(context.stream.seekRead(8), kOk);
    EXPECT_EQ(decodeDz(context.stream, record), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(context.stream.position(), 8u) << "decoding leaves the caller's position alone";

    EXPECT_EQ(decode(plain), columns);
    EXPECT_EQ(decode(empty), Bytes{});
    EXPECT_TRUE(findings_.empty());
}

TEST_F(DzBlocks, BlocksThatCannotBeDecodedExactlyYieldNothing) {
    const Bytes original(600, 0x55);
    const std::string stream = deflated(original);
    std::string broken = stream;
    broken.back() = static_cast<char>(~broken.back());  // the checksum of the inflated bytes
    const std::uint64_t size = stream.size();
    MdfBuilder file;
    const std::int64_t undecodable[] = {
        addDz(file, {0, 0, 599, size}, stream),         // inflates beyond the declared length
        addDz(file, {0, 0, 601, size}, stream),         // ends before it
        addDz(file, {0, 0, 600, size - 1}, stream),     // stream cut short
        addDz(file, {0, 0, 600, size}, broken),         // damaged stream
        addDz(file, {2, 0, 600, size}, stream),         // unknown zip type
        addDz(file, {1, 0, 600, size}, stream),         // transposition without columns
        addDz(file, {0, 0, 600, size + 4096}, stream),  // data beyond the end of the file
        // Lengths beyond 32 bits, which would decode if they were cut to 32 bits.
        addDz(file, {0, 0, (std::uint64_t{1} << 32) + 600, size}, stream),
        addDz(file, {0, 0, 600, (std::uint64_t{1} << 32) + size}, stream),
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

TEST_F(DzBlocks, HeadersOfOtherOrShortBlocks) {
    MdfBuilder file;
    const auto dt = file.addBlock("##DT", {}, "");
    const auto shortDz = file.addBlock("##DZ", {}, "DT" + u8(0) + u8(0) + u32(0) + u64(9));
    ZtCReadContext& context = open(file);

    DzRecord record;
    EXPECT_EQ(readDzHeader(context, dt, record), kFailed);
    ASSERT_EQ(readDzHeader(context, shortDz, record), kOk);
    EXPECT_EQ(record.dz_org_data_length, 9u);
    EXPECT_EQ(record.dz_data_length, 0u) << "fields beyond the block's end read as 0";

    ASSERT_EQ(findings_.errors().size(), 2u);
    EXPECT_EQ(findings_.errors()[0].number, 103u);
    EXPECT_EQ(findings_.errors()[0].detail2, u"DZ");
    EXPECT_EQ(findings_.errors()[1].number, 106u) << "shorter than 48 bytes";
}

}  // namespace
}  // namespace tarvik
