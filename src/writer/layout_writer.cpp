#include "writer/layout_writer.h"

#include <cstring>

#include "blocks/block_header.h"
#include "blocks/file_handle.h"
#include "blocks/file_open.h"
#include "blocks/hd_block.h"
#include "blocks/id_block.h"
#include "findings/detail_format.h"
#include "findings/findings.h"
#include "platform/clock.h"
#include "writer/event_writer.h"
#include "writer/layout_target.h"
#include "writer/record_layout.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::uint32_t kMixedAxes = 143;
constexpr std::uint32_t kNotWritten = 142;

// A look-up array takes fixed axis values on every dimension or on none.
bool axesMixed(const MF4Channel& channel) {
    if (!channel.isLookup) return false;
    int fixed = 0, other = 0;
    for (std::uint16_t d = 0; d < channel.dimensionCount && d < 3; ++d)
        (channel.axes[d] != nullptr && channel.axes[d]->axisKind == 0 ? fixed : other)++;
    return fixed != 0 && other != 0;
}

void checkChannel(const MF4Channel& channel, CommentRenderer& comments, FindingList& findings) {
    if (axesMixed(channel)) {
        const std::u16string_view name = channel.name ? std::u16string_view(channel.name) : u"";
        findings.addFileError(kMixedAxes, formatDetail(kMixedAxes, {name}));
    }
    comments.channel(channel);
    for (std::uint64_t i = 0; channel.children != nullptr && i < channel.childCount; ++i)
        checkChannel(channel.children[i], comments, findings);
}

// Everything that can keep the file from being made is found before it is created: the
// layout of every group, the array axes and every comment.
bool prepare(const MF4Content& content, WriteSession& session, CommentRenderer& comments, FindingList& findings) {
    session.groups.clear();
    session.groups.resize(content.groups ? content.groupCount : 0);
    session.channels.assign(content.channels ? content.channelCount : 0, ChannelSlot{});
    for (std::uint64_t g = 0; g < session.groups.size(); ++g) {
        layOutGroup(content, g, session.groups[g], session.channels);
        comments.group(content.groups[g]);
        comments.groupSource(content.groups[g]);
        comments.master(content.groups[g]);
    }
    for (std::uint64_t i = 0; i < session.channels.size(); ++i) checkChannel(content.channels[i], comments, findings);
    comments.header(content);
    comments.libraryHistory(content, content.historyComment);
    for (std::uint64_t i = 0; content.conversions && i < content.conversionCount; ++i)
        comments.conversion(content.conversions[i]);
    for (std::uint64_t i = 0; content.attachments && i < content.attachmentCount; ++i)
        comments.attachment(content.attachments[i]);
    for (std::uint64_t i = 0; content.events && i < content.eventCount; ++i) comments.event(content.events[i]);
    return !findings.hasErrors();
}

// Start time and time zone of the header, by the tree's time kind.
void setStartTime(const MF4Content& content, HdRecord& header) {
    header.hd_start_time_ns = content.startTimeNs;
    switch (content.timeKind) {
    case 0: {
        const platform::TimeZoneOffsets zone = platform::timeZoneOffsets(content.startTimeNs);
        header.hd_tz_offset_min = zone.tzOffsetMin;
        header.hd_dst_offset_min = zone.dstOffsetMin;
        header.hd_time_flags = 2;
        break;
    }
    case 1:
        header.hd_tz_offset_min = content.tzOffsetMin;
        header.hd_dst_offset_min = content.dstOffsetMin;
        header.hd_time_flags = 2;
        break;
    case 3:
        header.hd_time_flags = 1;
        break;
    default:
        break;
    }
}

// Texts that look like XML go into MD blocks, others into TX blocks.
BlockKind textKindOf(std::u16string_view text) {
    const std::size_t start = text.find_first_not_of(u" \t\r\n");
    return start != std::u16string_view::npos && text[start] == u'<' ? BlockKind::MD : BlockKind::TX;
}

}  // namespace

int writeLibraryHistoryEntry(ZtCMF4Stream& stream, const std::u16string& comment, FhRecord& record) {
    if (writeTextBlock(stream, BlockKind::MD, comment, record.fh_md_comment) != kOk) return kFailed;
    record.fh_time_ns = platform::systemTimeNs();
    const platform::TimeZoneOffsets zone = platform::timeZoneOffsets(record.fh_time_ns);
    record.fh_tz_offset_min = zone.tzOffsetMin;
    record.fh_dst_offset_min = zone.dstOffsetMin;
    record.fh_time_flags = 2;
    ZtCFHBlock block(record);
    return writeBlock(stream, block, record, "##FH");
}

int writeHistory(LayoutTarget& target, std::int64_t& first) {
    const MF4Content& content = *target.session.content;
    ZtCMF4Stream& stream = target.stream;
    const std::uint64_t hostEntries = content.history ? content.historyCount : 0;
    std::int64_t next = 0;
    // The library's own entry closes the list, so it is written first.
    for (std::uint64_t i = hostEntries + 1; i-- > 0;) {
        FhRecord record;
        record.fh_fh_next = next;
        if (i == hostEntries) {
            const std::optional<std::u16string> comment = target.comments.libraryHistory(content, content.historyComment);
            if (!comment || writeLibraryHistoryEntry(stream, *comment, record) != kOk) return kFailed;
            target.keepComment(kHistoryComment, record.position, 1, *comment, [&content](CommentRenderer& r) {
                return r.libraryHistory(content, content.historyComment);
            });
        } else {
            const MF4HistoryEntry& entry = content.history[i];
            if (!isEmptyText(entry.comment) &&
                writeTextBlock(stream, textKindOf(entry.comment), entry.comment, record.fh_md_comment) != kOk)
                return kFailed;
            record.fh_time_ns = entry.timeNs;
            record.fh_tz_offset_min = entry.tzOffsetMin;
            record.fh_dst_offset_min = entry.dstOffsetMin;
            record.fh_time_flags = entry.timeFlags;
            ZtCFHBlock block(record);
            if (writeBlock(stream, block, record, "##FH") != kOk) return kFailed;
        }
        next = record.position;
    }
    first = next;
    return kOk;
}

namespace {

int writeLayout(LayoutTarget& target, HdRecord& header) {
    const MF4Content& content = *target.session.content;
    ZtCMF4Stream& stream = target.stream;
    // The header block is written last, over a placeholder of its size.
    const std::uint8_t placeholder[ZtCHDBlock::kSize] = {};
    if (writeIdBlock(stream, target.session.version, content.programId) != kOk ||
        stream.writeBytes(placeholder, sizeof placeholder) != kOk)
        return kFailed;
    if (writeHistory(target, header.hd_fh_first) != kOk || writeConversions(target) != kOk ||
        writeAttachments(target, header.hd_at_first) != kOk || writeDataGroups(target, header.hd_dg_first) != kOk)
        return kFailed;
    if (appendEvents(stream, target.session, target.comments, content.events, content.events ? content.eventCount : 0) != kOk)
        return kFailed;

    const std::optional<std::u16string> comment = target.comments.header(content);
    if (!comment || stream.seekEnd() != kOk || target.comment(*comment, header.hd_md_comment) != kOk) return kFailed;
    target.keepComment(kHeaderComment, kHeaderBlockPosition, 5, *comment,
                       [&content](CommentRenderer& r) { return r.header(content); });
    const std::uint8_t zeros[kTrailingZeros] = {};
    if (stream.writeBytes(zeros, sizeof zeros) != kOk) return kFailed;

    setStartTime(content, header);
    header.hd_ev_first = target.session.events.firstEvent;
    if (stream.seekWrite(kHeaderBlockPosition) != kOk) return kFailed;
    ZtCHDBlock block(header);
    return writeBlock(stream, block, header, "##HD");
}

}  // namespace

std::uint16_t writtenVersion(const MF4Content& content) { return content.formatVersion == 400 ? 400 : 410; }

int writeContentFile(ZtIFileHandle& file, WriteSession& session, XmlCallContext& xml, FindingList& findings) {
    const MF4Content& content = *session.content;
    session.version = writtenVersion(content);
    CommentRenderer comments(xml, session.version, findings);
    if (!prepare(content, session, comments, findings)) return kFailed;

    ZtCMF4Stream stream(&file);
    if (openForWriting(stream, OpenMode::Create, findings) != kOk) return kFailed;
    HdRecord header;
    LayoutTarget target{stream, session, comments, findings, file.GetFilePath()};
    const int status = writeLayout(target, header);
    const bool written = status == kOk && stream.flush() == kOk;
    stream.close();
    if (!written && !findings.hasErrors()) findings.addFileError(kNotWritten);
    return written ? kOk : kFailed;
}

}  // namespace tarvik
