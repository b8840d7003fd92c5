// The data group block (DG): one channel group and the data blocks holding its records.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "blocks/block.h"
#include "blocks/block_header.h"
#include "blocks/cg_block.h"
#include "blocks/data_blocks.h"

namespace tarvik {

class ZtCReadContext;

struct DgRecord : BlockRecord {
    std::int64_t dg_dg_next = 0;
    std::int64_t dg_cg_first = 0;
    std::int64_t dg_data = 0;
    std::int64_t dg_md_comment = 0;  // not read
    std::uint8_t dg_rec_id_size = 0;
    std::uint8_t dg_reserved[7] = {};

    std::vector<CgRecord> groups;    // exactly one after a successful read
    DataStorage data;                // the records: DT, DZ, DL or HL
    std::int64_t index = -1;
};

template <typename Fields, typename Record>
void dgFields(Fields& fields, Record& r) {
    fields(r.dg_dg_next);
    fields(r.dg_cg_first);
    fields(r.dg_data);
    fields(r.dg_md_comment);
    fields(r.dg_rec_id_size);
    fields.bytes(r.dg_reserved, sizeof r.dg_reserved);
}

class ZtCDGBlock final : public ZtCMF4Block {
public:
    static constexpr std::uint64_t kLinks = 4;
    static constexpr std::uint64_t kSize = kLinks * 8 + 32;
    explicit ZtCDGBlock(DgRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return kLinks; }
    std::uint64_t blockSize() const override { return kSize; }
    void release() override { record_ = DgRecord{}; }
    int write(ZtCMF4Stream& stream) override;

private:
    DgRecord& record_;
};

// Reads the DG chain from `first`. Data groups whose channel group has no master channel are
// left out. kFailed (ending the chain) on a data group that cannot be read, does not hold
// exactly one channel group (139) or carries record ids (146).
int readDataGroups(ZtCReadContext& context, std::int64_t first, std::vector<DgRecord>& dataGroups);

}  // namespace tarvik
