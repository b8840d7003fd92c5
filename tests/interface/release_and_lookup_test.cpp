// The release functions and the calls that need an open file, given trees the library never
// returned: nothing may crash, leak or touch the host's memory beyond what it owns.
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"

namespace {

MF4Char* hostText(const char16_t* value) {
    const std::size_t bytes = (std::char_traits<char16_t>::length(value) + 1) * sizeof(MF4Char);
    auto* copy = static_cast<MF4Char*>(std::malloc(bytes));
    std::memcpy(copy, value, bytes);
    return copy;
}

template <typename T>
T* hostArray(std::size_t count) {
    return static_cast<T*>(std::calloc(count, sizeof(T)));
}

MF4Property* hostProperties() {
    auto* properties = hostArray<MF4Property>(2);
    properties[0] = {32, hostText(u"a"), 31, hostText(u"1")};
    properties[1] = {32, hostText(u"b"), 0, nullptr};
    return properties;
}

// A tree with every kind of owned memory, as a host would build it with malloc. Run under the
// sanitizers, a field that FreeContent forgets shows up as a leak.
MF4Content* fullHostTree() {
    auto* content = hostArray<MF4Content>(1);
    content->toolVendor = hostText(u"vendor");
    content->toolVersion = hostText(u"1.0");
    content->headerComment = hostText(u"header");
    content->historyComment = hostText(u"history");
    content->headerProperties = hostProperties();
    content->headerPropertyCount = 2;

    content->channelCount = 1;
    content->channels = hostArray<MF4Channel>(1);
    MF4Channel& channel = content->channels[0];
    channel.name = hostText(u"lookup");
    channel.unit = hostText(u"V");
    channel.format = hostText(u"%.3f");
    channel.properties = hostProperties();
    channel.propertyCount = 2;
    channel.isLookup = 1;
    channel.dimensionCount = 2;
    for (int i = 0; i < 2; ++i) {
        channel.axes[i] = hostArray<MF4Axis>(1);
        channel.axes[i]->axisKind = static_cast<std::uint32_t>(i == 0 ? 0 : 2);
    }
    channel.axes[0]->values = hostArray<double>(3);
    channel.childCount = 1;
    channel.children = hostArray<MF4Channel>(1);
    channel.children[0].name = hostText(u"member");
    channel.children[0].comment = hostText(u"member comment");

    content->groupCount = 1;
    content->groups = hostArray<MF4ChannelGroup>(1);
    content->groups[0].acquisitionName = hostText(u"group");
    content->groups[0].sourceChannelNumber = hostText(u"7");
    content->groups[0].properties = hostProperties();
    content->groups[0].propertyCount = 2;

    content->conversionCount = 3;
    content->conversions = hostArray<MF4Conversion>(3);
    MF4Conversion* cc = content->conversions;
    cc[0].conversionType = 5;
    cc[0].name = hostText(u"table");
    cc[0].entryCount = 2;
    cc[0].parameters.pairs = hostArray<MF4ValuePair>(2);
    cc[1].conversionType = 7;
    cc[1].entryCount = 2;
    cc[1].parameters.valueTexts = hostArray<MF4ValueText>(2);
    cc[1].parameters.valueTexts[0].text = hostText(u"off");
    cc[1].parameters.valueTexts[1].text = hostText(u"on");
    cc[1].defaultText = hostText(u"unknown");
    cc[2].conversionType = 8;
    cc[2].entryCount = 2;
    cc[2].parameters.rangeTexts = hostArray<MF4RangeText>(2);
    cc[2].parameters.rangeTexts[0].ref.text = hostText(u"low");
    cc[2].parameters.rangeTexts[1].refKind = 1;
    cc[2].parameters.rangeTexts[1].ref.conversion = 0;  // an index: must not be freed
    cc[2].properties = hostProperties();
    cc[2].propertyCount = 2;

    content->eventCount = 1;
    content->events = hostArray<MF4Event>(1);
    content->events[0].name = hostText(u"marker");
    content->events[0].scopeKind = 2;
    content->events[0].scopeCount = 2;
    content->events[0].scope = hostArray<std::uint64_t>(2);

    content->attachmentCount = 1;
    content->attachments = hostArray<MF4Attachment>(1);
    content->attachments[0].fileName = hostText(u"a.txt");
    content->attachments[0].data = hostArray<std::uint8_t>(4);
    content->attachments[0].properties = hostProperties();
    content->attachments[0].propertyCount = 2;

    content->historyCount = 1;
    content->history = hostArray<MF4HistoryEntry>(1);
    content->history[0].comment = hostText(u"<FHcomment/>");
    return content;
}

TEST(HostTrees, AreReleasedWholeAndFoundByNoCall) {
    MF4Content* tree = fullHostTree();
    EXPECT_EQ(GetHDBlock(tree), nullptr);
    MF4ReadRequest request{};
    MF4Error* errors = nullptr;
    std::uint64_t errorCount = 0;
    EXPECT_EQ(ReadData(tree, &request, &errors, &errorCount), 2u) << "no file path";
    tree->filePath = hostText(u"/tmp/never-opened.mf4");
    EXPECT_EQ(ReadData(tree, &request, &errors, &errorCount), 2u) << "never returned by ReadContent";
    EXPECT_EQ(GetHDBlock(tree), nullptr);
    EXPECT_EQ(UpdateToolInformation(tree, "Prog    ", u"v", u"1"), 2u);
    EXPECT_EQ(std::u16string(tree->toolVendor), u"vendor") << "a refused update changes nothing";
    EXPECT_EQ(UpdateBookmarks(tree, nullptr, 0, nullptr, &errors, &errorCount), 2u);
    EXPECT_EQ(UpdateProperties(tree, nullptr, nullptr, 0, nullptr, &errors, &errorCount), 2u);
    EXPECT_EQ(WriteData(tree, nullptr, &errors, &errorCount), 2u);
    EXPECT_EQ(FinishWriting(tree, &errors, &errorCount), 2u);
    CloseUnfinished(tree);
    EXPECT_EQ(errors, nullptr);
    EXPECT_EQ(errorCount, 0u);
    FreeContent(tree);
}

TEST(HostTrees, NullArgumentsAreRefusedQuietly) {
    FreeContent(nullptr);
    FreeErrors(nullptr, 0);
    FreeStrings(nullptr, 5, 1);
    CloseUnfinished(nullptr);
    EXPECT_EQ(GetHDBlock(nullptr), nullptr);
    EXPECT_EQ(ReadData(nullptr, nullptr, nullptr, nullptr), 2u);
    EXPECT_EQ(WriteContent(nullptr, nullptr, nullptr, nullptr), 2u);
    EXPECT_EQ(WriteData(nullptr, nullptr, nullptr, nullptr), 2u);
    EXPECT_EQ(FinishWriting(nullptr, nullptr, nullptr), 2u);
    EXPECT_EQ(RecoverStreamingFile(nullptr, nullptr, nullptr), 2u);
    EXPECT_EQ(AddReductionData(nullptr, nullptr, nullptr), 2u);
    EXPECT_EQ(UpdateToolInformation(nullptr, nullptr, nullptr, nullptr), 2u);
    EXPECT_EQ(UpdateBookmarks(nullptr, nullptr, 0, nullptr, nullptr, nullptr), 2u);
    EXPECT_EQ(UpdateProperties(nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr), 2u);
}

TEST(FreeStrings, ReleasesTheStringsButNotTheBuffer) {
    void* buffer[4] = {std::malloc(3), nullptr, std::malloc(8), std::malloc(2)};
    void* keep = buffer[3];
    FreeStrings(buffer, 3, 0);
    EXPECT_EQ(buffer[0], nullptr);
    EXPECT_EQ(buffer[1], nullptr);
    EXPECT_EQ(buffer[2], nullptr);
    EXPECT_EQ(buffer[3], keep) << "only the first `count` entries belong to the call";
    FreeStrings(buffer + 3, 0, 1);
    EXPECT_EQ(buffer[3], keep);
    FreeStrings(buffer + 3, 1, 1);
    EXPECT_EQ(buffer[3], nullptr);
}

}  // namespace
