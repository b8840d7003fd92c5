// The source information block (SI): where a channel group or a channel was acquired.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "blocks/block.h"
#include "blocks/block_header.h"
#include "blocks/text_block.h"

namespace tarvik {

class ZtCReadContext;

struct SiRecord : BlockRecord {
    std::int64_t si_tx_name = 0;
    std::int64_t si_tx_path = 0;
    std::int64_t si_md_comment = 0;
    std::uint8_t si_type = 0;      // 0 to 5
    std::uint8_t si_bus_type = 0;  // 0 to 8
    std::uint8_t si_flags = 0;
    std::uint8_t si_reserved[5] = {};

    std::optional<std::u16string> name;
    std::optional<std::u16string> path;
    TextRef comment;
};

template <typename Fields, typename Record>
void siDataFields(Fields& fields, Record& r) {
    fields(r.si_type);
    fields(r.si_bus_type);
    fields(r.si_flags);
    fields.bytes(r.si_reserved, sizeof r.si_reserved);
}

class ZtCSIBlock final : public ZtCMF4Block {
public:
    static constexpr std::uint64_t kLinks = 3;
    static constexpr std::uint64_t kSize = kLinks * 8 + 32;
    explicit ZtCSIBlock(SiRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return kLinks; }
    std::uint64_t blockSize() const override { return kSize; }
    void release() override { record_ = SiRecord{}; }
    int write(ZtCMF4Stream& stream) override;

private:
    SiRecord& record_;
};

// Reads the SI at `link` with its texts. kOk or kFailed.
int readSourceInfo(ZtCReadContext& context, std::int64_t link, SiRecord& record);

}  // namespace tarvik
