// The header block (HD): start time and time zone of the measurement, and the heads of every
// list of the file, with everything read from them.
#pragma once

#include <cstdint>
#include <vector>

#include "blocks/at_block.h"
#include "blocks/block.h"
#include "blocks/block_header.h"
#include "blocks/cc_block.h"
#include "blocks/dg_block.h"
#include "blocks/ev_block.h"
#include "blocks/fh_block.h"
#include "blocks/text_block.h"

namespace tarvik {

class ZtCReadContext;

inline constexpr std::int64_t kHeaderBlockPosition = 64;
// File offsets of two links of the header block that changes in place rewrite.
inline constexpr std::int64_t kHeaderHistoryLinkOffset = 96;   // hd_fh_first
inline constexpr std::int64_t kHeaderCommentLinkOffset = 128;  // hd_md_comment

struct HdRecord : BlockRecord {
    std::int64_t hd_dg_first = 0;
    std::int64_t hd_fh_first = 0;
    std::int64_t hd_ch_first = 0;
    std::int64_t hd_at_first = 0;
    std::int64_t hd_ev_first = 0;
    std::int64_t hd_md_comment = 0;
    std::uint64_t hd_start_time_ns = 0;
    std::int16_t hd_tz_offset_min = 0;
    std::int16_t hd_dst_offset_min = 0;
    std::uint8_t hd_time_flags = 0;  // bit 1: the two offsets are valid
    std::uint8_t hd_time_class = 0;
    std::uint8_t hd_flags = 0;
    std::uint8_t hd_reserved = 0;
    double hd_start_angle_rad = 0;
    double hd_start_distance_m = 0;

    TextRef comment;
    std::vector<FhRecord> history;        // chain order
    std::vector<DgRecord> dataGroups;     // the data groups kept
    std::vector<CcRecord> conversions;    // the file's conversion table
    std::vector<AtRecord> attachments;    // chain order
    EventChain events;                    // plain events, acquisition intervals, bookmark link
};

template <typename Fields, typename Record>
void hdLinks(Fields& fields, Record& r) {
    fields(r.hd_dg_first);
    fields(r.hd_fh_first);
    fields(r.hd_ch_first);
    fields(r.hd_at_first);
    fields(r.hd_ev_first);
    fields(r.hd_md_comment);
}

template <typename Fields, typename Record>
void hdDataFields(Fields& fields, Record& r) {
    fields(r.hd_start_time_ns);
    fields(r.hd_tz_offset_min);
    fields(r.hd_dst_offset_min);
    fields(r.hd_time_flags);
    fields(r.hd_time_class);
    fields(r.hd_flags);
    fields(r.hd_reserved);
    fields(r.hd_start_angle_rad);
    fields(r.hd_start_distance_m);
}

class ZtCHDBlock final : public ZtCMF4Block {
public:
    static constexpr std::uint64_t kLinks = 6;
    static constexpr std::uint64_t kSize = kLinks * 8 + 56;

    explicit ZtCHDBlock(HdRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return kLinks; }
    std::uint64_t blockSize() const override { return kSize; }
    void release() override { record_ = HdRecord{}; }
    int write(ZtCMF4Stream& stream) override;

private:
    HdRecord& record_;
};

// Reads the HD block and, through it, the whole block graph: attachments, data groups, the
// conversion table, the file history and (unless the context's options skip them) the events;
// then numbers the hierarchy, resolves array references and reads the HD comment. kOk or
// kFailed (the read stops at the first failing list).
int readHeaderBlock(ZtCReadContext& context, HdRecord& record);

// Gives every data group, channel group and channel its index.
void numberHierarchy(HdRecord& record);

}  // namespace tarvik
