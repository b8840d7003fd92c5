// Content trees of files made byte by byte for each case, read through the public interface.
#include <string>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/mdf_blocks.h"
#include "support/temp_dir.h"

namespace {

using namespace tarvik::test;

struct Read {
    Read(const MdfBuilder& file, std::uint64_t filter = 0) {
        path = widePath(dir.write("case.mf4", file.bytes()));
        result = ReadFilteredContent(path.c_str(), filter, &tree, &errors, &errorCount);
    }
    ~Read() {
        FreeErrors(errors, errorCount);
        FreeContent(tree);
    }
    // The first finding with `number`, or null.
    const MF4Error* finding(std::uint32_t number) const {
        for (std::uint64_t i = 0; i < errorCount; ++i)
            if (errors[i].messageId == number) return &errors[i];
        return nullptr;
    }
    TempDir dir;
    std::u16string path;
    std::uint32_t result = 0;
    MF4Content* tree = nullptr;
    MF4Error* errors = nullptr;
    std::uint64_t errorCount = 0;
};

std::u16string text(const MF4Char* value) { return value ? std::u16string(value) : u"(null)"; }

// Appends a channel named `name` after `previous` in its chain.
std::int64_t appendChannel(MdfBuilder& file, std::int64_t previous, const std::string& name, CnFields fields) {
    const auto channel = file.addBlock("##CN", {0, 0, file.addText("##TX", name), 0, 0, 0, 0, 0}, cnData(fields));
    file.patchU64(linkAt(previous, 0), static_cast<std::uint64_t>(channel));
    return channel;
}

TEST(Content, GroupsAndChannelsOfASortedFile) {
    MinimalFile m = makeMinimalFile({.valueName = "first"});
    const auto second = appendChannel(m.file, m.valueChannel, "second", {.dataType = 2, .byteOffset = 10, .bitCount = 32});
    appendChannel(m.file, second, "third", {.dataType = 6, .byteOffset = 14, .bitCount = 64});
    patchBytes(m.file, static_cast<std::uint64_t>(m.cg) + 24 + 48 + 18, std::string("/\0", 2));
    Read read(m.file);
    ASSERT_NE(read.tree, nullptr);
    EXPECT_EQ(read.result, 0u);
    const MF4Content& tree = *read.tree;
    ASSERT_EQ(tree.groupCount, 1u);
    ASSERT_EQ(tree.channelCount, 3u) << "the master is not a channel of the tree";
    const char16_t* names[] = {u"first", u"second", u"third"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(text(tree.channels[i].name), names[i]);
        EXPECT_EQ(tree.channels[i].groupIndex, 0u);
        EXPECT_EQ(tree.channels[i].cycleCount, 3u);
        EXPECT_EQ(tree.channels[i].segmentCount, 1u);
        EXPECT_EQ(tree.channels[i].conversion, -1);
    }
    EXPECT_EQ(tree.channels[0].valueType, 18u);  // unsigned 16 bits
    EXPECT_EQ(tree.channels[1].valueType, 3u);   // signed 32 bits
    EXPECT_EQ(tree.channels[2].valueType, 30u);  // Latin-1 string
    EXPECT_EQ(tree.channels[2].stringEncoding, 1u);
    const MF4ChannelGroup& group = tree.groups[0];
    EXPECT_EQ(text(group.acquisitionName), u"Acq");
    EXPECT_EQ(group.masterValueType, 5u);
    EXPECT_EQ(group.recordDataBytes, 10u);
    EXPECT_EQ(group.pathSeparator, u'/');
    EXPECT_EQ(group.dataGroupPosition, static_cast<std::uint64_t>(m.dg));
    EXPECT_EQ(tree.timeKind, 1u) << "time flags 2: offsets valid";
    EXPECT_EQ(tree.tzOffsetMin, 60);
    EXPECT_EQ(text(tree.toolVendor), u"tarvik");
    EXPECT_EQ(text(tree.toolVersion), u"1.0");
    EXPECT_EQ(text(tree.historyComment), u"created");
    EXPECT_EQ(text(tree.filePath), read.path);
    EXPECT_NE(GetHDBlock(read.tree), nullptr) << "the reading layer keeps the header block";
}

TEST(Content, FilesThatGiveNoGroupsOrNoTree) {
    {
        MinimalFileFields fields;
        fields.time.type = 0;  // no master channel
        Read read(makeMinimalFile(fields).file);
        ASSERT_NE(read.tree, nullptr);
        EXPECT_EQ(read.tree->groupCount, 0u);
        EXPECT_EQ(read.tree->channelCount, 0u);
        EXPECT_NE(read.finding(132), nullptr);
    }
    {
        MinimalFile m = makeMinimalFile();
        const auto master = m.file.addBlock("##CN", {0, 0, 0, 0, 0, 0, 0, 0}, cnData({.type = 2, .syncType = 1, .dataType = 4, .bitCount = 64}));
        const auto cg = m.file.addBlock("##CG", {0, master, 0, 0, 0, 0}, cgData({.dataBytes = 8}));
        m.file.patchU64(linkAt(m.cg, 0), static_cast<std::uint64_t>(cg));
        Read read(m.file);
        EXPECT_EQ(read.tree, nullptr) << "an unsorted data group gives no tree";
        EXPECT_EQ(read.result, 2u);
        EXPECT_NE(read.finding(139), nullptr);
    }
}

TEST(Content, CommentsThatDoNotParseAreReportedAndLeftOut) {
    MinimalFile m = makeMinimalFile();
    m.file.patchU64(linkAt(m.hd, 5), static_cast<std::uint64_t>(m.file.addText("##MD", "<HDcomment><TX>cut short")));
    Read read(m.file);
    ASSERT_NE(read.tree, nullptr);
    EXPECT_EQ(read.result, 1u) << "a broken comment is a warning";
    const MF4Error* finding = read.finding(129);
    ASSERT_NE(finding, nullptr);
    EXPECT_EQ(finding->severity, 1u);
    const std::u16string detail = text(finding->detail2);
    EXPECT_EQ(detail.rfind(u"HD Block at 0x40, Field: hd_md_comment, Error: ", 0), 0u) << std::string(detail.begin(), detail.end());
    EXPECT_EQ(read.tree->headerComment, nullptr);
}

TEST(Content, OldFormatFilesHaveNoPathSeparatorAndNoTimeouts) {
    MinimalFile m = makeMinimalFile();
    patchBytes(m.file, 8, "4.00    ");
    patchBytes(m.file, static_cast<std::uint64_t>(m.cg) + 24 + 48 + 18, std::string("/\0", 2));  // 4.10 path separator
    const auto comment = m.file.addText("##MD", "<EVcomment xmlns=\"http://www.asam.net/mdf/v4\"><TX/>"
                                                "<timeout triggered=\"true\">5</timeout></EVcomment>");
    const auto event = m.file.addBlock("##EV", {0, 0, 0, 0, comment}, evData({.type = 4, .syncBaseValue = 2}));
    m.file.patchU64(linkAt(m.hd, 4), static_cast<std::uint64_t>(event));
    Read read(m.file);
    ASSERT_NE(read.tree, nullptr);
    EXPECT_EQ(read.tree->formatVersion, 400);
    EXPECT_EQ(read.tree->groups[0].pathSeparator, 0u);
    ASSERT_EQ(read.tree->eventCount, 1u);
    EXPECT_EQ(read.tree->events[0].timeout, 0.0);
    EXPECT_EQ(read.tree->events[0].timeoutTriggered, 0u);
    EXPECT_EQ(read.tree->events[0].syncValue, 2.0);
    EXPECT_NE(read.finding(129), nullptr) << "timeout is no 4.00 element";
}

TEST(Content, ArraysConversionsAndEventScopes) {
    MinimalFile m = makeMinimalFile();
    // A 2 x 3 look-up table with fixed axes, stored Y before X.
    const auto array = m.file.addBlock("##CA", {0}, caData({.type = 2, .flags = 1u << 5, .dimSizes = {2, 3},
                                                            .axisValues = {1, 2, 10, 20, 30}}));
    m.file.patchU64(linkAt(m.valueChannel, 1), static_cast<std::uint64_t>(array));
    const auto order = m.file.addText("##MD", "<CNcomment xmlns=\"http://www.asam.net/mdf/v4\"><TX/><common_properties>"
                                              "<e name=\"ASAM.DimensionOrder\">YX</e></common_properties></CNcomment>");
    m.file.patchU64(linkAt(m.valueChannel, 7), static_cast<std::uint64_t>(order));
    const auto conversion = m.file.addBlock("##CC", {0, 0, 0, 0}, ccData({.type = 6, .values = {0, 1, 5}}));
    m.file.patchU64(linkAt(m.valueChannel, 4), static_cast<std::uint64_t>(conversion));
    // A marker whose scope names the master channel, which the tree does not list.
    const auto marker = m.file.addBlock("##EV", {0, 0, 0, 0, 0, m.timeChannel}, evData({.type = 6, .scopeCount = 1}));
    m.file.patchU64(linkAt(m.hd, 4), static_cast<std::uint64_t>(marker));

    Read read(m.file);
    ASSERT_NE(read.tree, nullptr);
    const MF4Channel& channel = read.tree->channels[0];
    EXPECT_EQ(channel.isLookup, 1u);
    EXPECT_EQ(channel.calibration, 1u);
    EXPECT_EQ(channel.isScalingAxis, 0u);
    EXPECT_EQ(channel.dimensionCount, 2u);
    EXPECT_EQ(channel.dimensionSizes[0], 3u) << "YX: last dimension first";
    EXPECT_EQ(channel.dimensionSizes[1], 2u);
    ASSERT_NE(channel.axes[0], nullptr);
    ASSERT_NE(channel.axes[1], nullptr);
    EXPECT_EQ(channel.axes[2], nullptr);
    EXPECT_EQ(channel.axes[0]->axisKind, 0u);
    ASSERT_EQ(channel.axes[0]->valueCount, 3u);
    EXPECT_EQ(channel.axes[0]->values[2], 30.0) << "the mirrored axis takes the other dimension's values";
    EXPECT_EQ(channel.axes[1]->values[1], 2.0);

    ASSERT_EQ(read.tree->conversionCount, 1u);
    const MF4Conversion& cc = read.tree->conversions[0];
    EXPECT_EQ(cc.conversionType, 9u) << "value range to value is not supported";
    EXPECT_EQ(cc.entryCount, 0u);
    EXPECT_EQ(cc.parameters.pairs, nullptr);
    EXPECT_EQ(channel.conversion, 0);
    EXPECT_NE(read.finding(119), nullptr);

    ASSERT_EQ(read.tree->eventCount, 1u);
    const MF4Event& event = read.tree->events[0];
    EXPECT_EQ(event.scopeKind, 2u);
    ASSERT_EQ(event.scopeCount, 1u);
    EXPECT_EQ(event.scope[0], read.tree->channelCount);
}

}  // namespace
