#include "writer/data_writer.h"

#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "blocks/stream.h"
#include "content/value_type.h"
#include "findings/findings.h"
#include "writer/data_chain.h"
#include "writer/event_writer.h"
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
    if (valueType == kVtLpWStr) {
        const char16_t* wide = static_cast<const char16_t*>(text);
        std::size_t n = 0;
        while (wide[n] != 0) ++n;
        return static_cast<std::uint32_t>((n + 1) * 2);
    }
    return static_cast<std::uint32_t>(std::strlen(static_cast<const char*>(text)) + 1);
}

class BatchWriter {
public:
    BatchWriter(ZtCMF4Stream& stream, WriteSession& session, FindingList& findings)
        : stream_(stream), session_(session), findings_(findings) {}

    int write(const MF4WriteRequest& request, const MF4WriteGroup& item) {
        GroupSlot& group = session_.groups[item.group];
        const std::uint64_t count = item.valueCount;
        if (!makeRecords(group, count)) return kFailed;
        // Where the group stood before this batch, for an interruption at its first record.
        const bool hadData = group.records.blockCount != 0;
        const double previousLast = group.master.rangeValid ? group.master.rangeMax : 0.0;

        touched_.clear();
        packChannel(group.master, item.valueType, item.values);
        if (packChannels(request, item.group) != kOk) return failed();
        if (appendDataBlock(stream_, group.records, "##DT", batch_.bytes, count * group.dataBytes) != kOk)
            return failed();
        group.cycleCount = group.records.blockCount == 1 ? count : group.cycleCount + count;
        if (stream_.writeAt(static_cast<std::uint64_t>(group.channelGroupPosition + kCycleCountOffset), group.cycleCount) != kOk)
            return failed();
        for (ChannelSlot* slot : touched_)
            if (slot->rangeChanged && rewriteRange(*slot) != kOk) return failed();
        if (writeInterruptions(group, item, hadData, previousLast) != kOk) return failed();
        return kOk;
    }

private:
    int failed() {
        if (!findings_.hasErrors()) findings_.addFileError(kBlockNotWritten);
        return kFailed;
    }

    // The request's channel items of group `group`, in request order; variable-length values
    // go to the file at once, into SD blocks of their own.
    int packChannels(const MF4WriteRequest& request, std::uint64_t group) {
        for (std::uint64_t i = 0; request.channels != nullptr && i < request.channelCount; ++i) {
            const MF4WriteChannel& item = request.channels[i];
            ChannelSlot* slot = slotOf(session_, item);
            if (slot == nullptr || session_.channels[item.channel].channel->groupIndex != group) continue;
            if (slot->variableLength()) {
                if (writeSignalData(*slot, item) != kOk) return kFailed;
            } else if (item.valueType == kVtRecord) {
                packBytes(*slot, static_cast<const std::uint8_t*>(item.values), slot->bitCount / 8, batch_);
            } else {
                packChannel(*slot, item.valueType, item.values);
            }
        }
        return kOk;
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
            times.emplace_back(begin, numberAt(item.values, item.valueType, k));
        }
        if (times.empty()) return kOk;
        group.hasInterruptions = true;
        return insertInterruptions(stream_, session_, group.channelGroupPosition, times);
    }

    // The batch's records, zero-filled, in the buffer every batch reuses.
    bool makeRecords(const GroupSlot& group, std::uint64_t count) {
        std::vector<std::uint8_t>& buffer = session_.recordBuffer;
        const std::uint64_t bytes = count * group.dataBytes;
        try {
            if (group.dataBytes != 0 && count > SIZE_MAX / group.dataBytes) throw std::bad_alloc();
            if (buffer.size() < bytes) buffer.resize(bytes);
        } catch (const std::bad_alloc&) {
            findings_.addFileError(kNoRecordBuffer);
            return false;
        }
        std::memset(buffer.data(), 0, bytes);
        batch_ = {buffer.data(), count, group.dataBytes};
        return true;
    }

    void packChannel(ChannelSlot& slot, std::uint32_t valueType, const void* values) {
        withNumericKind(valueType, [&](auto kind) {
            using T = decltype(kind);
            packNumbers(slot, static_cast<const T*>(values), batch_);
        });
        touched_.push_back(&slot);
    }

    // The values of a variable-length channel go into an SD block of their own, written before
    // the records that point into it; each record receives its value's position in the chain.
    int writeSignalData(ChannelSlot& slot, const MF4WriteChannel& item) {
        std::vector<std::uint8_t>& entries = session_.signalBuffer;
        entries.clear();
        const std::uint8_t* bytes = static_cast<const std::uint8_t*>(item.values);
        const auto* lengths = static_cast<const std::uint64_t*>(item.lengths);
        std::uint8_t* record = batch_.bytes + slot.byteOffset;
        for (std::uint64_t r = 0; r < batch_.count; ++r, record += batch_.stride) {
            const std::uint64_t offset = slot.signalData.dataLength + entries.size();
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
            if (slot.bitOffset == 0 && slot.bitCount == 64) std::memcpy(record, &offset, 8);
            else insertBits(record, slot.bitOffset, slot.bitCount, offset);
        }
        return appendDataBlock(stream_, slot.signalData, "##SD", entries.data(), entries.size());
    }

    int rewriteRange(ChannelSlot& slot) {
        const std::uint64_t data = static_cast<std::uint64_t>(slot.position) + 24 + 8 * slot.linkCount;
        slot.flags |= kRangeValidFlag;
        if (stream_.writeAt(data + 12, slot.flags) != kOk || stream_.writeAt(data + 24, slot.rangeMin) != kOk ||
            stream_.write(slot.rangeMax) != kOk)
            return kFailed;
        slot.rangeChanged = false;
        return kOk;
    }

    ZtCMF4Stream& stream_;
    WriteSession& session_;
    FindingList& findings_;
    RecordBatch batch_;
    std::vector<ChannelSlot*> touched_;
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
