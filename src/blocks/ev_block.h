// The event block (EV): markers, triggers and acquisition interruptions of a measurement.
// Acquisition interruptions come as pairs of range events and are kept as intervals.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "blocks/block.h"
#include "blocks/block_header.h"
#include "blocks/ca_block.h"
#include "blocks/text_block.h"

namespace tarvik {

class ZtCReadContext;
struct DgRecord;

inline constexpr std::uint8_t kEvAcquisitionInterrupt = 2;
inline constexpr std::uint8_t kEvMarker = 6;
inline constexpr std::uint8_t kEvRangeBegin = 1;
inline constexpr std::uint8_t kEvRangeEnd = 2;
// File offset of hd_ev_first: where a new first event is linked in.
inline constexpr std::int64_t kHeaderEventLinkOffset = 120;

struct EvRecord : BlockRecord {
    std::int64_t ev_ev_next = 0;
    std::int64_t ev_ev_parent = 0;
    std::int64_t ev_ev_range = 0;
    std::int64_t ev_tx_name = 0;
    std::int64_t ev_md_comment = 0;
    std::vector<std::int64_t> ev_scope;          // CG or CN blocks
    std::vector<std::int64_t> ev_at_reference;
    std::uint8_t ev_type = 0;
    std::uint8_t ev_sync_type = 0;
    std::uint8_t ev_range_type = 0;              // 0 point, 1 range begin, 2 range end
    std::uint8_t ev_cause = 0;
    std::uint8_t ev_flags = 0;
    std::uint8_t ev_reserved[3] = {};
    std::uint32_t ev_scope_count = 0;
    std::uint16_t ev_attachment_count = 0;
    std::uint16_t ev_creator_index = 0;
    std::int64_t ev_sync_base_value = 0;
    double ev_sync_factor = 0;

    std::optional<std::u16string> name;
    TextRef comment;
    std::uint32_t scopeKind = 0;                 // 0 none, 1 channel groups, 2 channels
    std::vector<ChannelRef> scopeTargets;        // one per scope link
    bool linksIncomplete = false;                // a scope or attachment link could not be read
};

template <typename Fields, typename Record>
void evDataFields(Fields& fields, Record& r) {
    fields(r.ev_type);
    fields(r.ev_sync_type);
    fields(r.ev_range_type);
    fields(r.ev_cause);
    fields(r.ev_flags);
    fields.bytes(r.ev_reserved, sizeof r.ev_reserved);
    fields(r.ev_scope_count);
    fields(r.ev_attachment_count);
    fields(r.ev_creator_index);
    fields(r.ev_sync_base_value);
    fields(r.ev_sync_factor);
}

// One acquisition interruption: the event that begins it and the one that ends it.
struct AcqIntervalRecord {
    EvRecord begin;
    EvRecord end;
};

// The events of a file as the readers use them.
struct EventChain {
    std::vector<EvRecord> events;                  // types 0, 1, 3, 4, 5, 6 in chain order
    std::vector<AcqIntervalRecord> intervals;      // in the order of their range ends
    // Every block of the chain, whatever its type, in chain order: an edit of the chain needs
    // to know which link points at which block.
    std::vector<std::int64_t> chainOrder;
};

class ZtCEVBlock final : public ZtCMF4Block {
public:
    explicit ZtCEVBlock(EvRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override {
        return 5 + std::uint64_t{record_.ev_scope_count} + record_.ev_attachment_count;
    }
    std::uint64_t blockSize() const override { return linkCount() * 8 + 56; }
    void release() override { record_ = EvRecord{}; }
    int write(ZtCMF4Stream& stream) override;

private:
    EvRecord& record_;
};

class ZtCAcqIntEVBlock final : public ZtCMF4Block {
public:
    explicit ZtCAcqIntEVBlock(AcqIntervalRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return 0; }
    std::uint64_t blockSize() const override { return 0; }
    void release() override {
        ZtCEVBlock(record_.begin).release();
        ZtCEVBlock(record_.end).release();
    }

private:
    AcqIntervalRecord& record_;
};

// Reads the EV chain from `first`: plain events, acquisition intervals paired by ev_ev_range,
// and the bookmark link offset. Scope links are resolved against `dataGroups`. kOk or kFailed.
int readEvents(ZtCReadContext& context, std::int64_t first, const std::vector<DgRecord>& dataGroups,
               EventChain& chain);

}  // namespace tarvik
