// The channel group block (CG): the record layout of a data group, its channels, acquisition
// name and source, and its sample reductions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "blocks/block.h"
#include "blocks/block_header.h"
#include "blocks/cn_block.h"
#include "blocks/data_blocks.h"
#include "blocks/si_block.h"
#include "blocks/text_block.h"

namespace tarvik {

class ZtCReadContext;

inline constexpr std::uint16_t kCgVlsd = 1u << 0;

struct CgRecord : BlockRecord {
    std::int64_t cg_cg_next = 0;
    std::int64_t cg_cn_first = 0;
    std::int64_t cg_tx_acq_name = 0;
    std::int64_t cg_si_acq_source = 0;
    std::int64_t cg_sr_first = 0;
    std::int64_t cg_md_comment = 0;
    std::uint64_t cg_record_id = 0;
    std::uint64_t cg_cycle_count = 0;
    std::uint16_t cg_flags = 0;
    std::uint16_t cg_path_separator = 0;  // 4.10
    std::uint8_t cg_reserved[6] = {};     // 6 bytes in 4.00, 4 in 4.10
    std::uint32_t cg_data_bytes = 0;
    std::uint32_t cg_inval_bytes = 0;

    std::optional<std::u16string> acquisitionName;
    std::optional<SiRecord> acquisitionSource;
    TextRef comment;
    std::vector<CnRecord> channels;     // top-level channels, chain order
    std::vector<SrRecord> reductions;   // sorted by interval
    std::int64_t index = -1;
    std::int64_t dataGroupIndex = -1;
    bool channelsRejected = false;

    // The first channel of type master, or null.
    const CnRecord* masterChannel() const;
};

template <typename Fields, typename Record>
void cgLinks(Fields& fields, Record& r) {
    fields(r.cg_cg_next);
    fields(r.cg_cn_first);
    fields(r.cg_tx_acq_name);
    fields(r.cg_si_acq_source);
    fields(r.cg_sr_first);
    fields(r.cg_md_comment);
}

template <typename Fields, typename Record>
void cgDataFields(Fields& fields, Record& r, bool is410) {
    fields(r.cg_record_id);
    fields(r.cg_cycle_count);
    fields(r.cg_flags);
    if (is410) {
        fields(r.cg_path_separator);
        fields.bytes(r.cg_reserved, 4);
    } else {
        fields.bytes(r.cg_reserved, 6);
    }
    fields(r.cg_data_bytes);
    fields(r.cg_inval_bytes);
}

class ZtCCGBlock400 : public ZtCMF4Block {
public:
    static constexpr std::uint64_t kLinks = 6;
    static constexpr std::uint64_t kSize = kLinks * 8 + 56;

    explicit ZtCCGBlock400(CgRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return kLinks; }
    std::uint64_t blockSize() const override { return kSize; }
    void release() override { record_ = CgRecord{}; }
    int write(ZtCMF4Stream& stream) override;
    int read(ZtCReadContext& context) override;
    int checkHeader(ZtCReadContext& context) override;
    int checkLinks(ZtCReadContext& context) override;
    // A VLSD group (123) is rejected; invalidation bytes (124) are only reported.
    int checkFields(ZtCReadContext& context) override;

    // The version-specific field: the path separator exists from 4.10 on.
    virtual void setPathSeparator(std::uint16_t) {}
    virtual std::uint16_t pathSeparator() const { return 0; }

protected:
    virtual bool is410() const { return false; }
    CgRecord& record_;
};

class ZtCCGBlock410 final : public ZtCCGBlock400 {
public:
    using ZtCCGBlock400::ZtCCGBlock400;
    void setPathSeparator(std::uint16_t separator) override { record_.cg_path_separator = separator; }
    std::uint16_t pathSeparator() const override { return record_.cg_path_separator; }

protected:
    bool is410() const override { return true; }
};

// Reads the CG chain from `first`. Groups that fail are left out and the chain goes on; kFailed
// only when the chain leads back into itself.
int readChannelGroups(ZtCReadContext& context, std::int64_t first, std::vector<CgRecord>& groups);

}  // namespace tarvik
