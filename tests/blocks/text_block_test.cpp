#include "blocks/text_block.h"

#include "blocks/block_header.h"
#include "new_file.h"
#include "structure_walk.h"

namespace tarvik::test {
namespace {

using platform::kFailed;
using platform::kOk;
using TextBlocks = BlockFile;

TEST_F(TextBlocks, TextsEndAtTheirFirstZeroAndKeepTheirKind) {
    MdfBuilder file;
    const auto tx = file.addText("##TX", "Zeit \xC3\xA4\xF0\x9F\x98\x80");  // ä and U+1F600
    const auto md = file.addBlock("##MD", {}, std::string("<CNcomment/>\0garbage\0\0", 23));
    const auto empty = file.addBlock("##TX", {}, "");
    const auto cn = file.addBlock("##CN", {}, std::string(8, '\0'));
    const auto bad = file.addText("##TX", "a\xFF" "b");
    const auto hd = file.addBlock("##HD", {}, "");
    const auto sd = file.addBlock("##SD", {}, "");
    ZtCReadContext& context = open(file);

    std::optional<std::u16string> text;
    ASSERT_EQ(readTextBlock(context, tx, text), kOk);
    EXPECT_EQ(text, u"Zeit \u00E4\U0001F600");
    ASSERT_EQ(readTextBlock(context, 0, text), kOk);
    EXPECT_FALSE(text.has_value());
    ASSERT_EQ(readTextBlock(context, empty, text), kOk);
    EXPECT_FALSE(text.has_value()) << "a block of header length only has no text";
    ASSERT_EQ(readTextBlock(context, bad, text), kOk);
    EXPECT_EQ(text, u"a\uFFFDb");

    TextRef ref;
    ASSERT_EQ(readTextRef(context, md, ref), kOk);
    EXPECT_EQ(ref.kind, BlockKind::MD);
    EXPECT_EQ(ref.text, u"<CNcomment/>");
    ASSERT_EQ(readTextRef(context, tx, ref), kOk);
    EXPECT_EQ(ref.kind, BlockKind::TX);
    ASSERT_EQ(readTextRef(context, cn, ref), kOk);
    EXPECT_EQ(ref.kind, BlockKind::None) << "a comment link to another block is ignored";
    EXPECT_FALSE(ref.text.has_value());
    EXPECT_TRUE(findings_.empty());

    // Only the kinds a link may lead to are probed; HD never is.
    const std::pair<std::int64_t, BlockKind> probes[] = {
        {0, BlockKind::None},  {cn, BlockKind::CN},        {sd, BlockKind::SD},
        {hd, BlockKind::None}, {1 << 20, BlockKind::None}, {-8, BlockKind::None}};
    for (const auto& [link, kind] : probes) EXPECT_EQ(probeBlock(context.stream, link), kind) << link;
}

TEST_F(TextBlocks, WrongIdsAndImpossibleLengthsFail) {
    MdfBuilder file;
    const auto md = file.addText("##MD", "<x/>");
    const auto huge = file.addBlock("##TX", {}, "abc", 0x7FFFFFFFFFFFFFF0);
    ZtCReadContext& context = open(file);

    std::optional<std::u16string> text;
    EXPECT_EQ(readTextBlock(context, md, text), kFailed);
    EXPECT_EQ(errors(), Lines{"103 TX"});
    EXPECT_EQ(findings_.errors()[0].detail1, u"blocks.mf4");
    EXPECT_EQ(readTextBlock(context, huge, text), kFailed) << "length beyond the file";
    EXPECT_EQ(readTextBlock(context, 1 << 20, text), kFailed) << "link beyond the file";
}

TEST(TextBlockWriting, TextIsWrittenAlignedWithItsZeroAndNoPadding) {
    NewFile file("w.mf4");
    ASSERT_EQ(file.stream.write(std::uint8_t{1}), kOk);
    std::int64_t position = 0;
    ASSERT_EQ(writeTextBlock(file.stream, BlockKind::MD, u"<a>\u00E4</a>", position), kOk);
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
}  // namespace tarvik::test
