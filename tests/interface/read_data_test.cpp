// ReadData as a host uses it: ranges by index and by time, counters and capacities, every kind
// of data storage, strings of fixed and variable length.
#include <zlib.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/mdf_blocks.h"
#include "support/temp_dir.h"

namespace {

using namespace tarvik::test;

// The caller's side of one item: counters and a value buffer.
struct Output {
    std::uint64_t stored = 99, total = 99, eventsStored = 99, eventsTotal = 99;
    std::vector<std::uint64_t> events = std::vector<std::uint64_t>(4);
};

MF4ReadItem item(std::uint64_t index, Output& out, void* values, std::uint64_t capacity) {
    MF4ReadItem it{};
    it.structSize = sizeof(MF4ReadItem);
    it.index = index;
    it.values = values;
    it.capacity = capacity;
    it.valuesStored = &out.stored;
    it.valuesTotal = &out.total;
    it.eventsStored = &out.eventsStored;
    it.eventsTotal = &out.eventsTotal;
    return it;
}

class OpenFile {
public:
    explicit OpenFile(const std::string& bytes) {
        const std::u16string path = widePath(dir_.write("data.mf4", bytes));
        MF4Error* errors = nullptr;
        std::uint64_t count = 0;
        ReadContent(path.c_str(), &content_, &errors, &count);
        FreeErrors(errors, count);
    }
    ~OpenFile() { FreeContent(content_); }
    MF4Content* content() const { return content_; }

    // Reads the master values (group item) and `channel` (channel item 0) in one call.
    std::uint32_t read(std::uint32_t mode, MF4ReadItem groupItem, std::vector<MF4ReadItem> channels,
                       std::uint32_t* cancel = nullptr) {
        MF4ReadRequest request{};
        request.structSize = sizeof request;
        request.mode = mode;
        request.groupItems = &groupItem;
        request.groupItemCount = 1;
        request.channelItems = channels.data();
        request.channelItemCount = channels.size();
        request.cancelFlag = cancel;
        MF4Error* errors = nullptr;
        std::uint64_t count = 0;
        const std::uint32_t result = ReadData(content_, &request, &errors, &count);
        FreeErrors(errors, count);
        return result;
    }

private:
    TempDir dir_;
    MF4Content* content_ = nullptr;
};

// The minimal file's master runs 0, 0.01, 0.02, ... and its channel 100, 101, 102, ...
TEST(ReadData, RecordRangesAndCounters) {
    OpenFile file(makeMinimalFile({.recordCount = 20}).file.bytes());
    ASSERT_NE(file.content(), nullptr);
    std::vector<double> times(20);
    std::vector<std::uint16_t> values(20);
    Output t, v;

    auto group = item(0, t, times.data(), times.size());
    auto channel = item(0, v, values.data(), values.size());
    EXPECT_EQ(file.read(0, group, {channel}), 0u);
    EXPECT_EQ(v.stored, 20u);
    EXPECT_EQ(v.total, 20u);
    EXPECT_EQ(t.stored, 20u);
    EXPECT_EQ(values[0], 100);
    EXPECT_EQ(values[19], 119);
    EXPECT_EQ(times[19], 0.19);

    channel.firstSample = 5;  // sampleCount 0 from 5: nothing
    group.firstSample = 5;
    file.read(0, group, {channel});
    EXPECT_EQ(v.total, 0u);

    channel.firstSample = group.firstSample = 0;
    channel.sampleCount = group.sampleCount = 3;
    channel.withNeighbours = 1;  // cannot widen below record 0
    file.read(0, group, {channel});
    EXPECT_EQ(v.total, 4u);
    EXPECT_EQ(values[3], 103);

    channel.firstSample = 18;
    channel.sampleCount = 2;  // cannot widen beyond the last record
    file.read(0, group, {channel});
    EXPECT_EQ(v.total, 3u);
    EXPECT_EQ(values[0], 117);

    channel.firstSample = 0;
    channel.sampleCount = 0;
    channel.withNeighbours = 0;
    channel.capacity = 10;
    std::fill(values.begin(), values.end(), 0);
    file.read(0, group, {channel});
    EXPECT_EQ(v.stored, 10u);
    EXPECT_EQ(v.total, 20u);
    EXPECT_EQ(values[10], 0) << "nothing is written beyond the capacity";

    channel.capacity = 0;
    file.read(0, group, {channel});
    EXPECT_EQ(v.stored, 0u);
    EXPECT_EQ(v.total, 20u);

    std::uint32_t cancel = 1;
    v.total = 77;
    file.read(0, group, {channel}, &cancel);
    EXPECT_EQ(v.total, 77u) << "a cancelled request touches no counter";

    MF4ReadRequest bad{};
    bad.mode = 7;
    EXPECT_EQ(ReadData(file.content(), &bad, nullptr, nullptr), 2u);
}

TEST(ReadData, TimeRanges) {
    OpenFile file(makeMinimalFile({.recordCount = 10}).file.bytes());
    ASSERT_NE(file.content(), nullptr);
    std::vector<double> times(10);
    std::vector<std::uint16_t> values(10);
    Output t, v;
    auto group = item(0, t, times.data(), times.size());
    auto channel = item(0, v, values.data(), values.size());
    for (MF4ReadItem* it : {&group, &channel}) {
        it->startTime = 0.015;
        it->endTime = 0.025;
    }
    file.read(2, group, {channel});
    ASSERT_EQ(v.stored, 1u);
    EXPECT_EQ(values[0], 102);
    EXPECT_EQ(times[0], 0.02);

    channel.withNeighbours = group.withNeighbours = 1;
    file.read(2, group, {channel});
    ASSERT_EQ(v.stored, 3u);
    EXPECT_EQ(values[0], 101);
    EXPECT_EQ(values[2], 103);

    channel.withNeighbours = group.withNeighbours = 0;
    channel.startTime = group.startTime = 5.0;
    channel.endTime = group.endTime = 6.0;
    file.read(2, group, {channel});
    EXPECT_EQ(v.total, 0u) << "a range after the last master value";

    channel.startTime = group.startTime = -1.0;
    channel.endTime = group.endTime = 0.005;
    file.read(2, group, {channel});
    ASSERT_EQ(v.stored, 1u) << "a start before the first value starts at record 0";
    EXPECT_EQ(values[0], 100);
}

TEST(ReadData, TimeRangesUseTheMastersLinearConversion) {
    MinimalFile m = makeMinimalFile({.recordCount = 10});
    // Stored master values 0, 0.01, ... mean the times 1, 1.02, 1.04, ...
    setLink(m.file, m.timeChannel, 4, m.file.addBlock("##CC", {0, 0, 0, 0}, ccData({.type = 1, .values = {1.0, 2.0}})));
    OpenFile file(m.file.bytes());
    ASSERT_NE(file.content(), nullptr);
    std::vector<double> times(10);
    std::vector<std::uint16_t> values(10);
    Output t, v;
    auto group = item(0, t, times.data(), 10);
    auto channel = item(0, v, values.data(), 10);
    for (MF4ReadItem* it : {&group, &channel}) {
        it->startTime = 1.035;
        it->endTime = 1.045;
    }
    file.read(2, group, {channel});
    ASSERT_EQ(v.stored, 1u);
    EXPECT_EQ(values[0], 102);
    EXPECT_EQ(times[0], 0.02) << "master values come back as stored";
}

// The records of the minimal file stored in every way a data group's data can be.
std::string recordsOf(std::uint32_t count) {
    std::string records;
    for (std::uint32_t i = 0; i < count; ++i) records += minimalRecord(0.01 * i, static_cast<std::uint16_t>(100 + i));
    return records;
}

std::string deflate(const std::string& bytes) {
    uLongf size = compressBound(bytes.size());
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size(), 6);
    out.resize(size);
    return out;
}

std::string transpose(const std::string& bytes, std::size_t columns) {
    const std::size_t rows = bytes.size() / columns;
    std::string out = bytes;
    for (std::size_t r = 0; r < rows; ++r)
        for (std::size_t c = 0; c < columns; ++c) out[c * rows + r] = bytes[r * columns + c];
    return out;
}

std::int64_t dzBlock(MdfBuilder& file, const std::string& original, std::uint8_t zipType, std::uint32_t columns) {
    const std::string packed = deflate(zipType == 1 ? transpose(original, columns) : original);
    return file.addBlock("##DZ", {}, std::string("DT") + u8(zipType) + u8(0) + u32(columns) + u64(original.size()) +
                                         u64(packed.size()) + packed);
}

TEST(ReadData, EveryKindOfDataStorageGivesTheSameValues) {
    constexpr std::uint32_t kRecords = 25;
    const std::string records = recordsOf(kRecords);
    const std::string first = records.substr(0, 10 * 10), rest = records.substr(10 * 10);
    auto variants = std::vector<std::pair<const char*, std::function<std::int64_t(MdfBuilder&)>>>{
        {"DL of DT, offsets", [&](MdfBuilder& f) {
             const auto a = f.addBlock("##DT", {}, first), b = f.addBlock("##DT", {}, rest);
             return f.addBlock("##DL", {0, a, b}, dlOffsetData({0, first.size()}));
         }},
        {"DL of DT, equal length", [&](MdfBuilder& f) {
             // Every block but the last holds the equal length; the last holds the rest.
             const auto a = f.addBlock("##DT", {}, first), b = f.addBlock("##DT", {}, rest.substr(0, first.size())),
                        c = f.addBlock("##DT", {}, rest.substr(first.size()));
             return f.addBlock("##DL", {0, a, b, c}, dlEqualLengthData(3, first.size()));
         }},
        {"HL", [&](MdfBuilder& f) {
             const auto a = f.addBlock("##DT", {}, first), b = f.addBlock("##DT", {}, rest);
             const auto dl = f.addBlock("##DL", {0, a, b}, dlOffsetData({0, first.size()}));
             return f.addBlock("##HL", {dl}, u16(1) + u8(0) + std::string(5, '\0'));
         }},
        {"DZ deflate", [&](MdfBuilder& f) { return dzBlock(f, records, 0, 0); }},
        {"DZ transposed", [&](MdfBuilder& f) { return dzBlock(f, records, 1, 10); }},
        {"DL of DZ", [&](MdfBuilder& f) {
             const auto a = dzBlock(f, first, 1, 10), b = dzBlock(f, rest, 0, 0);
             return f.addBlock("##DL", {0, a, b}, dlOffsetData({0, first.size()}));
         }},
    };
    for (auto& [name, store] : variants) {
        MinimalFile m = makeMinimalFile({.recordCount = kRecords});
        setLink(m.file, m.dg, 2, store(m.file));
        OpenFile file(m.file.bytes());
        ASSERT_NE(file.content(), nullptr) << name;
        std::vector<double> times(kRecords);
        std::vector<std::uint16_t> values(kRecords);
        Output t, v;
        file.read(0, item(0, t, times.data(), kRecords), {item(0, v, values.data(), kRecords)});
        ASSERT_EQ(v.stored, kRecords) << name;
        for (std::uint32_t i = 0; i < kRecords; ++i) {
            EXPECT_EQ(values[i], 100 + i) << name << " record " << i;
            EXPECT_EQ(times[i], 0.01 * i) << name << " record " << i;
        }
    }
}

// A group with a time master, a fixed-length UTF-16BE string, a UTF-8 string of variable
// length and a virtual channel; the signal data in one SD block or in a DL of two.
std::string stringFile(bool signalDataInList) {
    MdfBuilder file;
    const auto hd = file.addBlock("##HD", {0, 0, 0, 0, 0, 0}, hdData({}));
    const auto dg = file.addBlock("##DG", {0, 0, 0, 0}, dgData(0));
    const auto cg = file.addBlock("##CG", {0, 0, 0, 0, 0, 0}, cgData({.cycleCount = 3, .dataBytes = 32}));
    const auto time = file.addBlock("##CN", {0, 0, file.addText("##TX", "time"), 0, 0, 0, 0, 0},
                                    cnData({.type = 2, .syncType = 1, .dataType = 4, .bitCount = 64}));
    const auto fixed = file.addBlock("##CN", {0, 0, file.addText("##TX", "fixed"), 0, 0, 0, 0, 0},
                                     cnData({.dataType = 9, .byteOffset = 8, .bitCount = 64}));
    std::string signal;
    std::vector<std::uint64_t> offsets;
    for (const char* text : {"a", "bc", "def"}) {
        offsets.push_back(signal.size());
        signal += u32(static_cast<std::uint32_t>(std::strlen(text))) + text;
    }
    std::int64_t signalData;
    if (signalDataInList) {
        const std::string head = signal.substr(0, 5), tail = signal.substr(5);  // "a" | "bc", "def"
        const auto a = file.addBlock("##SD", {}, head), b = file.addBlock("##SD", {}, tail);
        signalData = file.addBlock("##DL", {0, a, b}, dlOffsetData({0, head.size()}));
    } else {
        signalData = file.addBlock("##SD", {}, signal);
    }
    const auto vlsd = file.addBlock("##CN", {0, 0, file.addText("##TX", "vlsd"), 0, 0, signalData, 0, 0},
                                    cnData({.type = 1, .dataType = 7, .byteOffset = 16, .bitCount = 64}));
    const auto index = file.addBlock("##CN", {0, 0, file.addText("##TX", "index"), 0, 0, 0, 0, 0},
                                     cnData({.type = 6, .syncType = 0, .dataType = 0, .bitCount = 0}));
    // Byte arrays of variable length: 1, 0 and 3 bytes.
    const std::string blobs = u32(1) + "\x01" + u32(0) + u32(3) + "\x02\x03\x04";
    const std::uint64_t blobOffsets[3] = {0, 5, 9};
    const auto blob = file.addBlock("##CN", {0, 0, file.addText("##TX", "blob"), 0, 0, file.addBlock("##SD", {}, blobs), 0, 0},
                                    cnData({.type = 1, .dataType = 10, .byteOffset = 24, .bitCount = 64}));
    const std::string fixedTexts[] = {std::string("\0A\0B\0\0\0\0", 8), std::string("\0A\0B\0C\0D", 8),
                                      std::string(8, '\0')};
    std::string records;
    for (int i = 0; i < 3; ++i) records += f64(i) + fixedTexts[i] + u64(offsets[i]) + u64(blobOffsets[i]);
    const auto dt = file.addBlock("##DT", {}, records);
    setLink(file, hd, 0, dg);
    setLink(file, dg, 1, cg);
    setLink(file, dg, 2, dt);
    setLink(file, cg, 1, time);
    setLink(file, time, 0, fixed);
    setLink(file, fixed, 0, vlsd);
    setLink(file, vlsd, 0, index);
    setLink(file, index, 0, blob);
    return file.bytes();
}

TEST(ReadData, StringsOfFixedAndVariableLengthAndVirtualChannels) {
    for (bool inList : {false, true}) {
        OpenFile file(stringFile(inList));
        ASSERT_NE(file.content(), nullptr);
        ASSERT_EQ(file.content()->channelCount, 4u);
        EXPECT_EQ(file.content()->channels[0].valueType, 31u);
        EXPECT_EQ(file.content()->channels[1].valueType, 30u);
        EXPECT_EQ(file.content()->channels[2].valueType, 21u);
        std::vector<double> times(3);
        void* fixed[3] = {};
        void* variable[3] = {};
        std::uint64_t indices[3] = {};
        Output t, f, v, x;
        auto fixedItem = item(0, f, fixed, 3);
        fixedItem.valueKind = 31;
        auto variableItem = item(1, v, variable, 3);
        variableItem.valueKind = 30;
        file.read(0, item(0, t, times.data(), 3), {fixedItem, variableItem, item(2, x, indices, 3)});
        ASSERT_EQ(f.stored, 3u);
        EXPECT_EQ(std::u16string(static_cast<char16_t*>(fixed[0])), u"AB") << "big-endian units swapped";
        EXPECT_EQ(std::u16string(static_cast<char16_t*>(fixed[1])), u"ABCD") << "a full field is terminated";
        EXPECT_EQ(std::u16string(static_cast<char16_t*>(fixed[2])), u"");
        ASSERT_EQ(v.stored, 3u);
        for (int i = 0; i < 3; ++i) ASSERT_NE(variable[i], nullptr) << i << (inList ? " from a DL" : " from an SD");
        EXPECT_STREQ(static_cast<char*>(variable[0]), "a");
        EXPECT_STREQ(static_cast<char*>(variable[1]), "bc");
        EXPECT_STREQ(static_cast<char*>(variable[2]), "def");
        EXPECT_EQ(indices[0], 0u);
        EXPECT_EQ(indices[2], 2u) << "a virtual channel gives the record index";

        std::uint64_t slots[3] = {};
        std::uint8_t bytes[32] = {};
        Output b;
        auto blobItem = item(3, b, slots, 3);
        blobItem.byteData = bytes;
        file.read(0, item(0, t, times.data(), 3), {blobItem});
        ASSERT_EQ(b.stored, 3u);
        // Each value: its length (u32) and its bytes, one after the other; the slot says where.
        EXPECT_EQ(slots[0], 0u);
        EXPECT_EQ(slots[1], 5u);
        EXPECT_EQ(slots[2], 9u);
        const std::uint8_t expected[16] = {1, 0, 0, 0, 1, 0, 0, 0, 0, 3, 0, 0, 0, 2, 3, 4};
        EXPECT_EQ(std::memcmp(bytes, expected, sizeof expected), 0);
        // byteData of 15 bytes (`reserved`) takes the first two entries, not the third.
        std::memset(bytes, 0xEE, sizeof bytes);
        blobItem.reserved = 15;
        file.read(0, item(0, t, times.data(), 3), {blobItem});
        EXPECT_EQ(b.stored, 2u);
        EXPECT_EQ(b.total, 3u);
        EXPECT_EQ(std::memcmp(bytes, expected, 9), 0);
        EXPECT_EQ(bytes[9], 0xEE) << "nothing beyond the entries that fit";
        FreeStrings(fixed, 3, 1);
        FreeStrings(variable, 3, 0);
        EXPECT_EQ(fixed[0], nullptr);
        EXPECT_EQ(variable[2], nullptr);
    }
}

// A 2 x 3 array of u16 per record, stored row by row or column by column.
std::string arrayFile(bool columnLayout) {
    MinimalFile m = makeMinimalFile({.recordCount = 2});
    std::string records;
    for (std::uint16_t r = 0; r < 2; ++r) {
        records += f64(r);
        for (std::uint16_t e = 0; e < 6; ++e) records += u16(static_cast<std::uint16_t>(10 * r + e));
    }
    const auto array = m.file.addBlock("##CA", {0}, caData({.flags = columnLayout ? 0x40u : 0u, .byteOffsetBase = 2,
                                                            .dimSizes = {2, 3}}));
    const auto matrix = m.file.addBlock("##CN", {0, array, m.file.addText("##TX", "matrix"), 0, 0, 0, 0, 0},
                                        cnData({.dataType = 0, .byteOffset = 8, .bitCount = 16}));
    setLink(m.file, m.timeChannel, 0, matrix);
    patchBytes(m.file, static_cast<std::uint64_t>(m.cg) + 24 + 48 + 24, u32(20));  // cg_data_bytes
    setLink(m.file, m.dg, 2, m.file.addBlock("##DT", {}, records));
    return m.file.bytes();
}

TEST(ReadData, ArrayElementsAllOrOne) {
    for (bool column : {false, true}) {
        OpenFile file(arrayFile(column));
        ASSERT_NE(file.content(), nullptr);
        ASSERT_EQ(file.content()->channels[0].dimensionCount, 2u);
        std::vector<double> times(2);
        std::vector<std::uint16_t> all(12);
        Output t, a, o;
        file.read(0, item(0, t, times.data(), 2), {item(0, a, all.data(), all.size())});
        EXPECT_EQ(a.stored, 2u) << "two records of six elements";
        for (std::uint16_t i = 0; i < 12; ++i) EXPECT_EQ(all[i], i < 6 ? i : 10 + i - 6) << "storage order";

        // Element (1, 0): row layout at 1 * 3 + 0, column layout at 0 * 2 + 1 elements.
        std::uint64_t selection[2] = {1, 0};
        std::uint16_t one[2] = {};
        auto selected = item(0, o, one, 2);
        selected.elementIndices = selection;
        file.read(0, item(0, t, times.data(), 2), {selected});
        EXPECT_EQ(one[0], column ? 1 : 3) << "record 0";
        EXPECT_EQ(one[1], column ? 11 : 13) << "record 1";
        selection[1] = 3;  // outside the dimension: nothing is stored
        one[0] = one[1] = 77;
        file.read(0, item(0, t, times.data(), 2), {selected});
        EXPECT_EQ(one[0], 77);
        EXPECT_EQ(o.total, 2u);
    }
}

TEST(ReadData, LookUpTablesStoredYXComeBackTransposed) {
    MinimalFile m = makeMinimalFile({.recordCount = 1});
    std::string record = f64(0);
    for (std::uint16_t e = 0; e < 6; ++e) record += u16(e);
    const auto array = m.file.addBlock("##CA", {0}, caData({.type = 2, .byteOffsetBase = 2, .dimSizes = {2, 3}}));
    const auto order = m.file.addText("##MD", "<CNcomment xmlns=\"http://www.asam.net/mdf/v4\"><TX/><common_properties>"
                                              "<e name=\"ASAM.DimensionOrder\">YX</e></common_properties></CNcomment>");
    const auto table = m.file.addBlock("##CN", {0, array, m.file.addText("##TX", "table"), 0, 0, 0, 0, order},
                                       cnData({.dataType = 0, .byteOffset = 8, .bitCount = 16}));
    setLink(m.file, m.timeChannel, 0, table);
    patchBytes(m.file, static_cast<std::uint64_t>(m.cg) + 24 + 48 + 24, u32(20));
    setLink(m.file, m.dg, 2, m.file.addBlock("##DT", {}, record));
    OpenFile file(m.file.bytes());
    ASSERT_NE(file.content(), nullptr);
    EXPECT_EQ(file.content()->channels[0].dimensionSizes[0], 3u);
    double time = 0;
    std::uint16_t values[6] = {};
    Output t, v;
    file.read(0, item(0, t, &time, 1), {item(0, v, values, 6)});
    // Stored (i, j) at i * 3 + j; delivered at i + j * 2.
    const std::uint16_t expected[6] = {0, 3, 1, 4, 2, 5};
    for (int e = 0; e < 6; ++e) EXPECT_EQ(values[e], expected[e]) << e;
}

TEST(ReadData, StructureMembersByTheirPath) {
    MinimalFile m = makeMinimalFile({.recordCount = 2});
    const auto low = m.file.addBlock("##CN", {0, 0, m.file.addText("##TX", "low"), 0, 0, 0, 0, 0},
                                     cnData({.dataType = 0, .byteOffset = 8, .bitCount = 8}));
    const auto high = m.file.addBlock("##CN", {0, 0, m.file.addText("##TX", "high"), 0, 0, 0, 0, 0},
                                      cnData({.dataType = 0, .byteOffset = 9, .bitCount = 8}));
    setLink(m.file, low, 0, high);
    const auto structure = m.file.addBlock("##CN", {0, low, m.file.addText("##TX", "pair"), 0, 0, 0, 0, 0},
                                           cnData({.dataType = 10, .byteOffset = 8, .bitCount = 16}));
    setLink(m.file, m.timeChannel, 0, structure);
    setLink(m.file, m.dg, 2, m.file.addBlock("##DT", {}, f64(0) + u8(1) + u8(2) + f64(1) + u8(3) + u8(4)));
    OpenFile file(m.file.bytes());
    ASSERT_NE(file.content(), nullptr);
    ASSERT_EQ(file.content()->channels[0].childCount, 2u);
    double times[2] = {};
    std::uint8_t highs[2] = {}, raw[4] = {};
    Output t, h, r;
    std::uint64_t path[1] = {1};
    auto member = item(0, h, highs, 2);
    member.memberCount = 1;
    member.memberPath = path;
    file.read(0, item(0, t, times, 2), {member, item(0, r, raw, 2)});
    EXPECT_EQ(highs[0], 2);
    EXPECT_EQ(highs[1], 4);
    const std::uint8_t whole[4] = {1, 2, 3, 4};
    EXPECT_EQ(std::memcmp(raw, whole, 4), 0) << "the structure itself comes as its bytes";
}

TEST(ReadData, AcquisitionInterruptionsMarkTheSamplesAfterThem) {
    MinimalFile m = makeMinimalFile({.recordCount = 10});
    const auto end = m.file.addBlock("##EV", {0, 0, 0, 0, 0}, evData({.type = 2, .rangeType = 2, .syncBaseValue = 1, .syncFactor = 0.045}));
    const auto begin = m.file.addBlock("##EV", {end, 0, 0, 0, 0, m.cg}, evData({.type = 2, .rangeType = 1, .scopeCount = 1, .syncBaseValue = 1, .syncFactor = 0.035}));
    setLink(m.file, end, 2, begin);
    setLink(m.file, m.hd, 4, begin);
    OpenFile file(m.file.bytes());
    ASSERT_NE(file.content(), nullptr);
    EXPECT_EQ(file.content()->groups[0].segmentCount, 2u);
    std::vector<double> times(10);
    std::vector<std::uint16_t> values(10);
    Output t, v;
    auto channel = item(0, v, values.data(), 10);
    channel.eventCapacity = v.events.size();
    channel.eventSamples = v.events.data();
    file.read(0, item(0, t, times.data(), 10), {channel});
    // The first sample, and the first after the interruption at 0.04.
    ASSERT_EQ(v.eventsTotal, 2u);
    ASSERT_EQ(v.eventsStored, 2u);
    EXPECT_EQ(v.events[0], 0u);
    EXPECT_EQ(v.events[1], 5u);
}

}  // namespace
