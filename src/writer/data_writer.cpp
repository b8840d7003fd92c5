#include "writer/data_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "blocks/block_header.h"
#include "blocks/stream.h"
#include "content/value_type.h"
#include "findings/findings.h"
#include "platform/text.h"
#include "writer/data_chain.h"
#include "writer/event_writer.h"
#include "writer/reduction_layout.h"
#include "writer/record_layout.h"
#include "writer/value_packer.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::uint32_t kBlockNotWritten = 142;
constexpr std::uint32_t kNoRecordBuffer = 144;
constexpr std::int64_t kCycleCountOffset = 80;  // in a CG block
constexpr std::uint32_t kRangeValidFlag = 1u << 3;

// The channel slot an item writes: the top-level channel, or the member its path leads to.
const ChannelSlot* slotOf(const WriteSession& session, const MF4WriteChannel& item) {
    if (item.channel >= session.channels.size()) return nullptr;
    const ChannelSlot* slot = &session.channels[item.channel];
    if (slot->channel == nullptr) return nullptr;  // a channel of a group the file does not have
    for (std::uint64_t step = 0; step < item.memberCount; ++step) {
        if (item.memberPath == nullptr || item.memberPath[step] >= slot->members.size()) return nullptr;
        slot = &slot->members[item.memberPath[step]];
    }
    return slot;
}

ChannelSlot* slotOf(WriteSession& session, const MF4WriteChannel& item) {
    return const_cast<ChannelSlot*>(slotOf(std::as_const(session), item));
}

// The group item of the request that writes group `group`, or null.
const MF4WriteGroup* activeGroupItem(const MF4WriteRequest& request, std::uint64_t group) {
    for (std::uint64_t i = 0; request.groups != nullptr && i < request.groupCount; ++i)
        if (request.groups[i].group == group && request.groups[i].valueCount != 0) return &request.groups[i];
    return nullptr;
}

bool valuesFit(const ChannelSlot& slot, const MF4WriteChannel& item, std::uint64_t records) {
    if (item.values == nullptr) return false;
    if (slot.variableLength()) {
        if (item.valueType == kVtRecord) return slot.valueType == kVtRecord && item.lengths != nullptr;
        return item.valueType == slot.valueType;
    }
    const bool rawBytes = item.valueType == kVtRecord && slot.bitCount % 8 == 0;
    if (!rawBytes && (item.valueType != slot.valueType || slot.valueType == kVtRecord)) return false;
    // The count is given per record or per value; both mean the same for a scalar.
    return item.valueCount == records || item.valueCount == records * slot.elements;
}

std::uint32_t pointerLengthBytes(const void* text, std::uint32_t valueType) {
    if (text == nullptr) return valueType == kVtLpWStr ? 2 : 1;
    if (valueType == kVtLpWStr)
        return static_cast<std::uint32_t>((platform::textLength(static_cast<const char16_t*>(text)) + 1) * 2);
    return static_cast<std::uint32_t>(std::strlen(static_cast<const char*>(text)) + 1);
}

// Records are packed and written a tile at a time: a tile small enough to stay in the cache
// between packing and the system's copy into the file, large enough that a write call moves a
// good piece at once.
constexpr std::uint64_t kTileBytes = 1024 * 1024;

// One field the records of a batch receive: the channel slot, the kind of its values and where
// they start.
struct FieldSource {
    ChannelSlot* slot;
    std::uint32_t valueType;  // numeric kind, kVtRecord for raw bytes, kVtUI8 for SD positions
    const std::uint8_t* values;
    std::uint64_t bytesPerRecord;
    bool tracksRange;
    bool copiedInRows = false;  // packed by packRows with the other whole fields of its width
};

class BatchWriter {
public:
    BatchWriter(ZtCMF4Stream& stream, WriteSession& session, FindingList& findings)
        : stream_(stream), session_(session), findings_(findings) {}

    int write(const MF4WriteRequest& request, const MF4WriteGroup& item) {
        GroupSlot& group = session_.groups[item.group];
        const std::uint64_t count = item.valueCount;
        // Where the group stood before this batch, for an interruption at its first record.
        const bool hadData = group.records.blockCount != 0;
        const double previousLast = group.master.rangeValid ? group.master.rangeMax : 0.0;

        fields_.clear();
        addNumbers(group.master, item.valueType, item.values);
        // The period of the reduction comes from the group's first records.
        const bool firstReduced = group.withReduction && !group.reduction;
        if (firstReduced) group.reduction = std::make_unique<ReductionEngine>(reductionLayout(group, session_));
        if (planChannels(request, item.group, count) != kOk || !makeTile(group, count)) return failed();
        if (writeRecords(group, count, firstReduced) != kOk) return failed();
        group.cycleCount = group.records.blockCount == 1 ? count : group.cycleCount + count;
        if (stream_.writeAt(static_cast<std::uint64_t>(group.channelGroupPosition + kCycleCountOffset), group.cycleCount) != kOk)
            return failed();
        for (const FieldSource& field : fields_)
            if (field.slot->rangeChanged && rewriteRange(*field.slot) != kOk) return failed();
        if (writeInterruptions(group, item, hadData, previousLast) != kOk) return failed();
        if (group.reduction && group.reduction->writeFullLevels(stream_) != kOk) return failed();
        return kOk;
    }

private:
    int failed() {
        if (!findings_.hasErrors()) findings_.addFileError(kBlockNotWritten);
        return kFailed;
    }

    void addNumbers(ChannelSlot& slot, std::uint32_t valueType, const void* values) {
        const std::uint64_t bytes = std::uint64_t{valueTypeBits(valueType) / 8} * slot.elements;
        fields_.push_back({&slot, valueType, static_cast<const std::uint8_t*>(values), bytes, true});
    }

    // The request's channel items of group `group`, in request order. Variable-length values go
    // to the file now, into SD blocks of their own, so that every record written later points
    // at values already there.
    int planChannels(const MF4WriteRequest& request, std::uint64_t group, std::uint64_t count) {
        std::size_t signalItems = 0;
        for (std::uint64_t i = 0; request.channels != nullptr && i < request.channelCount; ++i) {
            const MF4WriteChannel& item = request.channels[i];
            ChannelSlot* slot = slotOf(session_, item);
            if (slot == nullptr || session_.channels[item.channel].channel->groupIndex != group) continue;
            if (slot->variableLength()) {
                if (signalItems == session_.signalPositions.size()) session_.signalPositions.emplace_back();
                std::vector<std::uint64_t>& positions = session_.signalPositions[signalItems++];
                if (writeSignalData(*slot, item, count, positions) != kOk) return kFailed;
                fields_.push_back({slot, kVtUI8, reinterpret_cast<const std::uint8_t*>(positions.data()), 8, false});
            } else if (item.valueType == kVtRecord) {
                fields_.push_back({slot, kVtRecord, static_cast<const std::uint8_t*>(item.values),
                                   std::uint64_t{slot->bitCount / 8} * slot->elements, false});
            } else {
                addNumbers(*slot, item.valueType, item.values);
            }
        }
        return kOk;
    }

    // The tile buffer, reused by every batch.
    bool makeTile(const GroupSlot& group, std::uint64_t count) {
        const std::uint64_t stride = std::max<std::uint64_t>(group.dataBytes, 1);
        tileRecords_ = std::clamp<std::uint64_t>(kTileBytes / stride, 1, std::max<std::uint64_t>(count, 1));
        try {
            if (tileRecords_ > SIZE_MAX / stride) throw std::bad_alloc();
            if (session_.recordBuffer.size() < tileRecords_ * stride) session_.recordBuffer.resize(tileRecords_ * stride);
        } catch (const std::bad_alloc&) {
            findings_.addFileError(kNoRecordBuffer);
            return false;
        }
        return true;
    }

    // The DT block: its header, then the records tile by tile, then its link. Each tile also
    // feeds the group's reduction; the rows it yields are written once the block is whole.
    int writeRecords(GroupSlot& group, std::uint64_t count, bool firstReduced) {
        const std::uint64_t length = count * group.dataBytes;
        const std::int64_t position = beginDataBlock(stream_, "##DT", length);
        if (position < 0) return kFailed;
        const bool zeroFirst = !fillsEveryByte(group.dataBytes);
        planRows();
        for (std::uint64_t first = 0; first < count; first += tileRecords_) {
            const RecordBatch tile{session_.recordBuffer.data(), std::min(tileRecords_, count - first), group.dataBytes};
            if (zeroFirst) std::memset(tile.bytes, 0, tile.count * tile.stride);
            packRows<1>(rows_[0], first, tile);
            packRows<2>(rows_[1], first, tile);
            packRows<4>(rows_[2], first, tile);
            packRows<8>(rows_[3], first, tile);
            for (const FieldSource& field : fields_) pack(field, first, tile);
            const std::uint64_t at = static_cast<std::uint64_t>(position) + kBlockHeaderSize + first * tile.stride;
            // The tile is still in the cache: reduce it before the system's copy pushes it out.
            if (group.reduction) {
                if (firstReduced && first == 0) group.reduction->estimatePeriod(tile.bytes, tile.count);
                group.reduction->feed(tile.bytes, tile.count);
            }
            if (stream_.writeBytesAt(at, tile.bytes, tile.count * tile.stride) != kOk) return kFailed;
        }
        return linkDataBlock(stream_, group.records, position, length);
    }

    // True when the fields overwrite every byte of a record whole, so a tile need not be zeroed
    // first: no gaps, no bit fields.
    bool fillsEveryByte(std::uint32_t dataBytes) {
        covered_.assign(dataBytes, 0);
        for (const FieldSource& field : fields_) {
            const ChannelSlot& slot = *field.slot;
            const std::uint64_t width = field.valueType == kVtRecord ? slot.bitCount / 8 * 8 : valueTypeBits(field.valueType);
            if (slot.bitOffset != 0 || slot.bitCount != width || field.bytesPerRecord == 0) return false;
            const std::uint64_t end = std::min<std::uint64_t>(slot.byteOffset + field.bytesPerRecord, dataBytes);
            for (std::uint64_t b = slot.byteOffset; b < end; ++b) covered_[b] = 1;
        }
        return std::find(covered_.begin(), covered_.end(), 0) == covered_.end();
    }

    // The fields that hold one value per record, as wide as its type and starting on a byte, go
    // into the row copies of their width.
    void planRows() {
        for (std::vector<RowCopy>& row : rows_) row.clear();
        for (FieldSource& field : fields_) {
            const std::uint32_t width = valueTypeBits(field.valueType) / 8;
            const ChannelSlot& slot = *field.slot;
            field.copiedInRows = width != 0 && slot.elements == 1 && slot.bitOffset == 0 && slot.bitCount / 8 == width;
            if (field.copiedInRows) rows_[std::countr_zero(width)].push_back({slot.byteOffset, field.values});
        }
    }

    // Records first .. first + tile.count - 1 of one field (its range too, for numbers).
    static void pack(const FieldSource& field, std::uint64_t first, RecordBatch tile) {
        const std::uint8_t* values = field.values + first * field.bytesPerRecord;
        if (field.valueType == kVtRecord) {
            packBytes(*field.slot, values, field.slot->bitCount / 8, tile);
            return;
        }
        withNumericKind(field.valueType, [&](auto kind) {
            using T = decltype(kind);
            const T* typed = reinterpret_cast<const T*>(values);
            if (!field.copiedInRows) packNumbers(*field.slot, typed, tile);
            if (field.tracksRange) widenRange(*field.slot, typed, tile.count * field.slot->elements);
        });
    }

    // One pair of events per interruption index: from the master value before it (at index 0
    // the largest written before the batch) to the master value at it. An interruption before
    // anything was written interrupts nothing.
    int writeInterruptions(GroupSlot& group, const MF4WriteGroup& item, bool hadData, double previousLast) {
        std::vector<std::pair<double, double>> times;
        for (std::uint64_t i = 0; item.interruptions != nullptr && i < item.interruptionCount; ++i) {
            const std::uint64_t k = item.interruptions[i];
            if (k >= item.valueCount || (k == 0 && !hadData && !group.hasInterruptions)) continue;
            const double begin = k == 0 ? previousLast : numberAt(item.values, item.valueType, k - 1);
            times.emplace_back(eventTime(group, begin), eventTime(group, numberAt(item.values, item.valueType, k)));
        }
        if (times.empty()) return kOk;
        group.hasInterruptions = true;
        return insertInterruptions(stream_, session_, group.channelGroupPosition, times);
    }

    // Interruptions are timed in raw master values, or in time when the group is reduced.
    static double eventTime(const GroupSlot& group, double raw) {
        return group.reduction ? group.reduction->timeOf(raw) : raw;
    }

    // The values of a variable-length channel as one SD block; `positions` receives each
    // value's position in the channel's signal data, for the records.
    int writeSignalData(ChannelSlot& slot, const MF4WriteChannel& item, std::uint64_t count,
                        std::vector<std::uint64_t>& positions) {
        std::vector<std::uint8_t>& entries = session_.signalBuffer;
        entries.clear();
        positions.resize(count);
        const std::uint8_t* bytes = static_cast<const std::uint8_t*>(item.values);
        const auto* lengths = static_cast<const std::uint64_t*>(item.lengths);
        for (std::uint64_t r = 0; r < count; ++r) {
            positions[r] = slot.signalData.dataLength + entries.size();
            const void* value;
            std::uint32_t length;
            if (item.valueType == kVtRecord) {
                value = bytes;
                length = static_cast<std::uint32_t>(lengths[r]);
                bytes += lengths[r];
            } else {
                value = static_cast<const void* const*>(item.values)[r];
                length = pointerLengthBytes(value, item.valueType);
            }
            const std::size_t at = entries.size();
            entries.resize(at + 4 + length, 0);
            std::memcpy(entries.data() + at, &length, 4);
            if (value != nullptr) std::memcpy(entries.data() + at + 4, value, length);
        }
        return appendDataBlock(stream_, slot.signalData, "##SD", entries.data(), entries.size());
    }

    int rewriteRange(ChannelSlot& slot) {
        const std::uint64_t data = static_cast<std::uint64_t>(slot.position) + 24 + 8 * slot.linkCount;
        slot.flags |= kRangeValidFlag;
        if (stream_.writeAt(data + 12, slot.flags) != kOk || stream_.writeAt(data + 24, slot.rangeMin) != kOk ||
            stream_.writeAt(data + 32, slot.rangeMax) != kOk)
            return kFailed;
        slot.rangeChanged = false;
        return kOk;
    }

    ZtCMF4Stream& stream_;
    WriteSession& session_;
    FindingList& findings_;
    std::vector<FieldSource> fields_;
    std::vector<std::uint8_t> covered_;
    std::vector<RowCopy> rows_[4];  // by width: 1, 2, 4 and 8 bytes
    std::uint64_t tileRecords_ = 1;
};

}  // namespace

bool isWritableRequest(const WriteSession& session, const MF4WriteRequest& request) {
    if ((request.groupCount != 0 && request.groups == nullptr) || (request.channelCount != 0 && request.channels == nullptr) ||
        (request.eventCount != 0 && request.events == nullptr))
        return false;
    for (std::uint64_t i = 0; i < request.groupCount; ++i) {
        const MF4WriteGroup& item = request.groups[i];
        if (item.valueCount == 0) continue;
        if (item.group >= session.groups.size() || item.values == nullptr ||
            item.valueType != session.groups[item.group].master.valueType ||
            (item.interruptionCount != 0 && item.interruptions == nullptr))
            return false;
    }
    for (std::uint64_t i = 0; i < request.channelCount; ++i) {
        const MF4WriteChannel& item = request.channels[i];
        const ChannelSlot* slot = slotOf(session, item);
        if (slot == nullptr) return false;
        const MF4WriteGroup* group = activeGroupItem(request, session.channels[item.channel].channel->groupIndex);
        if (group != nullptr && !valuesFit(*slot, item, group->valueCount)) return false;
    }
    return true;
}

int writeBatches(ZtCMF4Stream& stream, WriteSession& session, const MF4WriteRequest& request, FindingList& findings) {
    BatchWriter writer(stream, session, findings);
    for (std::uint64_t i = 0; request.groups != nullptr && i < request.groupCount; ++i)
        if (request.groups[i].valueCount != 0 && writer.write(request, request.groups[i]) != kOk) return kFailed;
    return kOk;
}

}  // namespace tarvik
