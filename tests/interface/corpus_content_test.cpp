// The content trees of the real files of other tools, and the first and last values of their
// numeric channels, through the public interface. The expected figures were read from the
// files' bytes with a separate script that follows their links and decodes the records.
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/read_items.h"

namespace {

using tarvik::test::Buffer;
using tarvik::test::ContentRead;
using tarvik::test::OpenedFile;

std::u16string text(const MF4Char* value) { return value ? std::u16string(value) : u"(null)"; }

// `all` counts every channel block the structure keeps: the channels of the tree, their
// structure members at any depth, and one master per group.
struct Expected {
    const char* file;
    std::uint64_t groups, channels, all, conversions, events, attachments, history;
};

const Expected kFiles[] = {
    {"CANedge_finalized.MF4", 8, 8, 52, 1, 0, 0, 1},
    {"ETAS_SimpleSorted.mf4", 2, 2, 4, 0, 0, 0, 1},
    {"PEA32_v400_KonvektionKalt1.mf4", 0, 0, 0, 0, 2, 1, 1},
    {"TGT_ASAP2_Demo_V171.mf4", 7, 38, 45, 25, 2, 0, 4},
    {"Vector_CANape.MF4", 2, 6, 8, 2, 0, 0, 1},
    {"Vector_DataList_TransposeDeflate.mf4", 1, 3, 4, 0, 0, 0, 1},
    {"Vector_Embedded.MF4", 2, 6, 8, 2, 0, 3, 4},
    {"Vector_FixedLengthStringUTF16_BE.mf4", 1, 1, 2, 0, 0, 0, 1},
    {"Vector_FixedLengthStringUTF8.mf4", 1, 1, 2, 0, 0, 0, 1},
    {"Vector_IntegerTypes.MF4", 1, 14, 15, 1, 0, 0, 1},
    {"Vector_LinearConversion.mf4", 1, 1, 2, 1, 0, 0, 2},
    {"Vector_MeasurementArrays.mf4", 11, 11, 22, 11, 0, 0, 1},
    {"Vector_MinimumFile.MF4", 2, 6, 8, 2, 0, 0, 2},
    {"Vector_RealTypes.MF4", 1, 4, 5, 1, 0, 0, 1},
    {"Vector_SingleDZ_Deflate.mf4", 1, 3, 4, 0, 0, 0, 1},
    {"Vector_Value2TextConversion.mf4", 1, 1, 2, 1, 0, 0, 1},
    {"Vector_ValueRange2TextConversion.mf4", 1, 1, 2, 1, 0, 0, 1},
    {"asammdf_demo_arrays_vlsd.mf4", 2, 16, 59, 7, 0, 0, 1},
    {"dSPACE_Bookmarks.mf4", 1, 1, 2, 1, 6, 0, 1},
    {"dSPACE_CaptureBlocks.mf4", 2, 3, 5, 1, 0, 0, 1},
    {"dax_test_metadata.mf4", 2, 24, 26, 11, 2, 0, 2},
    {"external/Vector_External.MF4", 2, 6, 8, 2, 0, 3, 4},
};

std::uint64_t withMembers(const MF4Channel* channels, std::uint64_t count) {
    std::uint64_t all = count;
    for (std::uint64_t i = 0; i < count; ++i) all += withMembers(channels[i].children, channels[i].childCount);
    return all;
}

TEST(CorpusContent, EveryFileGivesATreeWithTheCountsItHolds) {
    const auto corpus = tarvik::test::corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the project";
    for (const Expected& e : kFiles) {
        ContentRead content(corpus / e.file);
        ASSERT_NE(content.tree, nullptr) << e.file;
        EXPECT_LE(content.result, 1u) << e.file;
        const MF4Content& tree = *content.tree;
        EXPECT_EQ(tree.groupCount, e.groups) << e.file;
        EXPECT_EQ(tree.channelCount, e.channels) << e.file;
        EXPECT_EQ(withMembers(tree.channels, tree.channelCount) + tree.groupCount, e.all) << e.file;
        EXPECT_EQ(tree.conversionCount, e.conversions) << e.file;
        EXPECT_EQ(tree.eventCount, e.events) << e.file;
        EXPECT_EQ(tree.attachmentCount, e.attachments) << e.file;
        EXPECT_EQ(tree.historyCount, e.history) << e.file;
        EXPECT_EQ(tree.contentFlags, e.history == 1 ? 1u : 0u) << e.file;
        for (std::uint64_t i = 0; i < tree.channelCount; ++i) {
            EXPECT_LT(tree.channels[i].groupIndex, tree.groupCount) << e.file;
            EXPECT_NE(tree.channels[i].channelType, 2u) << "masters are not listed";
        }
    }
    // The one unfinished file of the corpus is refused as such.
    ContentRead unfinished(corpus / "CANedge_unfinalized_unsorted.MF4");
    EXPECT_EQ(unfinished.tree, nullptr);
    EXPECT_EQ(unfinished.errorCount, 1u);
    EXPECT_NE(unfinished.finding(102), nullptr);
}

TEST(CorpusContent, NamesUnitsCyclesAndCommentsAreThoseOfTheFiles) {
    const auto corpus = tarvik::test::corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the project";
    ContentRead minimum(corpus / "Vector_MinimumFile.MF4");
    ASSERT_NE(minimum.tree, nullptr);
    EXPECT_EQ(text(minimum.tree->headerComment), u"Minimum MDF 4.1 file derived from CANape file by removing some blocks");
    EXPECT_EQ(minimum.tree->groups[0].cycleCount, 102u);
    EXPECT_EQ(minimum.tree->groups[1].cycleCount, 1019u);
    EXPECT_EQ(text(minimum.tree->channels[0].name), u"dwordCounter");
    EXPECT_EQ(minimum.tree->formatVersion, 410);
    ContentRead tgt(corpus / "TGT_ASAP2_Demo_V171.mf4");
    ASSERT_NE(tgt.tree, nullptr);
    EXPECT_EQ(text(tgt.tree->groups[0].acquisitionName), u"100ms_sync");
    EXPECT_EQ(tgt.tree->groups[0].cycleCount, 124u);
    EXPECT_EQ(text(tgt.tree->channels[0].name), u"ASAM.M.SCALAR.SBYTE.IDENTICAL.DISCRETE");
    EXPECT_EQ(text(tgt.tree->channels[0].unit), u"hours");
    EXPECT_EQ(text(tgt.tree->historyComment), u"File was created.");
    EXPECT_EQ(tgt.tree->groups[1].cycleCount, 1240u);
    ContentRead integers(corpus / "Vector_IntegerTypes.MF4");
    ASSERT_NE(integers.tree, nullptr);
    EXPECT_EQ(text(integers.tree->groups[0].acquisitionName), u"100ms");
    EXPECT_EQ(integers.tree->groups[0].cycleCount, 201u);
    EXPECT_EQ(text(integers.tree->channels[0].name), u"Bit_Signal");
    EXPECT_EQ(text(integers.tree->channels[1].name), u"Counter_UINT8");
    EXPECT_EQ(integers.tree->channels[1].valueType, 17u);
    ContentRead etas(corpus / "ETAS_SimpleSorted.mf4");
    ASSERT_NE(etas.tree, nullptr);
    EXPECT_EQ(etas.tree->groups[0].cycleCount, 10000u);
    EXPECT_EQ(text(etas.tree->channels[0].name), u"Sigend_Int16_LE_Offset_32");
    EXPECT_EQ(etas.tree->channels[0].valueType, 2u);
    EXPECT_EQ(text(etas.tree->historyComment), u"Creation of test file");
}

TEST(CorpusContent, EventsIntervalsAndAttachmentsOfTheFiles) {
    const auto corpus = tarvik::test::corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the project";
    {
        ContentRead bookmarks(corpus / "dSPACE_Bookmarks.mf4");
        ASSERT_NE(bookmarks.tree, nullptr);
        EXPECT_EQ(text(bookmarks.tree->groups[0].acquisitionName), u"1ms");
        EXPECT_EQ(bookmarks.tree->groups[0].cycleCount, 360u);
        ASSERT_EQ(bookmarks.tree->eventCount, 6u);
        EXPECT_EQ(text(bookmarks.tree->events[0].name), u"0 deg");
        EXPECT_EQ(text(bookmarks.tree->events[1].name), u"Manual Bookmark");
        EXPECT_EQ(bookmarks.tree->events[0].eventType, 6u);
        ContentRead filtered(corpus / "dSPACE_Bookmarks.mf4", 1);
        ASSERT_NE(filtered.tree, nullptr);
        EXPECT_EQ(filtered.tree->eventCount, 0u);
    }
    {
        // Three acquisition interruptions: one names the first group, two the second.
        ContentRead capture(corpus / "dSPACE_CaptureBlocks.mf4");
        ASSERT_NE(capture.tree, nullptr);
        EXPECT_EQ(capture.tree->groups[0].segmentCount, 2u);
        EXPECT_EQ(capture.tree->groups[1].segmentCount, 3u);
        EXPECT_EQ(capture.tree->eventCount, 0u) << "interruptions are not events of the tree";
        ContentRead filtered(corpus / "dSPACE_CaptureBlocks.mf4", 1);
        ASSERT_NE(filtered.tree, nullptr);
        EXPECT_EQ(filtered.tree->groups[1].segmentCount, 1u);
    }
    {
        ContentRead embedded(corpus / "Vector_Embedded.MF4");
        ASSERT_NE(embedded.tree, nullptr);
        const MF4Attachment* at = embedded.tree->attachments;
        EXPECT_EQ(text(at[0].fileName), u"ReadMe.txt");
        EXPECT_EQ(text(at[0].mimeType), u"text/plain");
        EXPECT_EQ(at[0].size, 443u);
        EXPECT_EQ(at[0].embedded, 1u);
        ASSERT_NE(at[0].data, nullptr);
        EXPECT_EQ(std::memcmp(at[0].data, "Attachments ", 12), 0);
        EXPECT_EQ(at[1].size, 358u);
        ASSERT_NE(at[1].data, nullptr);
        EXPECT_EQ(std::memcmp(at[1].data, "PK\x03\x04", 4), 0);
        EXPECT_EQ(text(at[2].fileName), u"ReadMe.html");
    }
    {
        // Only ReadMe.zip lies beside the external file; the other two are missing on purpose.
        ContentRead external(corpus / "external/Vector_External.MF4");
        ASSERT_NE(external.tree, nullptr);
        int withData = 0;
        for (std::uint64_t i = 0; i < external.tree->attachmentCount; ++i) {
            const MF4Attachment& at = external.tree->attachments[i];
            EXPECT_EQ(at.embedded, 0u);
            if (at.data != nullptr) {
                ++withData;
                EXPECT_EQ(std::memcmp(at.data, "PK", 2), 0);
            }
        }
        EXPECT_EQ(withData, 1);
    }
}

struct ExpectedValues {
    const char* file;
    std::uint64_t group;
    const char* channel;
    double first;
    double last;
};

const ExpectedValues kValues[] = {
#include "corpus_values.inc"
};

// The value of channel `index` in `record`, whatever its numeric type, as a double.
double valueAt(OpenedFile& file, std::uint64_t index, std::uint64_t record) {
    const MF4Channel& channel = file.content()->channels[index];
    Buffer<double> master(1);
    Buffer<std::uint64_t> value(1);  // 8 bytes hold every numeric kind
    const bool doubles = file.content()->groups[channel.groupIndex].masterValueType == 5;
    file.read(MF4_READ_SAMPLE_BASED,
              {value.bind({.index = index, .firstSample = record, .sampleCount = 1, .capacity = 1})},
              {master.bind({.index = channel.groupIndex, .firstSample = record, .sampleCount = 1,
                            .capacity = doubles ? 1u : 0u})});
    EXPECT_EQ(value.stored, 1u) << "one value stored";
    return tarvik::test::numberAt(value.values.data(), channel.valueType, 0);
}

TEST(CorpusValues, FirstAndLastValueOfEveryNumericChannel) {
    const auto corpus = tarvik::test::corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the project";
    std::map<std::string, std::unique_ptr<OpenedFile>> trees;
    for (const ExpectedValues& e : kValues) {
        auto& tree = trees[e.file];
        if (!tree) tree = std::make_unique<OpenedFile>(corpus / e.file);
        MF4Content* content = tree->content();
        ASSERT_NE(content, nullptr) << e.file;
        const std::uint64_t index = tarvik::test::channelNamed(*content, e.group, e.channel);
        ASSERT_LT(index, content->channelCount) << e.file << " " << e.channel;
        const std::uint64_t records = content->groups[e.group].cycleCount;
        EXPECT_EQ(valueAt(*tree, index, 0), e.first) << e.file << " " << e.channel;
        EXPECT_EQ(valueAt(*tree, index, records - 1), e.last) << e.file << " " << e.channel;
    }
}

}  // namespace
