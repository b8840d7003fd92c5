// ReadContent as a host sees it: result codes, findings with their messages from the message
// file beside the library, outputs left alone where the interface promises it, and the content
// trees of files made byte by byte for each case.
#include <string>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/mdf_blocks.h"
#include "support/read_items.h"

namespace {

using namespace tarvik::test;

std::u16string text(const MF4Char* value) { return value ? std::u16string(value) : u"(null)"; }

TEST(ReadContent, RejectedFilesGiveTheirFindingWithTheMessageFileText) {
    TempDir dir;
    struct Case {
        std::u16string path;
        std::uint32_t finding;
        const char16_t* detail;
    };
    const Case cases[] = {
        {widePath(dir.file("nowhere.mf4")), 141, nullptr},
        {widePath(dir.write("unfinished.mf4", MdfBuilder("4.10    ", "UnFinMF ").bytes())), 102, nullptr},
        {widePath(dir.write("old.mf4", MdfBuilder("3.30    ").bytes())), 130, u"File Version: 330, Tool Version: 410."},
        {widePath(dir.write("new.mf4", MdfBuilder("4.20    ").bytes())), 130, u"File Version: 420, Tool Version: 410."},
    };
    for (const Case& c : cases) {
        ContentRead read(c.path, c.finding == 130 ? 1 : 0);
        SCOPED_TRACE(c.finding);
        EXPECT_EQ(read.result, 2u);
        EXPECT_EQ(read.tree, nullptr);
        ASSERT_EQ(read.errorCount, 1u);
        const MF4Error& e = read.errors[0];
        EXPECT_EQ(e.messageId, c.finding);
        EXPECT_EQ(e.severity, 0u);
        EXPECT_EQ(text(e.detail1), c.path);
        EXPECT_EQ(text(e.detail2), c.detail ? c.detail : u"(null)");
        // The text comes from the message file installed beside the library, details filled in.
        ASSERT_NE(e.message, nullptr) << "message file not found beside the library";
        const std::u16string message = e.message;
        EXPECT_NE(message.find(c.detail ? c.detail : c.path), std::u16string::npos);
        EXPECT_EQ(message.find(u"%1"), std::u16string::npos);
    }
}

TEST(ReadContent, NullArgumentsLeaveTheOutputsAlone) {
    MF4Content* content = reinterpret_cast<MF4Content*>(0x1);
    MF4Error* errors = reinterpret_cast<MF4Error*>(0x2);
    std::uint64_t errorCount = 77;
    EXPECT_EQ(ReadContent(nullptr, &content, &errors, &errorCount), 2u);
    EXPECT_EQ(ReadFilteredContent(nullptr, 1, &content, &errors, &errorCount), 2u);
    EXPECT_EQ(ReadContent(u"x.mf4", nullptr, &errors, &errorCount), 2u);
    EXPECT_EQ(content, reinterpret_cast<MF4Content*>(0x1));
    EXPECT_EQ(errors, reinterpret_cast<MF4Error*>(0x2));
    EXPECT_EQ(errorCount, 77u);
    // Without somewhere to put the findings the call still answers with its result.
    TempDir dir;
    const std::u16string missing = widePath(dir.file("missing.mf4"));
    MF4Content* none = nullptr;
    EXPECT_EQ(ReadContent(missing.c_str(), &none, nullptr, nullptr), 2u);
}

TEST(ReadContent, GroupsAndChannelsOfASortedFile) {
    TempDir dir;
    MinimalFile m = makeMinimalFile({.valueName = "first"});
    const auto third = addChannel(m.file, "third", {.dataType = 6, .byteOffset = 14, .bitCount = 64});
    setLink(m.file, m.valueChannel, 0, addChannel(m.file, "second", {.dataType = 2, .byteOffset = 10, .bitCount = 32}, third));
    patchBytes(m.file, static_cast<std::uint64_t>(m.cg) + 24 + 48 + 18, std::string("/\0", 2));
    ContentRead read(dir, m.file.bytes());
    ASSERT_NE(read.tree, nullptr);
    EXPECT_EQ(read.result, 0u);
    const MF4Content& tree = *read.tree;
    ASSERT_EQ(tree.groupCount, 1u);
    ASSERT_EQ(tree.channelCount, 3u) << "the master is not a channel of the tree";
    const char16_t* names[] = {u"first", u"second", u"third"};
    const std::uint32_t types[] = {18, 3, 30};  // u16, i32, Latin-1 string
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(text(tree.channels[i].name), names[i]);
        EXPECT_EQ(tree.channels[i].valueType, types[i]);
        EXPECT_EQ(tree.channels[i].cycleCount, 3u);
        EXPECT_EQ(tree.channels[i].segmentCount, 1u);
        EXPECT_EQ(tree.channels[i].conversion, -1);
    }
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
    EXPECT_EQ(text(tree.historyComment), u"created");
    EXPECT_EQ(text(tree.filePath), read.path);
    EXPECT_NE(GetHDBlock(read.tree), nullptr) << "the reading layer keeps the header block";
}

TEST(ReadContent, FilesThatGiveNoGroupsNoTreeOrNoComment) {
    TempDir dir;
    MinimalFileFields noMaster;
    noMaster.time.type = 0;
    ContentRead masterless(dir, makeMinimalFile(noMaster).file.bytes());
    ASSERT_NE(masterless.tree, nullptr);
    EXPECT_EQ(masterless.tree->groupCount, 0u);
    EXPECT_EQ(masterless.tree->channelCount, 0u);
    EXPECT_NE(masterless.finding(132), nullptr);

    MinimalFile unsorted = makeMinimalFile();
    const auto master = unsorted.file.addBlock("##CN", {0, 0, 0, 0, 0, 0, 0, 0}, cnData({.type = 2, .syncType = 1, .dataType = 4, .bitCount = 64}));
    setLink(unsorted.file, unsorted.cg, 0, unsorted.file.addBlock("##CG", {0, master, 0, 0, 0, 0}, cgData({.dataBytes = 8})));
    ContentRead two(dir, unsorted.file.bytes());
    EXPECT_EQ(two.tree, nullptr) << "an unsorted data group gives no tree";
    EXPECT_EQ(two.result, 2u);
    EXPECT_NE(two.finding(139), nullptr);

    MinimalFile broken = makeMinimalFile();
    setLink(broken.file, broken.hd, 5, broken.file.addText("##MD", "<HDcomment><TX>cut short"));
    ContentRead comment(dir, broken.file.bytes());
    ASSERT_NE(comment.tree, nullptr);
    EXPECT_EQ(comment.result, 1u) << "a broken comment is a warning";
    const MF4Error* finding = comment.finding(129);
    ASSERT_NE(finding, nullptr);
    EXPECT_EQ(finding->severity, 1u);
    EXPECT_EQ(text(finding->detail2).rfind(u"HD Block at 0x40, Field: hd_md_comment, Error: ", 0), 0u);
    EXPECT_EQ(comment.tree->headerComment, nullptr);
}

TEST(ReadContent, OldFormatFilesHaveNoPathSeparatorAndNoTimeouts) {
    TempDir dir;
    MinimalFile m = makeMinimalFile();
    patchBytes(m.file, 8, "4.00    ");
    patchBytes(m.file, static_cast<std::uint64_t>(m.cg) + 24 + 48 + 18, std::string("/\0", 2));  // 4.10 path separator
    const auto comment = m.file.addText("##MD", "<EVcomment xmlns=\"http://www.asam.net/mdf/v4\"><TX/>"
                                                "<timeout triggered=\"true\">5</timeout></EVcomment>");
    setLink(m.file, m.hd, 4, m.file.addBlock("##EV", {0, 0, 0, 0, comment}, evData({.type = 4, .syncBaseValue = 2})));
    ContentRead read(dir, m.file.bytes());
    ASSERT_NE(read.tree, nullptr);
    EXPECT_EQ(read.tree->formatVersion, 400);
    EXPECT_EQ(read.tree->groups[0].pathSeparator, 0u);
    ASSERT_EQ(read.tree->eventCount, 1u);
    EXPECT_EQ(read.tree->events[0].timeout, 0.0);
    EXPECT_EQ(read.tree->events[0].timeoutTriggered, 0u);
    EXPECT_EQ(read.tree->events[0].syncValue, 2.0);
    EXPECT_NE(read.finding(129), nullptr) << "timeout is no 4.00 element";
}

TEST(ReadContent, ArraysConversionsAndEventScopes) {
    TempDir dir;
    MinimalFile m = makeMinimalFile();
    // A 2 x 3 look-up table with fixed axes, stored Y before X.
    const auto array = m.file.addBlock("##CA", {0}, caData({.type = 2, .flags = 1u << 5, .dimSizes = {2, 3},
                                                            .axisValues = {1, 2, 10, 20, 30}}));
    setLink(m.file, m.valueChannel, 1, array);
    setLink(m.file, m.valueChannel, 7,
            m.file.addText("##MD", "<CNcomment xmlns=\"http://www.asam.net/mdf/v4\"><TX/><common_properties>"
                                   "<e name=\"ASAM.DimensionOrder\">YX</e></common_properties></CNcomment>"));
    setLink(m.file, m.valueChannel, 4, m.file.addBlock("##CC", {0, 0, 0, 0}, ccData({.type = 6, .values = {0, 1, 5}})));
    // A marker whose scope names the master channel, which the tree does not list, and one whose
    // scope link names a block that is neither a group nor a channel.
    const auto foreign = m.file.addBlock("##EV", {0, 0, 0, 0, 0, m.dt}, evData({.type = 6, .scopeCount = 1}));
    setLink(m.file, m.hd, 4, m.file.addBlock("##EV", {foreign, 0, 0, 0, 0, m.timeChannel}, evData({.type = 6, .scopeCount = 1})));

    ContentRead read(dir, m.file.bytes());
    ASSERT_NE(read.tree, nullptr);
    const MF4Channel& channel = read.tree->channels[0];
    EXPECT_EQ(channel.isLookup, 1u);
    EXPECT_EQ(channel.calibration, 1u);
    EXPECT_EQ(channel.dimensionCount, 2u);
    EXPECT_EQ(channel.dimensionSizes[0], 3u) << "YX: last dimension first";
    EXPECT_EQ(channel.dimensionSizes[1], 2u);
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

    ASSERT_EQ(read.tree->eventCount, 2u);
    const MF4Event& event = read.tree->events[0];
    EXPECT_EQ(event.scopeKind, 2u);
    ASSERT_EQ(event.scopeCount, 1u);
    EXPECT_EQ(event.scope[0], read.tree->channelCount);
    EXPECT_EQ(read.tree->events[1].scopeCount, 0u) << "no scope list: no count";
    EXPECT_EQ(read.tree->events[1].scope, nullptr);
}

}  // namespace
