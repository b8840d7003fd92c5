// The structure read on small files built byte by byte: the header checks, the rules that keep
// only sorted data groups with a master channel, the conversion table, chains that lead back
// into themselves, the event chain (plain events, acquisition intervals paired from their range
// events, the option that skips events), and impossible links and lengths. (Damaged corpus files
// are read through the whole interface in tests/interface/read_data_damage_test.)
#include "blocks/structure_read.h"

#include "blocks/hd_block.h"
#include "structure_walk.h"

namespace tarvik::test {
namespace {

using platform::kFailed;
using platform::kOk;

// The minimal file made from `fields`, then changed by `change`.
MdfBuilder variant(const MinimalFileFields& fields, void (*change)(MinimalFile&) = nullptr) {
    MinimalFile m = makeMinimalFile(fields);
    if (change != nullptr) change(m);
    return m.file;
}
MdfBuilder variant(void (*change)(MinimalFile&)) { return variant({}, change); }

// Where the first block appended to the minimal file lands.
std::int64_t appendedAt(const MinimalFile& m) {
    return static_cast<std::int64_t>((m.file.bytes().size() + 7) / 8 * 8);
}

TEST_F(StructureWalk, MinimalFileReadsWithoutFindings) {
    ASSERT_EQ(read(makeMinimalFile().file), kOk);
    EXPECT_TRUE(findings_.empty()) << ::testing::PrintToString(warnings());
    EXPECT_EQ(hd().hd_start_time_ns, 1'600'000'000'000'000'000u);
    EXPECT_EQ(hd().hd_tz_offset_min, 60);
    ASSERT_EQ(hd().history.size(), 1u);
    EXPECT_EQ(hd().history[0].comment.kind, BlockKind::MD);
    ASSERT_EQ(hd().dataGroups.size(), 1u);
    ASSERT_TRUE(hd().dataGroups[0].data.block.has_value());
    EXPECT_EQ(hd().dataGroups[0].data.block->dataLength(), 30u);
    EXPECT_EQ(group().acquisitionName, u"Acq");
    EXPECT_EQ(group().cg_cycle_count, 3u);
    ASSERT_EQ(group().channels.size(), 2u);
    EXPECT_EQ(group().masterChannel(), &group().channels[0]);
    EXPECT_EQ(group().channels[0].name, u"time");
    const CnRecord& value = group().channels[1];
    EXPECT_EQ(value.name, u"value");
    EXPECT_EQ(value.cn_byte_offset, 8u);
    EXPECT_EQ(value.cn_bit_count, 16u);
    EXPECT_EQ(value.channelIndex, 1);
    EXPECT_EQ(value.conversionIndex, -1);
    EXPECT_TRUE(hd().events.chainOrder.empty()) << "no events";
}

TEST_F(StructureWalk, VersionChoosesTheGroupAndChannelLayouts) {
    // The bytes where 4.10 keeps the path separator and the attachment count are reserved in
    // 4.00, and 4.11 is read as 4.00: there they must not be taken for those fields.
    for (std::uint16_t version : {400, 410, 411}) {
        MinimalFile m = makeMinimalFile({.version = version == 400 ? version : std::uint16_t{410}});
        if (version == 411) patchBytes(m.file, 8, "4.11    ");
        patchBytes(m.file, linkAt(m.cg, 6) + 18, u16('/'));
        patchBytes(m.file, linkAt(m.valueChannel, 8) + 22, u16(2));
        ASSERT_EQ(read(m.file), kOk) << version;
        EXPECT_TRUE(findings_.empty()) << ::testing::PrintToString(errors());
        EXPECT_EQ(group().version, version);
        EXPECT_EQ(group().cg_path_separator, version == 410 ? '/' : 0) << version;
        EXPECT_EQ(group().cg_data_bytes, 10u);
        EXPECT_EQ(group().channels.at(1).cn_attachment_count, version == 410 ? 2 : 0) << version;
        EXPECT_EQ(group().channels.at(1).cn_val_range_min, 0.0);
    }
}

TEST_F(StructureWalk, FindingsThatDoNotStopTheRead) {
    const MinimalFile base = makeMinimalFile();
    const CnFields angleMaster{.type = 2, .syncType = 2, .dataType = 4, .bitCount = 64};
    expectReads({
        {"longer HD", variant({.hdExtraBytes = 8}), kOk, {},
         {"107 410. HD Block at 0x40, Expected Size: 104, Actual Size: 112"}},
        // The header says 5 links while the block holds the usual six: the sixth is read.
        {"HD with 5 links", variant([](MinimalFile& m) { m.file.patchU64(m.hd + 16, 5); }), kOk,
         {"104 410. HD Block at 0x40, Expected Link Count: 6, Actual Link Count: 5"}},
        {"CN with 7 links", variant([](MinimalFile& m) { m.file.patchU64(m.valueChannel + 16, 7); }),
         kOk, {"104 410. CN Block at 0x" + hex(base.valueChannel) +
               ", Expected Link Count: 8, Actual Link Count: 7"}},
        {"misaligned DG link", variant([](MinimalFile& m) {
             m.file.append(std::string(appendedAt(m) - m.file.bytes().size() + 4, '\0'));
             setLink(m.file, m.hd, 0, static_cast<std::int64_t>(m.file.bytes().size()));
             m.file.append(blockBytes("##DG", {0, m.cg, m.dt, 0}, dgData(0)));
         }),
         kOk, {}, {"112 HD Block at 0x40, Field: hd_dg_first 0x" + hex(appendedAt(base) + 4)}},
        {"no history", variant({.withHistory = false}), kOk, {},
         {"116 HD Block at 0x40, Field: hd_fh_first"}},
        {"time class 10", variant({.hd = {.timeClass = 10}}), kOk},
        {"time class 16", variant({.hd = {.timeClass = 16}}), kOk},
        {"time class 1", variant({.hd = {.timeClass = 1}}), kOk,
         {"108 HD Block at 0x40, Field: hd_time_class, Value: 1"}},
        {"no start time", variant({.hd = {.startTimeNs = 0}}), kOk, {},
         {"113 HD Block at 0x40, Field: hd_start_time_ns"}},
        {"hierarchy", variant([](MinimalFile& m) { setLink(m.file, m.hd, 2, 0x2000); }), kOk, {},
         {"114 HD Block at 0x40, Field: hd_ch_first(CH Block) 0x2000"}},
        // A negative daylight-saving offset only contradicts the flags when the offsets are valid.
        {"negative DST", variant({.hd = {.dstOffsetMin = -60, .timeFlags = 2}}), kOk,
         {"109 HD Block at 0x40, Field: hd_dst_offset_min"}},
        {"negative DST, invalid", variant({.hd = {.dstOffsetMin = -60, .timeFlags = 0}}), kOk},
        // Masters not synchronised by time, and rejected channels, are listed by name: with the
        // acquisition name before them where there is one.
        {"angle master", variant({.timeName = "angle", .time = angleMaster}), kOk, {},
         {"115 angle"}},
        {"unnamed angle master",
         variant({.acquisitionName = "", .timeName = "angle", .time = angleMaster}), kOk},
        {"unnamed rejected", variant({.acquisitionName = "", .value = {.dataType = 11}}), kOk, {},
         {"110 value"}},
    });
}

TEST_F(StructureWalk, OnlySortedDataGroupsWithAMasterAreKept) {
    const MinimalFile base = makeMinimalFile();
    expectReads({
        // A second channel group in the data group, complete with its own master.
        {"two groups", variant([](MinimalFile& m) {
             const auto master = addChannel(m.file, "", MinimalFileFields{}.time);
             setLink(m.file, m.cg, 0,
                     m.file.addBlock("##CG", {0, master, 0, 0, 0, 0}, cgData({.dataBytes = 8})));
         }),
         kFailed, {"139"}},
        {"record ids", variant({.dgRecIdSize = 1}), kFailed, {"146"}},
        // Records can only lie in DT, DL, HL or DZ blocks: anything else fails without a finding.
        {"records in an FH", variant([](MinimalFile& m) { setLink(m.file, m.dg, 2, m.fh); }),
         kFailed},
        // No master channel: the group is reported, and its data group left out.
        {"no master", variant({.time = {.type = 0, .dataType = 4, .bitCount = 64}}), kOk, {},
         {"132 CGBlock at 0x" + hex(base.cg)}, 0},
        // A VLSD group is dropped; as the only group it leaves the data group without one.
        {"VLSD beside", variant([](MinimalFile& m) {
             setLink(m.file, m.cg, 0,
                     m.file.addBlock("##CG", {0, 0, 0, 0, 0, 0}, cgData({.flags = 1})));
         }),
         kOk, {}, {"123 CG Block at 0x" + hex(appendedAt(base)) + ", cg_flags: VLSD"}},
        {"VLSD alone",
         variant([](MinimalFile& m) { patchBytes(m.file, linkAt(m.cg, 6) + 16, u16(1)); }),
         kFailed, {"139"}, {"123 CG Block at 0x" + hex(base.cg) + ", cg_flags: VLSD"}},
    });

    EXPECT_EQ(readPath(dir_.file("absent.mf4")), kFailed);
    EXPECT_EQ(errors(), Lines{"141"});
    EXPECT_EQ(layer_->hdRecord(), nullptr);
}

TEST_F(StructureWalk, ChainsThatLeadBackFailWith109) {
    const MinimalFile base = makeMinimalFile();
    const std::string channel = "109 CN Block at 0x" + hex(base.valueChannel) + ", Field: ";
    expectReads({
        {"DG to itself", variant([](MinimalFile& m) { setLink(m.file, m.dg, 0, m.dg); }), kFailed,
         {"109 DG Block at 0x" + hex(base.dg) + ", Field: dg_dg_next"}},
        // A second, empty data group whose next link goes back to the first.
        {"DG back to the first", variant([](MinimalFile& m) {
             setLink(m.file, m.dg, 0, m.file.addBlock("##DG", {m.dg, 0, 0, 0}, dgData(0)));
         }),
         kFailed, {"109 DG Block at 0x" + hex(appendedAt(base)) + ", Field: dg_dg_next"}},
        // A channel chain going round fails its group, which leaves the data group without one.
        {"CN chain", variant([](MinimalFile& m) { setLink(m.file, m.valueChannel, 0, m.timeChannel); }),
         kFailed, {channel + "cn_cn_next", "139"}},
        {"CN its own member",
         variant([](MinimalFile& m) { setLink(m.file, m.valueChannel, 1, m.valueChannel); }),
         kFailed, {channel + "cn_composition", "139"}},
        {"FH to itself", variant([](MinimalFile& m) { setLink(m.file, m.fh, 0, m.fh); }), kFailed,
         {"109 FH Block at 0x" + hex(base.fh) + ", Field: fh_fh_next"}},
    });
}

TEST_F(StructureWalk, RejectedChannelsAreLeftOutAndListed) {
    MinimalFile m = makeMinimalFile({.value = {.dataType = 11, .byteOffset = 8, .bitCount = 16}});
    MdfBuilder& file = m.file;
    // A structure whose second member has a data type the library does not read.
    const auto bad = addChannel(file, "bad", {.dataType = 12, .bitCount = 8});
    const auto bit = addChannel(file, "bit", {.byteOffset = 8, .bitCount = 1}, bad);
    const auto status =
        addChannel(file, "status", {.dataType = 10, .byteOffset = 8, .bitCount = 16}, 0, bit);
    setLink(file, m.valueChannel, 0, addChannel(file, "virtual", {.type = 3}, status));
    EXPECT_EQ(read(file), kOk);
    EXPECT_EQ(warnings(), Lines{"110 Acq.value,Acq.virtual,Acq.status.bad"});
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(group().channelsRejected);
    ASSERT_EQ(group().channels.size(), 2u);
    EXPECT_EQ(group().channels[0].name, u"time");
    EXPECT_EQ(group().channels[1].name, u"status");
    ASSERT_EQ(group().channels[1].children.size(), 1u);
    EXPECT_EQ(group().channels[1].children[0].name, u"bit");
    EXPECT_EQ(group().channels[1].children[0].channelIndex, 0);
}

TEST_F(StructureWalk, LookUpArrayReferencesBecomeIndices) {
    MinimalFile m = makeMinimalFile();
    MdfBuilder& file = m.file;
    const auto axisConversion =
        file.addBlock("##CC", {0, 0, 0, 0}, ccData({.type = 1, .values = {0, 0.1}}));
    // One dimension of 3 with an axis conversion and an axis channel (the time channel), and
    // a ca_composition link the library does not follow.
    const auto lookup = file.addBlock("##CA", {0x5000, axisConversion, m.dg, m.cg, m.timeChannel},
                                      caData({.type = 2, .flags = 1u << 4, .dimSizes = {3}}));
    setLink(file, m.valueChannel, 1, lookup);
    // A composition that is neither an array nor a structure is reported and left aside.
    const auto text = file.addText("##TX", "not a composition");
    const auto odd = addChannel(file, "", {.byteOffset = 8, .bitCount = 16}, 0, text);
    const auto cube = file.addBlock("##CA", {0}, caData({.dimSizes = {2, 2, 2, 2}}));
    setLink(file, m.valueChannel, 0, addChannel(file, "", {.bitCount = 16}, odd, cube));

    ASSERT_EQ(read(file), kOk);
    EXPECT_EQ(warnings(),
              (Lines{"126 CA Block at 0x" + hex(lookup) + ", ca_composition: 0x5000",
                     "131 CN_BLOCK at 0x" + hex(odd) + ", cn_composition 0x" + hex(text)}));
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(positionsOf(hd().conversions), std::vector{axisConversion});
    const std::vector<CnRecord>& channels = group().channels;
    ASSERT_EQ(channels.size(), 4u);
    EXPECT_EQ(channels[3].array, nullptr);
    EXPECT_TRUE(channels[3].children.empty());
    ASSERT_NE(channels[1].array, nullptr);
    EXPECT_EQ(channels[1].array->elementCount, 3u);
    EXPECT_EQ(channels[1].array->axisConversions, std::vector<std::int64_t>{0});
    ASSERT_EQ(channels[1].array->axisRefs.size(), 1u);
    EXPECT_EQ(channels[1].array->axisRefs[0].channel, 0);
    ASSERT_NE(channels[2].array, nullptr);
    EXPECT_EQ(channels[2].array->elementCount, 0u) << "more than three dimensions";
}

TEST_F(StructureWalk, ChannelLinkCounts) {
    // A 4.10 synchronisation channel with two attachment references (10 links, 176 bytes)
    // whose data link names the second attachment.
    MinimalFile m = makeMinimalFile();
    MdfBuilder& file = m.file;
    const auto second =
        file.addBlock("##AT", {0, 0, 0, 0}, atData({.originalSize = 2, .embeddedSize = 2}, "ab"));
    const auto first = file.addBlock("##AT", {second, 0, 0, 0},
                                     atData({.originalSize = 1, .embeddedSize = 1}, "c"));
    setLink(file, m.hd, 3, first);
    const auto counter =
        addBlock(file, "##CN", {0, 0, 0, 0, 0, second, 0, 0, first, second},
                 cnData({.type = 4, .syncType = 1, .byteOffset = 8, .bitCount = 12,
                         .attachmentCount = 2}));
    setLink(file, m.valueChannel, 0, counter);
    ASSERT_EQ(read(file), kOk);
    EXPECT_TRUE(findings_.empty()) << ::testing::PrintToString(errors());
    ASSERT_EQ(hd().attachments.size(), 2u);
    EXPECT_EQ(hd().attachments[0].data, (std::vector<std::uint8_t>{'c'}));
    ASSERT_EQ(group().channels.size(), 3u);
    const CnRecord& channel = group().channels[2];
    EXPECT_EQ(channel.cn_at_reference, (std::vector<std::int64_t>{first, second}));
    EXPECT_EQ(channel.cn_bit_count, 12u) << "the fields follow the attachment links";
    EXPECT_EQ(channel.attachmentIndex, 1);
}

TEST_F(StructureWalk, ConversionTableHoldsEveryConversionOnceInFilePosition) {
    MinimalFile m = makeMinimalFile();
    MdfBuilder& file = m.file;
    const auto shared =
        file.addBlock("##CC", {0, 0, 0, 0}, ccData({.type = 1, .values = {1.0, 0.5}}));
    const auto rangeTable =
        file.addBlock("##CC", {0, 0, 0, 0}, ccData({.type = 6, .values = {0, 10, 1}}));
    const auto text = file.addText("##TX", "a");
    const auto textToValue = file.addBlock("##CC", {0, 0, 0, 0, text},
                                           ccData({.type = 9, .refCount = 1, .values = {1, 0}}));
    const auto textToText =
        file.addBlock("##CC", {0, 0, 0, 0, text, 0}, ccData({.type = 10, .refCount = 2}));
    const auto zero = file.addText("##TX", "zero");
    const auto valueToText =
        file.addBlock("##CC", {0, 0, 0, 0, zero, rangeTable, textToValue, textToText, 0},
                      ccData({.type = 7, .refCount = 5, .values = {0, 1, 2, 3}}));
    setLink(file, m.valueChannel, 4, shared);
    // Two more channels: one shares the value's conversion, one has the value-to-text conversion.
    const auto state = addChannel(file, "", {.bitCount = 16}, 0, 0, valueToText);
    setLink(file, m.valueChannel, 0, addChannel(file, "", {.bitCount = 16}, state, 0, shared));

    ASSERT_EQ(read(file), kOk);
    const auto unsupported = [](std::int64_t at, const char* type) {
        return "119 CC Block at 0x" + hex(at) + ", cc_type: " + type + " tabular look-up)";
    };
    EXPECT_EQ(warnings(), (Lines{unsupported(rangeTable, "6 (value range to value"),
                                 unsupported(textToValue, "9 (text to value"),
                                 unsupported(textToText, "10 (text to text")}));
    EXPECT_TRUE(errors().empty());

    const std::vector<CcRecord>& table = hd().conversions;
    ASSERT_EQ(positionsOf(table),
              (std::vector{shared, rangeTable, textToValue, textToText, valueToText}));
    for (std::size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ(table[i].tableIndex, static_cast<std::int64_t>(i));
    ASSERT_EQ(group().channels.size(), 4u);
    EXPECT_EQ(group().channels[2].conversionIndex, 0);
    EXPECT_EQ(group().channels[3].conversionIndex, 4);

    const CcRecord& lookup = table[4];
    EXPECT_EQ(lookup.cc_val, (std::vector<double>{0, 1, 2, 3}));
    ASSERT_EQ(lookup.refs.size(), 5u);
    EXPECT_EQ(lookup.refs[0].text, u"zero");
    for (std::size_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(lookup.refs[i].kind, 1u);
        EXPECT_EQ(lookup.refs[i].conversionIndex, static_cast<std::int64_t>(i));
    }
    EXPECT_EQ(lookup.refs[4].kind, 0u);
    EXPECT_FALSE(lookup.refs[4].text.has_value());
    EXPECT_EQ(table[2].refs.at(0).text, u"a");
}

TEST_F(StructureWalk, ConversionsReferringToEachOtherAreCollectedOnce) {
    MinimalFile m = makeMinimalFile();
    const auto a = m.file.addBlock("##CC", {0, 0, 0, 0, 0}, ccData({.type = 8, .refCount = 1}));
    const auto b = m.file.addBlock("##CC", {0, 0, 0, 0, a}, ccData({.type = 8, .refCount = 1}));
    setLink(m.file, a, 4, b);
    setLink(m.file, m.valueChannel, 4, b);
    ASSERT_EQ(read(m.file), kOk);
    EXPECT_TRUE(findings_.empty());
    const std::vector<CcRecord>& table = hd().conversions;
    ASSERT_EQ(positionsOf(table), (std::vector{a, b}));
    EXPECT_EQ(table[0].refs.at(0).conversionIndex, 1);
    EXPECT_EQ(table[1].refs.at(0).conversionIndex, 0);
    EXPECT_EQ(group().channels.at(1).conversionIndex, 1);
}

struct ChainedEvent {
    EvFields fields;
    std::int64_t range = 0;  // ev_ev_range, or -1 - i for the position of event i
    std::vector<std::int64_t> scope = {};
};

// Appends the EV chain of `events` to the minimal file; returns the positions in chain order.
std::vector<std::int64_t> addEvents(MinimalFile& m, const std::vector<ChainedEvent>& events) {
    std::vector<std::int64_t> positions;
    for (const ChainedEvent& event : events) {
        EvFields fields = event.fields;
        fields.scopeCount = static_cast<std::uint32_t>(event.scope.size());
        std::vector<std::int64_t> links{0, 0, 0, 0, 0};
        links.insert(links.end(), event.scope.begin(), event.scope.end());
        positions.push_back(addBlock(m.file, "##EV", links, evData(fields)));
    }
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (i + 1 < events.size()) setLink(m.file, positions[i], 0, positions[i + 1]);
        const std::int64_t range = events[i].range;
        setLink(m.file, positions[i], 2,
                range < 0 ? positions.at(static_cast<std::size_t>(-1 - range)) : range);
    }
    if (!positions.empty()) setLink(m.file, m.hd, 4, positions[0]);
    return positions;
}

constexpr EvFields kPoint{.type = 0};
constexpr EvFields kBegin{.type = 2, .rangeType = 1};
constexpr EvFields kEnd{.type = 2, .rangeType = 2};

TEST_F(StructureWalk, AcquisitionInterruptsPairByRangeLink) {
    MinimalFile m = makeMinimalFile();
    // Two interrupts whose ends come in the opposite order, an end without its begin, a begin
    // without an end, and plain events in between.
    const auto ev = addEvents(m, {{kBegin},                             // 0
                                  {kBegin},                             // 1
                                  {kPoint, 0, {m.cg, m.valueChannel}},  // 2
                                  {kEnd, -2},                           // 3 ends 1
                                  {kEnd, -1},                           // 4 ends 0
                                  {kEnd, -3},                           // 5 "ends" the point event
                                  {kBegin},                             // 6
                                  {EvFields{.type = 5}}});              // 7
    ASSERT_EQ(read(m.file), kOk);
    EXPECT_TRUE(findings_.empty()) << ::testing::PrintToString(warnings());

    const EventChain& chain = hd().events;
    ASSERT_EQ(chain.intervals.size(), 2u);
    EXPECT_EQ(chain.intervals[0].begin.position, ev[1]);
    EXPECT_EQ(chain.intervals[0].end.position, ev[3]);
    EXPECT_EQ(chain.intervals[1].begin.position, ev[0]);
    EXPECT_EQ(chain.intervals[1].end.position, ev[4]);

    EXPECT_EQ(positionsOf(chain.events), (std::vector{ev[2], ev[7]}));
    const EvRecord& point = chain.events.at(0);
    EXPECT_EQ(point.scopeKind, 1u);
    ASSERT_EQ(point.scopeTargets.size(), 2u);
    EXPECT_EQ(point.scopeTargets[0].group, 0);
    EXPECT_EQ(point.scopeTargets[0].channel, -1);
    EXPECT_EQ(point.scopeTargets[1].channel, 1);
    EXPECT_EQ(chain.chainOrder, ev) << "every block of the chain in order, whatever its type";
}

TEST_F(StructureWalk, EventFindingsAndUnknownTypesAreLeftOutWhenSkipping) {
    MinimalFile m = makeMinimalFile();
    const auto ev = addEvents(m, {{EvFields{.type = 9, .syncType = 3, .rangeType = 3}, 0x1001},
                                  {EvFields{.syncType = 0}}});
    ASSERT_EQ(read(m.file), kOk);
    const std::string first = "EV Block at 0x" + hex(ev[0]);
    EXPECT_EQ(errors(),
              (Lines{"108 " + first + ", Field: ev_type, Value: 9",
                     "108 " + first + ", Field: ev_range_type, Value: 3",
                     "108 EV Block at 0x" + hex(ev[1]) + ", Field: ev_sync_type, Value: 0"}));
    EXPECT_EQ(
        warnings(),
        (Lines{"112 " + first + ", Field: ev_ev_range 0x1001",
               "117 " + first + ", ev_ev_range: 0x1001, ev_range_type: 3",
               "121 " + first +
                   ", ev_sync_type: 3 (synchronization value represents distance in meter)"}));
    EXPECT_EQ(positionsOf(hd().events.events), std::vector{ev[1]}) << "type 9 is not delivered";

    ASSERT_EQ(read(m.file, kReadSkipEvents), kOk);
    EXPECT_TRUE(findings_.empty()) << ::testing::PrintToString(errors());
    EXPECT_TRUE(hd().events.events.empty());
    EXPECT_TRUE(hd().events.chainOrder.empty());
    EXPECT_EQ(hd().dataGroups.size(), 1u);

    // Even an event chain that cannot be read at all is not looked at.
    MinimalFile broken = makeMinimalFile();
    setLink(broken.file, broken.hd, 4, broken.dg);
    EXPECT_EQ(read(broken.file), kFailed);
    EXPECT_EQ(errors(), Lines{"103 EV"});
    EXPECT_EQ(read(broken.file, kReadSkipEvents), kOk);
    EXPECT_TRUE(findings_.empty());
}

// Links far beyond the file and lengths no file can have: the read ends with success or failure.
TEST_F(StructureWalk, FarLinksAndHugeLengthsEndCleanly) {
    constexpr std::int64_t kFar = std::int64_t{1} << 40;
    constexpr std::uint64_t kHuge = std::uint64_t{1} << 62;
    const std::vector<std::pair<const char*, void (*)(MinimalFile&)>> damages{
        {"far channel group", [](MinimalFile& m) { setLink(m.file, m.dg, 1, kFar); }},
        {"far data block", [](MinimalFile& m) { setLink(m.file, m.dg, 2, kFar); }},
        {"far channel name", [](MinimalFile& m) { setLink(m.file, m.valueChannel, 2, kFar); }},
        {"far comment", [](MinimalFile& m) { setLink(m.file, m.hd, 5, kFar); }},
        {"negative next", [](MinimalFile& m) { setLink(m.file, m.timeChannel, 0, -8); }},
        {"huge channel", [](MinimalFile& m) { m.file.patchU64(m.valueChannel + 8, kHuge); }},
        {"huge channel links", [](MinimalFile& m) { m.file.patchU64(m.valueChannel + 16, kHuge); }},
        // The time channel's name ("time", 32 bytes with padding) lies right before it.
        {"huge name text", [](MinimalFile& m) { m.file.patchU64(m.timeChannel - 32 + 8, kHuge); }},
        {"huge data block", [](MinimalFile& m) { m.file.patchU64(m.dt + 8, kHuge); }},
        {"huge history", [](MinimalFile& m) { m.file.patchU64(m.fh + 8, kHuge); }},
        {"huge attachment",
         [](MinimalFile& m) {
             const auto at = m.file.addBlock(
                 "##AT", {0, 0, 0, 0}, atData({.originalSize = kHuge, .embeddedSize = kHuge}));
             m.file.patchU64(at + 8, kHuge);
             setLink(m.file, m.hd, 3, at);
         }},
    };
    for (const auto& [what, damage] : damages) {
        MinimalFile m = makeMinimalFile();
        damage(m);
        const int status = read(m.file);
        EXPECT_TRUE(status == kOk || status == kFailed) << what;
    }
}

}  // namespace
}  // namespace tarvik::test
