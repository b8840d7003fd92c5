// The file history block (FH): when and by which tool a file was written or changed.
#pragma once

#include <cstdint>
#include <vector>

#include "blocks/block.h"
#include "blocks/block_header.h"
#include "blocks/text_block.h"

namespace tarvik {

class ZtCReadContext;

struct FhRecord : BlockRecord {
    std::int64_t fh_fh_next = 0;
    std::int64_t fh_md_comment = 0;
    std::uint64_t fh_time_ns = 0;
    std::int16_t fh_tz_offset_min = 0;
    std::int16_t fh_dst_offset_min = 0;
    std::uint8_t fh_time_flags = 0;  // bit 1: the offsets are valid
    std::uint8_t fh_reserved[3] = {};

    TextRef comment;
};

template <typename Fields, typename Record>
void fhFields(Fields& fields, Record& r) {
    fields(r.fh_fh_next);
    fields(r.fh_md_comment);
    fields(r.fh_time_ns);
    fields(r.fh_tz_offset_min);
    fields(r.fh_dst_offset_min);
    fields(r.fh_time_flags);
    fields.bytes(r.fh_reserved, sizeof r.fh_reserved);
}

class ZtCFHBlock final : public ZtCMF4Block {
public:
    static constexpr std::uint64_t kLinks = 2;
    static constexpr std::uint64_t kSize = kLinks * 8 + 40;
    explicit ZtCFHBlock(FhRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return kLinks; }
    std::uint64_t blockSize() const override { return kSize; }
    void release() override { record_.comment = TextRef{}; }
    int write(ZtCMF4Stream& stream) override;

private:
    FhRecord& record_;
};

// Reads the FH chain from `first`; the first failure ends it with kFailed.
int readFileHistory(ZtCReadContext& context, std::int64_t first, std::vector<FhRecord>& history);

}  // namespace tarvik
