// The header block (HD): start time and time zone of the measurement and the heads of every
// list of the file.
#pragma once

#include <cstdint>

#include "blocks/block.h"
#include "blocks/block_header.h"
#include "blocks/text_block.h"

namespace tarvik {

inline constexpr std::int64_t kHeaderBlockPosition = 64;

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
};

class ZtCHDBlock final : public ZtCMF4Block {
public:
    static constexpr std::uint64_t kLinks = 6;
    static constexpr std::uint64_t kSize = kLinks * 8 + 56;

    explicit ZtCHDBlock(HdRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return kLinks; }
    std::uint64_t blockSize() const override { return kSize; }
    void release() override { record_.comment = TextRef{}; }

private:
    HdRecord& record_;
};

}  // namespace tarvik
