// Files written through the public interface and read back through it: every value kind the
// reader knows comes back bit for bit, and so does the metadata of the tree (conversions,
// events, attachments, comments and properties, late changes made before finishing).
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/host_tree.h"
#include "support/interface_walk.h"
#include "support/read_items.h"
#include "support/temp_dir.h"

namespace tarvik::test {
namespace {

// One numeric channel to write: its value type, bits and dimensions.
struct NumericChannel {
    std::u16string name;
    std::uint32_t valueType;
    std::uint32_t bitCount;
    std::vector<std::uint64_t> dimensions{};
};

std::uint32_t widthOf(std::uint32_t valueType) {
    switch (valueType) {
    case 16: case 17: return 1;
    case 2: case 18: return 2;
    case 3: case 19: case 4: return 4;
    default: return 8;
    }
}
bool isSigned(std::uint32_t valueType) { return valueType == 16 || valueType == 2 || valueType == 3 || valueType == 20; }

// `count` random values of the channel kind that fit its bits (signed fields sign-extended), as
// little-endian bytes.
std::vector<std::uint8_t> randomValues(const NumericChannel& kind, std::uint64_t count, std::mt19937_64& random) {
    const std::uint32_t width = widthOf(kind.valueType);
    std::vector<std::uint8_t> bytes(count * width);
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t bits = random();
        if (kind.valueType == 4) {
            const float value = std::uniform_real_distribution<float>(-1e6f, 1e6f)(random);
            std::memcpy(&bits, &value, 4);
        } else if (kind.valueType == 5) {
            const double value = std::uniform_real_distribution<double>(-1e12, 1e12)(random);
            std::memcpy(&bits, &value, 8);
        } else if (kind.bitCount < 64) {
            bits &= (std::uint64_t{1} << kind.bitCount) - 1;
            if (isSigned(kind.valueType) && (bits >> (kind.bitCount - 1)) & 1) bits |= ~std::uint64_t{0} << kind.bitCount;
        }
        std::memcpy(bytes.data() + i * width, &bits, width);
    }
    return bytes;
}

std::uint64_t elementsOf(const NumericChannel& kind) {
    std::uint64_t product = 1;
    for (std::uint64_t size : kind.dimensions) product *= size;
    return product;
}

// The index of the channel named `name` in a tree read back.
std::uint64_t channelNamed(const MF4Content& content, std::u16string_view name) {
    for (std::uint64_t i = 0; i < content.channelCount; ++i)
        if (content.channels[i].name && name == content.channels[i].name) return i;
    ADD_FAILURE() << "no channel of that name";
    return 0;
}

constexpr std::uint64_t kRecords = 20;

// Reads all records of one item in mode 0 into `slots` slots of `width` bytes.
std::vector<std::uint8_t> readBytes(OpenedFile& file, MF4ReadItem item, std::uint64_t slots, std::uint32_t width) {
    Buffer<std::uint8_t> values(slots * width);
    Buffer<double> master(kRecords);
    item = values.bind(item);
    item.capacity = slots;
    EXPECT_EQ(file.read(0, {item}, {master.item(0)}), 0u);
    EXPECT_EQ(values.stored, kRecords);
    return values.values;
}

TEST(WriteRoundTrip, EveryValueKindComesBackBitForBit) {
    const std::vector<NumericChannel> numbers{
        {u"i8", 16, 8},   {u"u8", 17, 8},   {u"i16", 2, 16},  {u"u16", 18, 16}, {u"i32", 3, 32},
        {u"u32", 19, 32}, {u"i64", 20, 64}, {u"u64", 21, 64}, {u"f32", 4, 32},  {u"f64", 5, 64},
        {u"bit1", 17, 1}, {u"u3", 17, 3},   {u"i12", 2, 12},  {u"u20", 19, 20}, {u"i40", 20, 40},
        {u"vec", 4, 32, {4}}, {u"map", 2, 16, {2, 3}}, {u"cube", 17, 8, {2, 2, 2}},
    };
    const std::vector<std::uint64_t> batches{7, 1, 12};
    const std::uint64_t records = kRecords;
    for (std::uint16_t version : {400, 410}) {
        SCOPED_TRACE(version);
        TempDir dir;
        HostTree tree(dir.file("kinds.mf4"), version);
        tree.addGroup(u"Kinds");
        for (const NumericChannel& kind : numbers) {
            MF4Channel& channel = tree.addChannel(0, kind.name, kind.valueType, kind.bitCount);
            channel.dimensionCount = static_cast<std::uint16_t>(kind.dimensions.size());
            for (std::size_t d = 0; d < kind.dimensions.size(); ++d) channel.dimensionSizes[d] = kind.dimensions[d];
        }
        const std::uint64_t fixedBytes = tree.content()->channelCount;
        tree.addChannel(0, u"raw5", 36, 40);
        const std::uint64_t structure = tree.content()->channelCount;
        MF4Channel members[2] = {};
        for (MF4Channel& member : members) member.conversion = member.syncAttachment = member.lengthChannel = -1;
        members[0].name = tree.text(u"S.a"), members[0].valueType = 18, members[0].bitCount = 16;
        members[1].name = tree.text(u"S.b"), members[1].valueType = 4, members[1].bitCount = 32;
        MF4Channel& parent = tree.addChannel(0, u"S", 36, 0);
        parent.children = members;
        parent.childCount = 2;
        tree.addGroup(u"Texts", 20);
        const std::uint64_t text8 = tree.content()->channelCount;
        tree.addChannel(1, u"text8", 30, 64);
        tree.addChannel(1, u"text16", 31, 64);
        tree.addChannel(1, u"blob", 36, 64).channelType = 1;
        ASSERT_EQ(tree.create(), 0u);

        std::mt19937_64 random(version);
        std::vector<std::vector<std::uint8_t>> values;
        for (const NumericChannel& kind : numbers) values.push_back(randomValues(kind, records * elementsOf(kind), random));
        const std::vector<std::uint8_t> raw = randomValues({u"", 17, 8}, records * 5, random);
        const std::vector<std::uint8_t> memberA = randomValues({u"", 18, 16}, records, random);
        const std::vector<std::uint8_t> memberB = randomValues({u"", 4, 32}, records, random);
        std::vector<double> time(records);
        std::vector<std::int64_t> ticks(records);
        std::vector<std::string> strings(records);
        std::vector<std::u16string> wide(records);
        std::vector<const void*> stringPointers(records), widePointers(records);
        std::vector<std::uint64_t> blobLengths(records);
        std::string blobBytes;
        for (std::uint64_t r = 0; r < records; ++r) {
            time[r] = 0.5 * r;
            ticks[r] = 1000 * static_cast<std::int64_t>(r);
            strings[r] = std::string(r % 5, static_cast<char>('a' + r)) + "\xC3\xA9";  // UTF-8 e-acute
            wide[r] = std::u16string(r % 3, static_cast<char16_t>(u'\u4E00' + r));
            stringPointers[r] = strings[r].c_str();
            widePointers[r] = wide[r].c_str();
            blobLengths[r] = r % 4;
            blobBytes += std::string(r % 4, static_cast<char>(r));
        }
        stringPointers[3] = nullptr;  // written as an empty string

        std::uint64_t start = 0, blobStart = 0;
        for (std::uint64_t count : batches) {
            WriteBatch batch;
            batch.group(0, 5, &time[start], count).group(1, 20, &ticks[start], count);
            for (std::size_t c = 0; c < numbers.size(); ++c) {
                const std::uint64_t perRecord = elementsOf(numbers[c]) * widthOf(numbers[c].valueType);
                batch.channel(c, numbers[c].valueType, values[c].data() + start * perRecord, count * elementsOf(numbers[c]));
            }
            batch.channel(fixedBytes, 36, raw.data() + start * 5, count)
                .channel(structure, 18, memberA.data() + start * 2, count, {0})
                .channel(structure, 4, memberB.data() + start * 4, count, {1})
                .channel(text8, 30, &stringPointers[start], count)
                .channel(text8 + 1, 31, &widePointers[start], count)
                .channel(text8 + 2, 36, blobBytes.data() + blobStart, count, {}, &blobLengths[start]);
            if (start == 8) batch.interruptions({4});
            ASSERT_EQ(batch.write(tree.content()), 0u);
            for (std::uint64_t r = start; r < start + count; ++r) blobStart += blobLengths[r];
            start += count;
        }
        ASSERT_EQ(tree.finish(), 0u);

        OpenedFile file(dir.file("kinds.mf4"));
        ASSERT_EQ(file.result(), 0u) << "no finding at all";
        const MF4Content& read = *file.content();
        ASSERT_EQ(read.groupCount, 2u);
        EXPECT_EQ(read.groups[0].cycleCount, records);
        EXPECT_EQ(read.groups[0].segmentCount, 2u);
        EXPECT_EQ(read.groups[1].segmentCount, 1u);
        for (std::size_t c = 0; c < numbers.size(); ++c) {
            SCOPED_TRACE(std::string(numbers[c].name.begin(), numbers[c].name.end()));
            const std::uint64_t index = channelNamed(read, numbers[c].name);
            EXPECT_EQ(read.channels[index].valueType, numbers[c].valueType);
            const std::uint32_t width = widthOf(numbers[c].valueType);
            std::vector<std::uint8_t> got = readBytes(file, {.index = index}, records * elementsOf(numbers[c]), width);
            EXPECT_EQ(got, values[c]);
        }
        EXPECT_EQ(readBytes(file, {.index = channelNamed(read, u"raw5")}, records, 5), raw);
        std::uint64_t path[1] = {0};
        const std::uint64_t s = channelNamed(read, u"S");
        EXPECT_EQ(readBytes(file, {.index = s, .memberCount = 1, .memberPath = path}, records, 2), memberA);
        path[0] = 1;
        EXPECT_EQ(readBytes(file, {.index = s, .memberCount = 1, .memberPath = path}, records, 4), memberB);

        Buffer<void*> narrow(records), utf16(records);
        Buffer<std::uint64_t> blobs(records);
        std::vector<std::uint8_t> blobData(1024);
        Buffer<std::int64_t> master(records);
        MF4ReadItem blobItem = blobs.item(channelNamed(read, u"blob"));
        blobItem.byteData = blobData.data();
        blobItem.reserved = blobData.size();
        MF4ReadItem narrowItem = narrow.item(channelNamed(read, u"text8")), wideItem = utf16.item(channelNamed(read, u"text16"));
        narrowItem.valueKind = 30;
        wideItem.valueKind = 31;
        ASSERT_EQ(file.read(0, {narrowItem, wideItem, blobItem}, {master.item(1)}), 0u);
        ASSERT_EQ(narrow.stored, records);
        std::string blobsBack;
        for (std::uint64_t r = 0; r < records; ++r) {
            EXPECT_EQ(master.values[r], ticks[r]);
            EXPECT_EQ(static_cast<const char*>(narrow.values[r]), r == 3 ? std::string() : strings[r]);
            EXPECT_EQ(static_cast<const char16_t*>(utf16.values[r]), wide[r]);
            std::uint32_t length = 0;
            std::memcpy(&length, blobData.data() + blobs.values[r], 4);
            EXPECT_EQ(length, blobLengths[r]);
            blobsBack.append(reinterpret_cast<const char*>(blobData.data() + blobs.values[r] + 4), length);
        }
        EXPECT_EQ(blobsBack, blobBytes);
        FreeStrings(narrow.values.data(), narrow.stored, 0);
        FreeStrings(utf16.values.data(), utf16.stored, 1);
        EXPECT_TRUE(readThroughInterface(widePath(dir.file("kinds.mf4"))).empty());
    }
}

std::u16string textOf(const MF4Char* text) { return text ? std::u16string(text) : std::u16string(u"(null)"); }

const MF4Conversion* conversionNamed(const MF4Content& content, std::u16string_view name) {
    for (std::uint64_t i = 0; i < content.conversionCount; ++i)
        if (content.conversions[i].name && name == content.conversions[i].name) return &content.conversions[i];
    return nullptr;
}

// The metadata of a tree comes back as written, with what the host changed before finishing.
TEST(WriteRoundTrip, MetadataAndLateChangesComeBack) {
    TempDir dir;
    HostTree tree(dir.file("meta.mf4"));
    MF4Content& root = *tree.content();
    root.headerComment = tree.text(u"first <draft> & more");
    MF4Property header[2] = {{sizeof(MF4Property), tree.text(u"vehicle"), 31, tree.text(u"Test car 7")},
                             {sizeof(MF4Property), tree.text(u"odometer"), 5, tree.text(u"12345.5")}};
    root.headerProperties = header;
    root.headerPropertyCount = 2;
    root.historyComment = tree.text(u"written by the tests");
    MF4HistoryEntry earlier{sizeof(MF4HistoryEntry), 1'600'000'000'000'000'000, 60, 0, 2, tree.text(u"recorded by a logger")};
    root.history = &earlier;
    root.historyCount = 1;
    root.toolVendor = tree.text(u"Tarvik team");
    root.toolVersion = tree.text(u"9.1");

    MF4ChannelGroup& group = tree.addGroup(u"Bus");
    group.comment = tree.text(u"group comment");
    group.sourceName = tree.text(u"CAN1");
    group.sourcePath = tree.text(u"bus/CAN1");
    group.sourceType = 2;
    group.busType = 2;
    group.sourceChannelNumber = tree.text(u"3");

    MF4Conversion& linear = tree.addConversion(1, u"lin");
    linear.parameters.linear[0] = 2, linear.parameters.linear[1] = 0.5;
    linear.unit = tree.text(u"km/h");
    linear.precisionValid = 1, linear.precision = 3;
    tree.addConversion(2, u"rat").parameters.rational[5] = 6;
    tree.addConversion(3, u"alg").formula = tree.text(u"X*2+1");
    MF4ValuePair pairs[2] = {{24, 0, 10}, {24, 1, 20}};
    MF4Conversion& table = tree.addConversion(5, u"tab");
    table.parameters.pairs = pairs, table.entryCount = 2;
    MF4ValueText texts[2] = {{24, 0, tree.text(u"off")}, {24, 1, tree.text(u"on")}};
    MF4Conversion& valueText = tree.addConversion(7, u"v2t");
    valueText.parameters.valueTexts = texts, valueText.entryCount = 2, valueText.defaultText = tree.text(u"unknown");
    MF4RangeText ranges[2] = {{40, 0, 9, 0, {}}, {40, 10, 19, 1, {}}};
    ranges[0].ref.text = tree.text(u"low");
    ranges[1].ref.conversion = 0;
    MF4Conversion& rangeText = tree.addConversion(8, u"r2t");
    rangeText.parameters.rangeTexts = ranges, rangeText.entryCount = 2, rangeText.defaultConversion = 0;
    tree.addConversion(0);  // a nameless identity is not written

    const std::u16string names[] = {u"c_lin", u"c_rat", u"c_alg", u"c_tab", u"c_v2t", u"c_r2t", u"c_none"};
    for (std::int64_t i = 0; i < 7; ++i) tree.addChannel(0, names[i], 17, 8).conversion = i;
    MF4Property channelProperty{sizeof(MF4Property), tree.text(u"origin"), 31, tree.text(u"ECU")};
    MF4Channel& rich = tree.addChannel(0, u"rich", 5, 64);
    rich.comment = tree.text(u"before");
    rich.displayName = tree.text(u"Rich signal");
    rich.format = tree.text(u"%.3f");
    rich.properties = &channelProperty, rich.propertyCount = 1;
    rich.limitValid = 1, rich.limitMin = -5, rich.limitMax = 5, rich.calibration = 1;
    rich.unit = tree.text(u"V");

    // Two look-up tables: one with fixed axis values, one whose axes are other channels.
    double xs[2] = {10, 20}, ys[3] = {1, 2, 3};
    MF4Axis fixedX{sizeof(MF4Axis), -1, -1, 0, -1, xs, 2, -1}, fixedY{sizeof(MF4Axis), -1, -1, 0, -1, ys, 3, -1};
    MF4Axis byX{sizeof(MF4Axis), -1, -1, 2, -1, nullptr, 0, 0}, byY{sizeof(MF4Axis), 1, -1, 2, 0, nullptr, 0, 1};
    for (int table = 0; table < 2; ++table) {
        MF4Channel& map = tree.addChannel(0, table == 0 ? u"map_fixed" : u"map_linked", 4, 32);
        map.isLookup = 1, map.dimensionCount = 2, map.dimensionSizes[0] = 2, map.dimensionSizes[1] = 3;
        map.axes[0] = table == 0 ? &fixedX : &byX;
        map.axes[1] = table == 0 ? &fixedY : &byY;
    }
    tree.addEvent(6, u"marker", 1.25).comment = tree.text(u"look here");
    MF4Event& trigger = tree.addEvent(5, u"trigger", 2.5);
    trigger.preTrigger = 0.5, trigger.postTrigger = 1.5, trigger.syntax = tree.text(u"speed > 10");
    std::uint64_t scope[1] = {0};
    trigger.scopeKind = 1, trigger.scopeCount = 1, trigger.scope = scope;
    tree.addEvent(0, u"begin", 3).rangeType = 1;
    MF4Event& end = tree.addEvent(0, u"end", 4);
    end.rangeType = 2, end.rangeBegin = 2;

    tree.addAttachment(u"notes.txt", "embedded bytes", true).mimeType = tree.text(u"text/plain");
    tree.addAttachment(u"sub/ext.bin", std::string("\0\1\2external", 11), false);
    ASSERT_EQ(tree.create(), 0u);
    double time[3] = {0, 1, 2};
    std::uint8_t small[3] = {0, 1, 15};
    double rich3[3] = {-1, 0.5, 4};
    WriteBatch batch;
    batch.group(0, 5, time, 3).channel(7, 5, rich3, 3);
    for (std::uint64_t c = 0; c < 7; ++c) batch.channel(c, 17, small, 3);
    ASSERT_EQ(batch.write(tree.content()), 0u);

    // Late changes: start time, texts, an event renamed (the events are written anew).
    root.startTimeNs += 5'000'000'000;
    root.headerComment = tree.text(u"final");
    tree.content()->channels[7].comment = tree.text(u"after");
    tree.content()->groups[0].comment = tree.text(u"group comment, revised");
    tree.content()->events[0].name = tree.text(u"marker 2");
    ASSERT_EQ(tree.finish(), 0u);

    EXPECT_EQ(fileBytes(dir.file("sub/ext.bin")), std::string("\0\1\2external", 11));

    OpenedFile file(dir.file("meta.mf4"));
    ASSERT_EQ(file.result(), 0u) << "no finding at all";
    const MF4Content& read = *file.content();
    EXPECT_EQ(read.startTimeNs, root.startTimeNs);
    EXPECT_EQ(std::string(read.programId, 8), "tests   ");
    // The host's history entry first, then the library's own, which names the tool.
    ASSERT_EQ(read.historyCount, 2u);
    EXPECT_TRUE(read.history[0].timeNs == earlier.timeNs && read.history[0].tzOffsetMin == 60);
    EXPECT_GT(read.history[1].timeNs, earlier.timeNs) << "the time of writing";
    const std::u16string tool = textOf(read.history[1].comment);
    for (const char16_t* part : {u"written by the tests", u"<tool_vendor>Tarvik team</tool_vendor>", u"<tool_version>9.1</tool_version>",
                                 u"<tool_id>tests   </tool_id>"})
        EXPECT_NE(tool.find(part), std::u16string::npos) << std::string(part, part + 5);
    const MF4ChannelGroup& g = read.groups[0];
    EXPECT_EQ(g.busType, 2u);
    EXPECT_TRUE(g.masterRangeValid && g.masterRangeMax == 2.0);
    const MF4Channel& r = read.channels[channelNamed(read, u"rich")];
    EXPECT_TRUE(r.limitValid && r.limitMin == -5 && r.limitMax == 5 && r.calibration);
    const MF4Conversion *lin = conversionNamed(read, u"lin"), *alg = conversionNamed(read, u"alg"), *tab = conversionNamed(read, u"tab"),
                        *v2t = conversionNamed(read, u"v2t"), *r2t = conversionNamed(read, u"r2t");
    ASSERT_TRUE(lin && conversionNamed(read, u"rat") && alg && tab && v2t && r2t);
    EXPECT_EQ(read.conversionCount, 6u) << "the nameless identity is not written";
    ASSERT_TRUE(read.headerPropertyCount == 2 && r.propertyCount == 1 && tab->entryCount == 2 && v2t->entryCount == 2 &&
                r2t->entryCount == 2 && read.eventCount == 4 && read.attachmentCount == 2);

    // Every text as written, or as changed before finishing.
    const std::pair<const MF4Char*, std::u16string_view> writtenTexts[] = {
        {read.headerComment, u"final"}, {read.headerProperties[1].value, u"12345.5"},
        {read.history[0].comment, u"recorded by a logger"}, {g.comment, u"group comment, revised"}, {g.sourceName, u"CAN1"},
        {g.sourcePath, u"bus/CAN1"}, {g.sourceChannelNumber, u"3"}, {r.comment, u"after"}, {r.displayName, u"Rich signal"},
        {r.format, u"%.3f"}, {r.unit, u"V"}, {r.properties[0].value, u"ECU"}, {lin->unit, u"km/h"}, {alg->formula, u"X*2+1"},
        {v2t->parameters.valueTexts[1].text, u"on"}, {v2t->defaultText, u"unknown"}, {r2t->parameters.rangeTexts[0].ref.text, u"low"},
        {read.events[0].name, u"marker 2"}, {read.events[0].comment, u"look here"}, {read.events[1].syntax, u"speed > 10"},
        {read.attachments[0].mimeType, u"text/plain"}, {read.attachments[1].fileName, u"sub/ext.bin"}};
    for (const auto& [got, want] : writtenTexts) EXPECT_EQ(textOf(got), want);

    EXPECT_EQ(read.headerProperties[1].type, 5u);
    EXPECT_TRUE(lin->conversionType == 1 && lin->parameters.linear[0] == 2 && lin->parameters.linear[1] == 0.5);
    EXPECT_TRUE(lin->precisionValid && lin->precision == 3);
    EXPECT_EQ(conversionNamed(read, u"rat")->parameters.rational[5], 6.0);
    EXPECT_TRUE(tab->parameters.pairs[1].key == 1 && tab->parameters.pairs[1].value == 20);
    ASSERT_EQ(r2t->parameters.rangeTexts[1].refKind, 1u);
    EXPECT_EQ(read.conversions + r2t->parameters.rangeTexts[1].ref.conversion, lin);
    EXPECT_EQ(read.conversions + r2t->defaultConversion, lin);
    EXPECT_EQ(read.channels[channelNamed(read, u"c_none")].conversion, -1);

    const MF4Channel& fixedMap = read.channels[channelNamed(read, u"map_fixed")];
    ASSERT_TRUE(fixedMap.isLookup && fixedMap.axes[0] && fixedMap.axes[1]);
    ASSERT_EQ(fixedMap.axes[1]->valueCount, 3u);
    EXPECT_EQ(fixedMap.axes[1]->values[2], 3.0);
    EXPECT_EQ(fixedMap.axes[0]->values[1], 20.0);
    const MF4Channel& linkedMap = read.channels[channelNamed(read, u"map_linked")];
    ASSERT_TRUE(linkedMap.axes[0] && linkedMap.axes[1]);
    EXPECT_EQ(linkedMap.axes[0]->axisChannel, static_cast<std::int64_t>(channelNamed(read, u"c_lin")));
    EXPECT_EQ(linkedMap.axes[1]->axisChannel, static_cast<std::int64_t>(channelNamed(read, u"c_rat")));
    EXPECT_EQ(linkedMap.axes[1]->inputChannel, static_cast<std::int64_t>(channelNamed(read, u"c_rat")));
    EXPECT_EQ(read.conversions + linkedMap.axes[1]->axisConversion, lin);
    EXPECT_EQ(read.events[1].postTrigger, 1.5);
    ASSERT_EQ(read.events[1].scopeCount, 1u);
    EXPECT_EQ(read.events[1].scope[0], 0u);
    EXPECT_TRUE(read.events[3].rangeBegin == 2 && read.events[3].syncValue == 4.0);

    EXPECT_TRUE(read.attachments[0].embedded && read.attachments[0].md5Valid);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(read.attachments[0].data), read.attachments[0].size), "embedded bytes");
    EXPECT_FALSE(read.attachments[1].embedded);
    EXPECT_EQ(read.attachments[1].size, 11u) << "the external file was found and read";
}

}  // namespace
}  // namespace tarvik::test
