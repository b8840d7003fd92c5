#include "blocks/text_block.h"


#include <gtest/gtest.h>

#include "blocks/block_header.h"
#include "blocks/block_layer.h"
#include "blocks/read_context.h"
#include "findings/findings.h"
#include "new_file.h"
#include "support/mdf_builder.h"
#include "support/temp_dir.h"

namespace tarvik {
namespace {

using test::MdfBuilder;
using test::TempDir;
using test::u64;
using test::widePath;

// A file with a few blocks to point links at, opened in a read context.
class TextBlocks : public ::testing::Test {
protected:
    void open(const MdfBuilder& file) {
        path_ = dir_.write("texts.mf4", file.bytes());
        context_ = std::make_unique<ZtCReadContext>(widePath(path_), findings_, 0);
        ASSERT_EQ(context_->stream.openRead(context_->path), platform::kOk);
    }
    ZtCReadContext& context() { return *context_; }

    TempDir dir_;
    std::filesystem::path path_;
    FindingList findings_{u"texts.mf4"};
    std::unique_ptr<ZtCReadContext> context_;
};

TEST_F(TextBlocks, TextsEndAtTheirFirstZeroAndKeepTheirKind) {
    MdfBuilder file;
    const auto tx = file.addText("##TX", "Zeit \xC3\xA4\xF0\x9F\x98\x80");  // ä and U+1F600
    const auto md = file.addBlock("##MD", {}, std::string("<CNcomment/>\0garbage\0\0", 23));
    const auto empty = file.addBlock("##TX", {}, "");
    const auto cn = file.addBlock("##CN", {}, std::string(8, '\0'));
    const auto bad = file.addText("##TX", "a\xFF" "b");
    open(file);

    std::optional<std::u16string> text;
    ASSERT_EQ(readTextBlock(context(), tx, text), platform::kOk);
    EXPECT_EQ(text, u"Zeit \u00E4\U0001F600");
    ASSERT_EQ(readTextBlock(context(), 0, text), platform::kOk);
    EXPECT_FALSE(text.has_value());
    ASSERT_EQ(readTextBlock(context(), empty, text), platform::kOk);
    EXPECT_FALSE(text.has_value()) << "a block of header length only has no text";
    ASSERT_EQ(readTextBlock(context(), bad, text), platform::kOk);
    EXPECT_EQ(text, u"a\uFFFDb");

    TextRef ref;
    ASSERT_EQ(readTextRef(context(), md, ref), platform::kOk);
    EXPECT_EQ(ref.kind, BlockKind::MD);
    EXPECT_EQ(ref.text, u"<CNcomment/>");
    ASSERT_EQ(readTextRef(context(), tx, ref), platform::kOk);
    EXPECT_EQ(ref.kind, BlockKind::TX);
    ASSERT_EQ(readTextRef(context(), cn, ref), platform::kOk);
    EXPECT_EQ(ref.kind, BlockKind::None) << "a comment link to another block is ignored";
    EXPECT_FALSE(ref.text.has_value());
    EXPECT_TRUE(findings_.empty());
}

TEST_F(TextBlocks, WrongIdsAndImpossibleLengthsFail) {
    MdfBuilder file;
    const auto md = file.addText("##MD", "<x/>");
    const auto huge = file.addBlock("##TX", {}, "abc", 0x7FFFFFFFFFFFFFF0);
    open(file);

    std::optional<std::u16string> text;
    EXPECT_EQ(readTextBlock(context(), md, text), platform::kFailed);
    ASSERT_EQ(findings_.errors().size(), 1u);
    EXPECT_EQ(findings_.errors()[0].number, 103u);
    EXPECT_EQ(findings_.errors()[0].detail2, u"TX");
    EXPECT_EQ(findings_.errors()[0].detail1, u"texts.mf4");

    EXPECT_EQ(readTextBlock(context(), huge, text), platform::kFailed) << "length beyond the file";
    EXPECT_EQ(readTextBlock(context(), 1 << 20, text), platform::kFailed) << "link beyond the file";
}

TEST_F(TextBlocks, ProbeKnowsTheLinkedKindsOnly) {
    MdfBuilder file;
    const auto hd = file.addBlock("##HD", {}, "");
    const auto dz = file.addBlock("##DZ", {}, "");
    const auto sd = file.addBlock("##SD", {}, "");
    const auto cc = file.addBlock("##CC", {}, "");
    open(file);
    EXPECT_EQ(probeBlock(context().stream, 0), BlockKind::None);
    EXPECT_EQ(probeBlock(context().stream, hd), BlockKind::None) << "HD is never probed";
    EXPECT_EQ(probeBlock(context().stream, dz), BlockKind::DZ);
    EXPECT_EQ(probeBlock(context().stream, sd), BlockKind::SD);
    EXPECT_EQ(probeBlock(context().stream, cc), BlockKind::CC);
    EXPECT_EQ(probeBlock(context().stream, 1 << 20), BlockKind::None);
    EXPECT_EQ(probeBlock(context().stream, -8), BlockKind::None);
}

TEST(TextBlockWriting, TextIsWrittenAlignedWithItsZeroAndNoPadding) {
    test::NewFile file("w.mf4");
    ASSERT_EQ(file.stream.write(std::uint8_t{1}), platform::kOk);
    std::int64_t position = 0;
    ASSERT_EQ(writeTextBlock(file.stream, BlockKind::MD, u"<a>\u00E4</a>", position), platform::kOk);
    EXPECT_EQ(position, 8);

    const std::string bytes = file.bytes();
    const std::string utf8 = "<a>\xC3\xA4</a>";
    EXPECT_EQ(bytes.size(), 8 + 24 + utf8.size() + 1);
    EXPECT_EQ(bytes.substr(8, 4), "##MD");
    EXPECT_EQ(bytes.substr(16, 8), u64(24 + utf8.size() + 1));
    EXPECT_EQ(bytes.substr(24, 8), u64(0));
    EXPECT_EQ(bytes.substr(32), utf8 + '\0');
}

}  // namespace
}  // namespace tarvik
