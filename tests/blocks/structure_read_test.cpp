// The structure read on small files built byte by byte: the header checks, the rules that keep
// only sorted data groups with a master channel, the conversion table, and chains that lead
// back into themselves.
#include "blocks/structure_read.h"

#include "blocks/hd_block.h"
#include "support/mdf_blocks.h"
#include "structure_walk.h"

namespace tarvik::test {
namespace {

using platform::kFailed;
using platform::kOk;

TEST_F(StructureWalk, MinimalFileReadsWithoutFindings) {
    MinimalFile m = makeMinimalFile();
    ASSERT_EQ(read(m.file), kOk);
    EXPECT_TRUE(findings_.empty()) << ::testing::PrintToString(warnings());

    const HdRecord& header = hd();
    EXPECT_EQ(header.position, 64);
    EXPECT_EQ(header.hd_start_time_ns, 1'600'000'000'000'000'000u);
    EXPECT_EQ(header.hd_tz_offset_min, 60);
    ASSERT_EQ(header.history.size(), 1u);
    EXPECT_EQ(header.history[0].comment.kind, BlockKind::MD);
    ASSERT_EQ(header.dataGroups.size(), 1u);
    const DgRecord& dataGroup = header.dataGroups[0];
    EXPECT_EQ(dataGroup.position, m.dg);
    EXPECT_EQ(dataGroup.dataKind, BlockKind::DT);
    ASSERT_TRUE(dataGroup.dataBlock.has_value());
    EXPECT_EQ(dataGroup.dataBlock->dataLength(), 30u);
    ASSERT_EQ(dataGroup.groups.size(), 1u);
    const CgRecord& group = dataGroup.groups[0];
    EXPECT_EQ(group.acquisitionName, u"Acq");
    EXPECT_EQ(group.cg_cycle_count, 3u);
    EXPECT_EQ(group.cg_data_bytes, 10u);
    ASSERT_EQ(group.channels.size(), 2u);
    EXPECT_EQ(group.channels[0].name, u"time");
    EXPECT_EQ(group.masterChannel(), &group.channels[0]);
    EXPECT_EQ(group.channels[1].name, u"value");
    EXPECT_EQ(group.channels[1].cn_byte_offset, 8u);
    EXPECT_EQ(group.channels[1].cn_bit_count, 16u);
    EXPECT_EQ(group.channels[1].channelIndex, 1);
    EXPECT_EQ(group.channels[1].conversionIndex, -1);
    EXPECT_TRUE(header.conversions.empty());
    EXPECT_EQ(header.events.bookmarkLinkOffset, 120);
}

TEST_F(StructureWalk, VersionChoosesTheGroupAndChannelLayouts) {
    // The bytes where 4.10 keeps the path separator and the attachment count are reserved in
    // 4.00 (and 4.11 is read as 4.00): there they must not be taken for those fields.
    for (std::uint16_t version : {400, 410}) {
        MinimalFile m = makeMinimalFile({.version = version});
        patchBytes(m.file, linkAt(m.cg, 6) + 18, u16('/'));
        patchBytes(m.file, linkAt(m.valueChannel, 8) + 22, u16(2));
        ASSERT_EQ(read(m.file), kOk) << version;
        EXPECT_TRUE(findings_.empty()) << ::testing::PrintToString(errors());
        const CgRecord& group = hd().dataGroups.at(0).groups.at(0);
        EXPECT_EQ(group.version, version);
        EXPECT_EQ(group.cg_path_separator, version == 410 ? '/' : 0);
        EXPECT_EQ(group.cg_data_bytes, 10u);
        EXPECT_EQ(group.channels.at(1).cn_attachment_count, version == 410 ? 2 : 0);
        EXPECT_EQ(group.channels.at(1).cn_val_range_min, 0.0);
    }
    MinimalFile later = makeMinimalFile();
    patchBytes(later.file, 8, "4.11    ");
    patchBytes(later.file, linkAt(later.cg, 6) + 18, u16('/'));
    ASSERT_EQ(read(later.file), kOk);
    EXPECT_EQ(hd().dataGroups.at(0).groups.at(0).cg_path_separator, 0);
    EXPECT_EQ(hd().dataGroups.at(0).groups.at(0).version, 411);
}

TEST_F(StructureWalk, HeaderShapeFindingsDoNotStopTheRead) {
    MinimalFile longer = makeMinimalFile({.hdExtraBytes = 8});
    EXPECT_EQ(read(longer.file), kOk);
    EXPECT_EQ(warnings(), Lines{"107 410. HD Block at 0x40, Expected Size: 104, Actual Size: 112"});
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(hd().dataGroups.size(), 1u);
    EXPECT_EQ(hd().history.size(), 1u);
    ASSERT_FALSE(findings_.warnings().empty());
    EXPECT_EQ(findings_.warnings()[0].detail1, findings_.currentFile());

    // The header says 5 links while the block holds the usual six: the sixth is read all the same.
    MinimalFile fewerLinks = makeMinimalFile();
    fewerLinks.file.patchU64(fewerLinks.hd + 16, 5);
    EXPECT_EQ(read(fewerLinks.file), kOk);
    EXPECT_EQ(errors(),
              Lines{"104 410. HD Block at 0x40, Expected Link Count: 6, Actual Link Count: 5"});
    EXPECT_EQ(hd().dataGroups.size(), 1u);
}

TEST_F(StructureWalk, MisalignedDataGroupLinkIsReportedAndFollowed) {
    MinimalFile m = makeMinimalFile();
    m.file.append(std::string((8 - m.file.bytes().size() % 8) % 8 + 4, '\0'));
    const auto misaligned = static_cast<std::int64_t>(m.file.bytes().size());
    m.file.append(blockBytes("##DG", {0, m.cg, m.dt, 0}, dgData(0)));
    setLink(m.file, m.hd, 0, misaligned);

    ASSERT_EQ(read(m.file), kOk);
    EXPECT_EQ(warnings(), Lines{"112 HD Block at 0x40, Field: hd_dg_first 0x" + hex(misaligned)});
    EXPECT_TRUE(errors().empty());
    ASSERT_EQ(hd().dataGroups.size(), 1u);
    EXPECT_EQ(hd().dataGroups[0].position, misaligned);
    EXPECT_EQ(hd().dataGroups[0].groups.size(), 1u);
}

TEST_F(StructureWalk, HeaderFieldChecks) {
    EXPECT_EQ(read(makeMinimalFile({.withHistory = false}).file), kOk);
    EXPECT_EQ(warnings(), Lines{"116 HD Block at 0x40, Field: hd_fh_first"});
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(hd().history.empty());
    EXPECT_EQ(hd().dataGroups.size(), 1u);

    for (std::uint8_t timeClass : {10, 16}) {
        EXPECT_EQ(read(makeMinimalFile({.hd = {.timeClass = timeClass}}).file), kOk);
        EXPECT_TRUE(findings_.empty()) << int{timeClass};
    }
    EXPECT_EQ(read(makeMinimalFile({.hd = {.timeClass = 1}}).file), kOk);
    EXPECT_EQ(errors(), Lines{"108 HD Block at 0x40, Field: hd_time_class, Value: 1"});

    EXPECT_EQ(read(makeMinimalFile({.hd = {.startTimeNs = 0}}).file), kOk);
    EXPECT_EQ(warnings(), Lines{"113 HD Block at 0x40, Field: hd_start_time_ns"});
    EXPECT_TRUE(errors().empty());

    MinimalFile hierarchy = makeMinimalFile();
    setLink(hierarchy.file, hierarchy.hd, 2, 0x2000);
    EXPECT_EQ(read(hierarchy.file), kOk);
    EXPECT_EQ(warnings(), Lines{"114 HD Block at 0x40, Field: hd_ch_first(CH Block) 0x2000"});

    // A negative daylight-saving offset only contradicts the flags when the offsets are valid.
    EXPECT_EQ(read(makeMinimalFile({.hd = {.dstOffsetMin = -60, .timeFlags = 2}}).file), kOk);
    EXPECT_EQ(errors(), Lines{"109 HD Block at 0x40, Field: hd_dst_offset_min"});
    EXPECT_EQ(read(makeMinimalFile({.hd = {.dstOffsetMin = -60, .timeFlags = 0}}).file), kOk);
    EXPECT_TRUE(findings_.empty());
}

TEST_F(StructureWalk, MissingFileStopsBeforeAnyBlock) {
    EXPECT_EQ(readPath(dir_.file("absent.mf4")), kFailed);
    EXPECT_EQ(errors(), Lines{"141"});
    EXPECT_EQ(layer_->hdRecord(), nullptr);
}

TEST_F(StructureWalk, OnlySortedDataGroupsAreRead) {
    // A second channel group in the data group, complete with its own master.
    MinimalFile twoGroups = makeMinimalFile();
    MdfBuilder& file = twoGroups.file;
    const auto master =
        file.addBlock("##CN", {0, 0, 0, 0, 0, 0, 0, 0},
                      cnData({.type = 2, .syncType = 1, .dataType = 4, .bitCount = 64}));
    const auto second = file.addBlock("##CG", {0, master, 0, 0, 0, 0}, cgData({.dataBytes = 8}));
    setLink(file, twoGroups.cg, 0, second);
    EXPECT_EQ(read(file), kFailed);
    EXPECT_EQ(errors(), Lines{"139"});
    EXPECT_TRUE(warnings().empty());
    ASSERT_FALSE(findings_.errors().empty());
    EXPECT_EQ(findings_.errors()[0].detail1, findings_.currentFile());

    EXPECT_EQ(read(makeMinimalFile({.dgRecIdSize = 1}).file), kFailed);
    EXPECT_EQ(errors(), Lines{"146"});
    EXPECT_TRUE(warnings().empty());

    // Records can only lie in DT, DL, HL or DZ blocks: anything else fails without a finding.
    MinimalFile noRecords = makeMinimalFile();
    setLink(noRecords.file, noRecords.dg, 2, noRecords.fh);
    EXPECT_EQ(read(noRecords.file), kFailed);
    EXPECT_TRUE(findings_.empty()) << ::testing::PrintToString(errors());

    // No master channel: the group is reported, and its data group left out.
    MinimalFile noMaster = makeMinimalFile({.time = {.type = 0, .dataType = 4, .bitCount = 64}});
    EXPECT_EQ(read(noMaster.file), kOk);
    EXPECT_EQ(warnings(), Lines{"132 CGBlock at 0x" + hex(noMaster.cg)});
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(hd().dataGroups.empty());
}

TEST_F(StructureWalk, RejectedChannelsAreLeftOutAndListed) {
    MinimalFile m = makeMinimalFile({.value = {.dataType = 11, .byteOffset = 8, .bitCount = 16}});
    MdfBuilder& file = m.file;
    const auto virtualName = file.addText("##TX", "virtual");
    const auto virtualMaster =
        file.addBlock("##CN", {0, 0, virtualName, 0, 0, 0, 0, 0}, cnData({.type = 3}));
    // A structure whose second member has a data type the library does not read.
    const auto badName = file.addText("##TX", "bad");
    const auto bad = file.addBlock("##CN", {0, 0, badName, 0, 0, 0, 0, 0},
                                   cnData({.dataType = 12, .bitCount = 8}));
    const auto bitName = file.addText("##TX", "bit");
    const auto bit = file.addBlock("##CN", {bad, 0, bitName, 0, 0, 0, 0, 0},
                                   cnData({.byteOffset = 8, .bitCount = 1}));
    const auto statusName = file.addText("##TX", "status");
    const auto status = file.addBlock("##CN", {0, bit, statusName, 0, 0, 0, 0, 0},
                                      cnData({.dataType = 10, .byteOffset = 8, .bitCount = 16}));
    setLink(file, m.valueChannel, 0, virtualMaster);
    setLink(file, virtualMaster, 0, status);
    EXPECT_EQ(read(file), kOk);
    EXPECT_EQ(warnings(), Lines{"110 Acq.value,Acq.virtual,Acq.status.bad"});
    EXPECT_TRUE(errors().empty());
    ASSERT_EQ(hd().dataGroups.size(), 1u);
    const CgRecord& group = hd().dataGroups[0].groups[0];
    EXPECT_TRUE(group.channelsRejected);
    ASSERT_EQ(group.channels.size(), 2u);
    EXPECT_EQ(group.channels[0].name, u"time");
    EXPECT_EQ(group.channels[1].name, u"status");
    ASSERT_EQ(group.channels[1].children.size(), 1u);
    EXPECT_EQ(group.channels[1].children[0].name, u"bit");
    EXPECT_EQ(group.channels[1].children[0].channelIndex, 0);
    EXPECT_EQ(group.channels[1].children[0].groupIndex, 0);

    // Without an acquisition name the channel name stands alone.
    EXPECT_EQ(read(makeMinimalFile({.acquisitionName = "", .value = {.dataType = 11}}).file), kOk);
    EXPECT_EQ(warnings(), Lines{"110 value"});
}

TEST_F(StructureWalk, MasterNotSynchronisedByTimeIsListedForNamedGroups) {
    const CnFields angleMaster{.type = 2, .syncType = 2, .dataType = 4, .bitCount = 64};
    EXPECT_EQ(read(makeMinimalFile({.timeName = "angle", .time = angleMaster}).file), kOk);
    EXPECT_EQ(warnings(), Lines{"115 angle"});
    EXPECT_TRUE(errors().empty());

    MinimalFile unnamed =
        makeMinimalFile({.acquisitionName = "", .timeName = "angle", .time = angleMaster});
    EXPECT_EQ(read(unnamed.file), kOk);
    EXPECT_TRUE(findings_.empty());
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
    const auto cube = file.addBlock("##CA", {0}, caData({.dimSizes = {2, 2, 2, 2}}));
    const auto cubeChannel = file.addBlock("##CN", {0, cube, 0, 0, 0, 0, 0, 0},
                                           cnData({.byteOffset = 8, .bitCount = 16}));
    setLink(file, m.valueChannel, 0, cubeChannel);
    // A composition that is neither an array nor a structure is reported and left aside.
    const auto text = file.addText("##TX", "not a composition");
    const auto odd = file.addBlock("##CN", {0, text, 0, 0, 0, 0, 0, 0},
                                   cnData({.byteOffset = 8, .bitCount = 16}));
    setLink(file, cubeChannel, 0, odd);

    ASSERT_EQ(read(file), kOk);
    EXPECT_EQ(warnings(),
              (Lines{"126 CA Block at 0x" + hex(lookup) + ", ca_composition: 0x5000",
                     "131 CN_BLOCK at 0x" + hex(odd) + ", cn_composition 0x" + hex(text)}));
    EXPECT_TRUE(errors().empty());
    ASSERT_EQ(hd().conversions.size(), 1u);
    EXPECT_EQ(hd().conversions[0].position, axisConversion);
    const std::vector<CnRecord>& channels = hd().dataGroups.at(0).groups.at(0).channels;
    ASSERT_EQ(channels.size(), 4u);
    EXPECT_EQ(channels[3].array, nullptr);
    EXPECT_TRUE(channels[3].children.empty());
    ASSERT_NE(channels[1].array, nullptr);
    const CaRecord& array = *channels[1].array;
    EXPECT_EQ(array.elementCount, 3u);
    EXPECT_EQ(array.axisConversions, std::vector<std::int64_t>{0});
    ASSERT_EQ(array.axisRefs.size(), 1u);
    EXPECT_EQ(array.axisRefs[0].dataGroup, 0);
    EXPECT_EQ(array.axisRefs[0].group, 0);
    EXPECT_EQ(array.axisRefs[0].channel, 0);
    ASSERT_NE(channels[2].array, nullptr);
    EXPECT_EQ(channels[2].array->elementCount, 0u) << "more than three dimensions";
}

TEST_F(StructureWalk, VariableLengthSignalGroupIsRejected) {
    // Beside a regular group, the VLSD group is dropped and the data group keeps one group.
    MinimalFile beside = makeMinimalFile();
    const auto vlsd = beside.file.addBlock("##CG", {0, 0, 0, 0, 0, 0}, cgData({.flags = 1}));
    setLink(beside.file, beside.cg, 0, vlsd);
    EXPECT_EQ(read(beside.file), kOk);
    EXPECT_EQ(warnings(), Lines{"123 CG Block at 0x" + hex(vlsd) + ", cg_flags: VLSD"});
    EXPECT_TRUE(errors().empty());
    ASSERT_EQ(hd().dataGroups.size(), 1u);
    ASSERT_EQ(hd().dataGroups[0].groups.size(), 1u);
    EXPECT_EQ(hd().dataGroups[0].groups[0].position, beside.cg);

    // As the only group, it leaves the data group without one.
    MinimalFile alone = makeMinimalFile();
    patchBytes(alone.file, linkAt(alone.cg, 6) + 16, u16(1));  // cg_flags
    EXPECT_EQ(read(alone.file), kFailed);
    EXPECT_EQ(warnings(), Lines{"123 CG Block at 0x" + hex(alone.cg) + ", cg_flags: VLSD"});
    EXPECT_EQ(errors(), Lines{"139"});
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
    const auto name = file.addText("##TX", "counter");
    const auto counter =
        addBlock(file, "##CN", {0, 0, name, 0, 0, second, 0, 0, first, second},
                 cnData({.type = 4, .syncType = 1, .byteOffset = 8, .bitCount = 12,
                         .attachmentCount = 2}));
    setLink(file, m.valueChannel, 0, counter);
    ASSERT_EQ(read(file), kOk);
    EXPECT_TRUE(findings_.empty()) << ::testing::PrintToString(errors());
    ASSERT_EQ(hd().attachments.size(), 2u);
    EXPECT_EQ(hd().attachments[0].data, (std::vector<std::uint8_t>{'c'}));
    const std::vector<CnRecord>& channels = hd().dataGroups.at(0).groups.at(0).channels;
    ASSERT_EQ(channels.size(), 3u);
    EXPECT_EQ(channels[2].cn_at_reference, (std::vector<std::int64_t>{first, second}));
    EXPECT_EQ(channels[2].cn_attachment_count, 2u);
    EXPECT_EQ(channels[2].cn_bit_count, 12u) << "the fields follow the attachment links";
    EXPECT_EQ(channels[2].attachmentIndex, 1);

    // Seven links are too few; the block still holds eight and is read.
    MinimalFile fewer = makeMinimalFile();
    fewer.file.patchU64(fewer.valueChannel + 16, 7);
    EXPECT_EQ(read(fewer.file), kOk);
    EXPECT_EQ(errors(), Lines{"104 410. CN Block at 0x" + hex(fewer.valueChannel) +
                              ", Expected Link Count: 8, Actual Link Count: 7"});
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
    const auto copy = file.addBlock("##CN", {0, 0, 0, 0, shared, 0, 0, 0},
                                    cnData({.byteOffset = 8, .bitCount = 16}));
    const auto state = file.addBlock("##CN", {0, 0, 0, 0, valueToText, 0, 0, 0},
                                     cnData({.byteOffset = 8, .bitCount = 16}));
    setLink(file, m.valueChannel, 0, copy);
    setLink(file, copy, 0, state);

    ASSERT_EQ(read(file), kOk);
    EXPECT_EQ(warnings(), (Lines{"119 CC Block at 0x" + hex(rangeTable) +
                                     ", cc_type: 6 (value range to value tabular look-up)",
                                 "119 CC Block at 0x" + hex(textToValue) +
                                     ", cc_type: 9 (text to value tabular look-up)",
                                 "119 CC Block at 0x" + hex(textToText) +
                                     ", cc_type: 10 (text to text tabular look-up)"}));
    EXPECT_TRUE(errors().empty());

    const std::vector<CcRecord>& table = hd().conversions;
    ASSERT_EQ(table.size(), 5u);
    const std::int64_t positions[] = {shared, rangeTable, textToValue, textToText, valueToText};
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].position, positions[i]);
        EXPECT_EQ(table[i].tableIndex, static_cast<std::int64_t>(i));
    }
    const std::vector<CnRecord>& channels = hd().dataGroups.at(0).groups.at(0).channels;
    ASSERT_EQ(channels.size(), 4u);
    EXPECT_EQ(channels[0].conversionIndex, -1);
    EXPECT_EQ(channels[1].conversionIndex, 0);
    EXPECT_EQ(channels[2].conversionIndex, 0);
    EXPECT_EQ(channels[3].conversionIndex, 4);

    const CcRecord& lookup = table[4];
    EXPECT_EQ(lookup.cc_val, (std::vector<double>{0, 1, 2, 3}));
    ASSERT_EQ(lookup.refs.size(), 5u);
    EXPECT_EQ(lookup.refs[0].kind, 0u);
    EXPECT_EQ(lookup.refs[0].text, u"zero");
    for (std::size_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(lookup.refs[i].kind, 1u);
        EXPECT_EQ(lookup.refs[i].conversionIndex, static_cast<std::int64_t>(i));
    }
    EXPECT_EQ(lookup.refs[4].kind, 0u);
    EXPECT_FALSE(lookup.refs[4].text.has_value());
    EXPECT_EQ(table[2].refs.at(0).text, u"a");
}

TEST_F(StructureWalk, ChainsThatLeadBackFailWith109) {
    MinimalFile selfLoop = makeMinimalFile();
    setLink(selfLoop.file, selfLoop.dg, 0, selfLoop.dg);
    EXPECT_EQ(read(selfLoop.file), kFailed);
    EXPECT_EQ(errors(), Lines{"109 DG Block at 0x" + hex(selfLoop.dg) + ", Field: dg_dg_next"});

    // A second, empty data group whose next link goes back to the first.
    MinimalFile backToFirst = makeMinimalFile();
    const auto second = backToFirst.file.addBlock("##DG", {backToFirst.dg, 0, 0, 0}, dgData(0));
    setLink(backToFirst.file, backToFirst.dg, 0, second);
    EXPECT_EQ(read(backToFirst.file), kFailed);
    EXPECT_EQ(errors(), Lines{"109 DG Block at 0x" + hex(second) + ", Field: dg_dg_next"});

    // A channel chain going round fails its group, which leaves the data group without one.
    MinimalFile channelLoop = makeMinimalFile();
    setLink(channelLoop.file, channelLoop.valueChannel, 0, channelLoop.timeChannel);
    EXPECT_EQ(read(channelLoop.file), kFailed);
    EXPECT_EQ(errors(),
              (Lines{"109 CN Block at 0x" + hex(channelLoop.valueChannel) + ", Field: cn_cn_next",
                     "139"}));

    MinimalFile ownMember = makeMinimalFile();
    setLink(ownMember.file, ownMember.valueChannel, 1, ownMember.valueChannel);
    EXPECT_EQ(read(ownMember.file), kFailed);
    EXPECT_EQ(errors(),
              (Lines{"109 CN Block at 0x" + hex(ownMember.valueChannel) + ", Field: cn_composition",
                     "139"}));

    MinimalFile history = makeMinimalFile();
    setLink(history.file, history.fh, 0, history.fh);
    EXPECT_EQ(read(history.file), kFailed);
    EXPECT_EQ(errors(), Lines{"109 FH Block at 0x" + hex(history.fh) + ", Field: fh_fh_next"});
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
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].position, a);
    EXPECT_EQ(table[0].refs.at(0).conversionIndex, 1);
    EXPECT_EQ(table[1].refs.at(0).conversionIndex, 0);
    EXPECT_EQ(hd().dataGroups.at(0).groups.at(0).channels.at(1).conversionIndex, 1);
}

}  // namespace
}  // namespace tarvik::test
