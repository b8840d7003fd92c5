// ReadData as a host uses it: ranges by index and by time, counters and capacities, every kind
// of data storage, strings of fixed and variable length, arrays and structures.
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/mdf_blocks.h"
#include "support/read_items.h"

namespace {

using namespace tarvik::test;

// The minimal file's master runs 0, 0.01, 0.02, ... and its channel 100, 101, 102, ...
TEST(ReadData, RangesByRecordAndByTimeWithTheirCounters) {
    struct Case {
        const char* name;
        std::uint32_t mode;
        std::uint64_t first = 0, count = 0;
        double start = 0, end = 0;
        std::uint32_t neighbours = 0;
        std::uint64_t capacity = 20;
        std::uint64_t stored, total;
        std::uint16_t firstValue = 0;
    };
    const Case cases[] = {
        {"all records", 0, 0, 0, 0, 0, 0, 20, 20, 20, 100},
        {"a count of 0 from record 5 reads nothing", 0, 5, 0, 0, 0, 0, 20, 0, 0},
        {"no neighbour below record 0", 0, 0, 3, 0, 0, 1, 20, 4, 4, 100},
        {"no neighbour beyond the last record", 0, 18, 2, 0, 0, 1, 20, 3, 3, 117},
        {"a capacity below the range", 0, 0, 0, 0, 0, 0, 10, 10, 20, 100},
        {"capacity 0 asks for the size", 0, 0, 0, 0, 0, 0, 0, 0, 20},
        {"one record between the bounds", 2, 0, 0, 0.015, 0.025, 0, 20, 1, 1, 102},
        {"with a neighbour on each side", 2, 0, 0, 0.015, 0.025, 1, 20, 3, 3, 101},
        {"after the last master value", 2, 0, 0, 5, 6, 0, 20, 0, 0},
        {"a start before the first value", 2, 0, 0, -1, 0.005, 0, 20, 1, 1, 100},
    };
    OpenedFile file(makeMinimalFile({.recordCount = 20}).file.bytes());
    ASSERT_NE(file.content(), nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffer<double> times(20);
        Buffer<std::uint16_t> values(21, 7);
        MF4ReadItem group = times.item(0, c.capacity), channel = values.item(0, c.capacity);
        for (MF4ReadItem* it : {&group, &channel}) {
            it->firstSample = c.first, it->sampleCount = c.count, it->withNeighbours = c.neighbours;
            it->startTime = c.start, it->endTime = c.end;
        }
        EXPECT_EQ(file.read(c.mode, {channel}, {group}), 0u);
        EXPECT_EQ(values.stored, c.stored);
        EXPECT_EQ(values.total, c.total);
        EXPECT_EQ(times.stored, c.stored);
        EXPECT_EQ(values.values[c.stored], 7) << "nothing is written beyond what is stored";
        if (c.stored == 0) continue;
        EXPECT_EQ(values.values[0], c.firstValue);
        EXPECT_EQ(times.values[c.stored - 1], 0.01 * (c.firstValue - 100 + c.stored - 1));
    }

    Buffer<double> times(20);
    Buffer<std::uint16_t> values(20);
    std::uint32_t cancel = 1;
    file.read(0, {values.item(0)}, {times.item(0)}, &cancel);
    EXPECT_EQ(values.total, 77u) << "a cancelled request touches no counter";
    MF4ReadRequest bad{};
    bad.mode = 7;
    EXPECT_EQ(ReadData(file.content(), &bad, nullptr, nullptr), 2u);
}

// Every way records can be stored (one DT, a DL of DT blocks of equal length, an HL over a DL,
// one DZ of either zip type, a DL of DZ blocks of both zip types and uneven sizes that cut
// records): a whole read gives every record, and time ranges before, inside, across and after
// the blocks select the records a plain scan selects, also when asked again on the same tree
// (blocks decoded before). Every other file gives its master the linear conversion 1 + 2 X:
// ranges are then asked in converted time, and the master values still come back as stored.
TEST(ReadData, EveryStorageGivesTheRecordsAndTheirTimeRanges) {
    constexpr std::uint32_t kRecords = 3000;
    std::mt19937 random(99);
    std::vector<double> times(kRecords);
    std::vector<std::uint16_t> values(kRecords);
    std::string records;
    double t = 0;
    for (std::uint32_t i = 0; i < kRecords; ++i) {
        times[i] = t, values[i] = static_cast<std::uint16_t>(i);
        records += minimalRecord(t, values[i]);
        t += (random() % 10 == 0 ? 0.5 : 0.001) * (1 + random() % 7);
    }
    const std::string_view all(records);
    const std::vector<std::pair<const char*, std::function<std::int64_t(MdfBuilder&)>>> variants{
        {"DT", [&](MdfBuilder& f) { return f.addBlock("##DT", {}, all); }},
        {"DL of DT, equal length", [&](MdfBuilder& f) {
             // Every block but the last holds the equal length; the last holds the rest.
             std::vector<std::int64_t> links{0};
             for (std::size_t at = 0; at < all.size(); at += 7001) links.push_back(f.addBlock("##DT", {}, all.substr(at, 7001)));
             return addBlock(f, "##DL", links, dlEqualLengthData(static_cast<std::uint32_t>(links.size() - 1), 7001));
         }},
        {"HL of a DL of DT", [&](MdfBuilder& f) {
             const auto a = f.addBlock("##DT", {}, all.substr(0, 10003)), b = f.addBlock("##DT", {}, all.substr(10003));
             const auto dl = f.addBlock("##DL", {0, a, b}, dlOffsetData({0, 10003}));
             return f.addBlock("##HL", {dl}, u16(1) + u8(0) + std::string(5, '\0'));
         }},
        {"DZ deflate", [&](MdfBuilder& f) { return f.addBlock("##DZ", {}, dzData(all, 0, 10)); }},
        {"DZ transposed", [&](MdfBuilder& f) { return f.addBlock("##DZ", {}, dzData(all, 1, 10)); }},
        {"DL of DZ", [&](MdfBuilder& f) {
             std::vector<std::int64_t> links{0};
             std::vector<std::uint64_t> offsets;
             for (std::size_t at = 0, size = 997; at < all.size(); at += size, size += 1501) {
                 offsets.push_back(at);
                 links.push_back(f.addBlock("##DZ", {}, dzData(all.substr(at, size), offsets.size() % 2, 10)));
             }
             return addBlock(f, "##DL", links, dlOffsetData(offsets));
         }},
    };
    struct Range {
        double start, end;
        std::vector<double> times;
    };
    std::vector<Range> ranges;
    for (int round = 0; round < 60; ++round) {
        const double span = times.back() + 2;
        Range& r = ranges.emplace_back();
        r.start = std::uniform_real_distribution<double>(-1, span)(random);
        r.end = r.start + std::uniform_real_distribution<double>(0, round % 3 == 0 ? span : 2)(random);
        if (round % 5 == 0) r.start = times[random() % kRecords], r.end = times[random() % kRecords] + 0.0001;
        for (double time : times)
            if (r.start <= time && time <= r.end) r.times.push_back(time);
    }
    for (std::size_t v = 0; v < variants.size(); ++v) {
        SCOPED_TRACE(variants[v].first);
        const bool converted = v % 2 == 1;
        MinimalFile m = makeMinimalFile({.recordCount = kRecords});
        setLink(m.file, m.dg, 2, variants[v].second(m.file));
        if (converted) setLink(m.file, m.timeChannel, 4, m.file.addBlock("##CC", {0, 0, 0, 0}, ccData({.type = 1, .values = {1.0, 2.0}})));
        OpenedFile file(m.file.bytes());
        ASSERT_NE(file.content(), nullptr);
        // A whole read walks the chain forward, the next block decoded beside the current one.
        Buffer<double> master(kRecords);
        Buffer<std::uint16_t> channel(kRecords);
        file.read(0, {channel.item(0)}, {master.item(0)});
        EXPECT_EQ(channel.values, values);
        EXPECT_EQ(master.values, times);
        for (const Range& r : ranges) {
            for (int again = 0; again < 2; ++again) {
                Buffer<double> got(kRecords);
                MF4ReadItem item = got.item(0);
                item.startTime = converted ? 1 + 2 * r.start : r.start;
                item.endTime = converted ? 1 + 2 * r.end : r.end;
                file.read(2, {}, {item});
                EXPECT_EQ(got.got(), r.times) << r.start << " to " << r.end;
            }
        }
    }
}

// The forms signal data comes in: an SD block, or stored as records are (other tools compress
// it as they compress their records).
enum class SignalStorage { Sd, Dz, TransposedDz, DlOfSd, DlOfDz, HlOfDz };

// Stores `bytes` in the form `storage` names; lists cut them in two after `split` bytes.
std::int64_t storeSignalData(MdfBuilder& file, const std::string& bytes, SignalStorage storage, std::size_t split) {
    const std::string head = bytes.substr(0, split), tail = bytes.substr(split);
    auto list = [&](std::int64_t a, std::int64_t b) { return file.addBlock("##DL", {0, a, b}, dlOffsetData({0, head.size()})); };
    switch (storage) {
    case SignalStorage::Sd: return file.addBlock("##SD", {}, bytes);
    case SignalStorage::Dz: return file.addBlock("##DZ", {}, dzData(bytes, 0, 0, "SD"));
    case SignalStorage::TransposedDz: return file.addBlock("##DZ", {}, dzData(bytes, 1, 3, "SD"));
    case SignalStorage::DlOfSd: return list(file.addBlock("##SD", {}, head), file.addBlock("##SD", {}, tail));
    case SignalStorage::DlOfDz:
    case SignalStorage::HlOfDz: {
        const auto dl = list(file.addBlock("##DZ", {}, dzData(head, 1, 2, "SD")), file.addBlock("##DZ", {}, dzData(tail, 0, 0, "SD")));
        if (storage == SignalStorage::DlOfDz) return dl;
        return file.addBlock("##HL", {dl}, u16(0) + u8(1) + std::string(5, '\0'));
    }
    }
    return 0;
}

// A group with a time master, a fixed-length UTF-16BE string, a UTF-8 string of variable
// length, a virtual channel and a byte array of variable length; the signal data of both
// variable-length channels stored as `storage` says.
std::string stringFile(SignalStorage storage) {
    MdfBuilder file;
    const auto hd = file.addBlock("##HD", {0, 0, 0, 0, 0, 0}, hdData({}));
    const auto dg = file.addBlock("##DG", {0, 0, 0, 0}, dgData(0));
    const auto cg = file.addBlock("##CG", {0, 0, 0, 0, 0, 0}, cgData({.cycleCount = 3, .dataBytes = 32}));
    std::string signal;
    std::vector<std::uint64_t> offsets;
    for (const char* text : {"a", "bc", "def"}) {
        offsets.push_back(signal.size());
        signal += u32(static_cast<std::uint32_t>(std::strlen(text))) + text;
    }
    const std::int64_t signalData = storeSignalData(file, signal, storage, 5);  // "a" | "bc", "def"
    // Byte arrays of variable length: 1, 0 and 3 bytes.
    const std::string blobBytes = u32(1) + "\x01" + u32(0) + u32(3) + "\x02\x03\x04";
    const auto blobs = storeSignalData(file, blobBytes, storage, 7);
    const std::int64_t chain[] = {
        addChannel(file, "time", {.type = 2, .syncType = 1, .dataType = 4, .bitCount = 64}),
        addChannel(file, "fixed", {.dataType = 9, .byteOffset = 8, .bitCount = 64}),
        addChannel(file, "vlsd", {.type = 1, .dataType = 7, .byteOffset = 16, .bitCount = 64}, 0, 0, 0, signalData),
        addChannel(file, "index", {.type = 6, .dataType = 0, .bitCount = 0}),
        addChannel(file, "blob", {.type = 1, .dataType = 10, .byteOffset = 24, .bitCount = 64}, 0, 0, 0, blobs)};
    const std::uint64_t blobOffsets[3] = {0, 5, 9};
    const std::string fixedTexts[] = {std::string("\0A\0B\0\0\0\0", 8), std::string("\0A\0B\0C\0D", 8),
                                      std::string(8, '\0')};
    std::string records;
    for (int i = 0; i < 3; ++i) records += f64(i) + fixedTexts[i] + u64(offsets[i]) + u64(blobOffsets[i]);
    setLink(file, hd, 0, dg);
    setLink(file, dg, 1, cg);
    setLink(file, dg, 2, file.addBlock("##DT", {}, records));
    setLink(file, cg, 1, chain[0]);
    for (int i = 0; i + 1 < 5; ++i) setLink(file, chain[i], 0, chain[i + 1]);
    return file.bytes();
}

TEST(ReadData, StringsByteArraysAndVirtualChannels) {
    using enum SignalStorage;
    for (SignalStorage storage : {Sd, Dz, TransposedDz, DlOfSd, DlOfDz, HlOfDz}) {
        SCOPED_TRACE("signal data storage " + std::to_string(static_cast<int>(storage)));
        OpenedFile file(stringFile(storage));
        ASSERT_LT(file.result(), 2u) << "no error finding";
        ASSERT_NE(file.content(), nullptr);
        ASSERT_EQ(file.content()->channelCount, 4u);
        Buffer<double> times(3);
        Buffer<void*> fixed(3), variable(3);
        Buffer<std::uint64_t> indices(3);
        MF4ReadItem fixedItem = fixed.item(0), variableItem = variable.item(1);
        fixedItem.valueKind = 31;
        variableItem.valueKind = 30;
        file.read(0, {fixedItem, variableItem, indices.item(2)}, {times.item(0)});
        ASSERT_EQ(fixed.stored, 3u);
        EXPECT_EQ(std::u16string(static_cast<char16_t*>(fixed.values[0])), u"AB") << "big-endian units swapped";
        EXPECT_EQ(std::u16string(static_cast<char16_t*>(fixed.values[1])), u"ABCD") << "a full field is terminated";
        EXPECT_EQ(std::u16string(static_cast<char16_t*>(fixed.values[2])), u"");
        ASSERT_EQ(variable.stored, 3u);
        for (int i = 0; i < 3; ++i) ASSERT_NE(variable.values[i], nullptr) << i;
        EXPECT_STREQ(static_cast<char*>(variable.values[0]), "a");
        EXPECT_STREQ(static_cast<char*>(variable.values[2]), "def");
        EXPECT_EQ(indices.got(), (std::vector<std::uint64_t>{0, 1, 2})) << "a virtual channel gives the record index";
        FreeStrings(fixed.values.data(), fixed.stored, 1);
        FreeStrings(variable.values.data(), variable.stored, 0);
        EXPECT_EQ(variable.values[2], nullptr);

        // Each byte array value goes to byteData as its length (u32) and its bytes; its slot
        // says where. With 15 bytes of byteData (`reserved`) the third entry does not fit.
        const std::uint8_t expected[16] = {1, 0, 0, 0, 1, 0, 0, 0, 0, 3, 0, 0, 0, 2, 3, 4};
        for (std::uint64_t room : {0u, 15u}) {
            Buffer<std::uint64_t> slots(3);
            std::uint8_t bytes[32];
            std::memset(bytes, 0xEE, sizeof bytes);
            MF4ReadItem blob = slots.item(3);
            blob.byteData = bytes;
            blob.reserved = room;
            file.read(0, {blob}, {times.item(0)});
            EXPECT_EQ(slots.total, 3u);
            ASSERT_EQ(slots.stored, room == 0 ? 3u : 2u);
            std::vector<std::uint64_t> where{0, 5, 9};
            where.resize(slots.stored);
            EXPECT_EQ(slots.got(), where);
            EXPECT_EQ(std::memcmp(bytes, expected, room == 0 ? 16 : 9), 0);
            EXPECT_EQ(bytes[room == 0 ? 16 : 9], 0xEE) << "nothing beyond the entries stored";
        }
    }
}

TEST(ReadData, SignalDataInADamagedDzGivesNoStrings) {
    const std::string intact = stringFile(SignalStorage::Dz);
    const std::size_t dz = intact.find("##DZ");
    ASSERT_NE(dz, std::string::npos);
    std::string corrupt = intact, oversized = intact;
    corrupt.replace(dz + 50, 4, "\xFF\xFF\xFF\xFF");
    oversized.replace(dz + 32, 8, u64(1000));  // more bytes than the stream inflates to
    for (const std::string* bytes : {&corrupt, &oversized}) {
        OpenedFile file(*bytes);
        ASSERT_NE(file.content(), nullptr);
        Buffer<double> times(3);
        Buffer<void*> variable(3, nullptr);
        MF4ReadItem item = variable.item(1);
        item.valueKind = 30;
        file.read(0, {item}, {times.item(0)});
        EXPECT_EQ(times.stored, 3u) << "the records themselves read";
        ASSERT_EQ(variable.stored, 3u) << "one value per record, each without text";
        for (std::uint64_t i = 0; i < 3; ++i)
            EXPECT_TRUE(variable.values[i] == nullptr || *static_cast<char*>(variable.values[i]) == 0) << i;
        FreeStrings(variable.values.data(), 3, 0);
    }
}

// A 2 x 3 array of u16 per record, row by row or column by column; optionally a look-up table
// whose comment says it is stored Y before X.
std::string arrayFile(bool columnLayout, bool lookupYX = false) {
    MinimalFile m = makeMinimalFile({.recordCount = 2});
    std::string records;
    for (std::uint16_t r = 0; r < 2; ++r) {
        records += f64(r);
        for (std::uint16_t e = 0; e < 6; ++e) records += u16(static_cast<std::uint16_t>(10 * r + e));
    }
    const auto array = m.file.addBlock("##CA", {0}, caData({.type = std::uint8_t(lookupYX ? 2 : 0),
                                                            .flags = columnLayout ? 0x40u : 0u,
                                                            .byteOffsetBase = 2, .dimSizes = {2, 3}}));
    const auto order = lookupYX ? m.file.addText("##MD", "<CNcomment xmlns=\"http://www.asam.net/mdf/v4\"><TX/>"
                                                         "<common_properties><e name=\"ASAM.DimensionOrder\">YX</e>"
                                                         "</common_properties></CNcomment>")
                                : 0;
    const auto matrix = m.file.addBlock("##CN", {0, array, m.file.addText("##TX", "matrix"), 0, 0, 0, 0, order},
                                        cnData({.dataType = 0, .byteOffset = 8, .bitCount = 16}));
    setLink(m.file, m.timeChannel, 0, matrix);
    setRecordBytes(m.file, m.cg, 20);
    setLink(m.file, m.dg, 2, m.file.addBlock("##DT", {}, records));
    return m.file.bytes();
}

TEST(ReadData, ArrayElementsAllOneOrAsManyAsFit) {
    using Values = std::vector<std::uint16_t>;
    for (bool column : {false, true}) {
        SCOPED_TRACE(column ? "column layout" : "row layout");
        OpenedFile file(arrayFile(column));
        ASSERT_NE(file.content(), nullptr);
        Buffer<double> times(2);
        Buffer<std::uint16_t> all(13, 77);
        file.read(0, {all.item(0, 12)}, {times.item(0)});
        EXPECT_EQ(all.stored, 2u) << "two records of six elements";
        EXPECT_EQ(all.values, (Values{0, 1, 2, 3, 4, 5, 10, 11, 12, 13, 14, 15, 77})) << "storage order";
        // Room for eight values: the first record whole, two elements of the second.
        file.read(0, {all.item(0, 8)}, {times.item(0)});
        EXPECT_EQ(all.stored, 1u);
        EXPECT_EQ(all.total, 2u);

        // Element (1, 0): row layout at 1 * 3 + 0, column layout at 0 * 2 + 1 elements.
        std::uint64_t selection[2] = {1, 0};
        Buffer<std::uint16_t> one(2, 77);
        MF4ReadItem selected = one.item(0);
        selected.elementIndices = selection;
        file.read(0, {selected}, {times.item(0)});
        EXPECT_EQ(one.values, (column ? Values{1, 11} : Values{3, 13}));
        selection[1] = 3;  // outside the dimension: nothing is stored
        Buffer<std::uint16_t> none(2, 77);
        selected = none.item(0);
        selected.elementIndices = selection;
        file.read(0, {selected}, {times.item(0)});
        EXPECT_EQ(none.values, (Values{77, 77}));
        EXPECT_EQ(none.total, 2u);
    }
    // A look-up table stored Y before X comes back transposed: stored (i, j) at i * 3 + j goes
    // to i + j * 2, and the tree lists the dimensions the other way round.
    OpenedFile table(arrayFile(false, true));
    ASSERT_NE(table.content(), nullptr);
    EXPECT_EQ(table.content()->channels[0].dimensionSizes[0], 3u);
    Buffer<double> times(2);
    Buffer<std::uint16_t> values(6);
    table.read(0, {values.item(0, 6)}, {times.item(0)});
    EXPECT_EQ(values.values, (Values{0, 3, 1, 4, 2, 5}));
}

TEST(ReadData, StructureMembersByTheirPath) {
    MinimalFile m = makeMinimalFile({.recordCount = 2});
    const auto high = addChannel(m.file, "high", {.dataType = 0, .byteOffset = 9, .bitCount = 8});
    const auto low = addChannel(m.file, "low", {.dataType = 0, .byteOffset = 8, .bitCount = 8}, high);
    setLink(m.file, m.timeChannel, 0, addChannel(m.file, "pair", {.dataType = 10, .byteOffset = 8, .bitCount = 16}, 0, low));
    setLink(m.file, m.dg, 2, m.file.addBlock("##DT", {}, f64(0) + u8(1) + u8(2) + f64(1) + u8(3) + u8(4)));
    OpenedFile file(m.file.bytes());
    ASSERT_NE(file.content(), nullptr);
    ASSERT_EQ(file.content()->channels[0].childCount, 2u);
    Buffer<double> times(2);
    Buffer<std::uint8_t> highs(2), raw(4);
    std::uint64_t path[1] = {1};
    MF4ReadItem member = highs.item(0);
    member.memberCount = 1;
    member.memberPath = path;
    file.read(0, {member, raw.item(0, 2)}, {times.item(0)});
    EXPECT_EQ(highs.values, (std::vector<std::uint8_t>{2, 4}));
    EXPECT_EQ(raw.values, (std::vector<std::uint8_t>{1, 2, 3, 4})) << "the structure itself comes as its bytes";
}

TEST(ReadData, AcquisitionInterruptionsMarkTheSamplesAfterThem) {
    MinimalFile m = makeMinimalFile({.recordCount = 10});
    const auto end = m.file.addBlock("##EV", {0, 0, 0, 0, 0}, evData({.type = 2, .rangeType = 2, .syncBaseValue = 1, .syncFactor = 0.045}));
    const auto begin = m.file.addBlock("##EV", {end, 0, 0, 0, 0, m.cg}, evData({.type = 2, .rangeType = 1, .scopeCount = 1, .syncBaseValue = 1, .syncFactor = 0.035}));
    setLink(m.file, end, 2, begin);
    setLink(m.file, m.hd, 4, begin);
    OpenedFile file(m.file.bytes());
    ASSERT_NE(file.content(), nullptr);
    EXPECT_EQ(file.content()->groups[0].segmentCount, 2u);
    Buffer<double> times(10);
    Buffer<std::uint16_t> values(10);
    file.read(0, {values.item(0)}, {times.item(0)});
    // The first sample, and the first after the interruption at 0.04.
    ASSERT_EQ(values.eventsTotal, 2u);
    ASSERT_EQ(values.eventsStored, 2u);
    EXPECT_EQ(values.events[0], 0u);
    EXPECT_EQ(values.events[1], 5u);
}

}  // namespace
