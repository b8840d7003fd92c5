// The attachment block (AT): a file embedded in the measurement file or lying beside it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "blocks/block.h"
#include "blocks/block_header.h"
#include "blocks/text_block.h"

namespace tarvik {

class ZtCReadContext;

inline constexpr std::uint16_t kAtEmbedded = 1u << 0;
inline constexpr std::uint16_t kAtCompressed = 1u << 1;
inline constexpr std::uint16_t kAtMd5Valid = 1u << 2;

struct AtRecord : BlockRecord {
    std::int64_t at_at_next = 0;
    std::int64_t at_tx_filename = 0;
    std::int64_t at_tx_mimetype = 0;
    std::int64_t at_md_comment = 0;
    std::uint16_t at_flags = 0;
    std::uint16_t at_creator_index = 0;
    std::uint8_t at_reserved[4] = {};
    std::uint8_t at_md5_checksum[16] = {};
    std::uint64_t at_original_size = 0;
    std::uint64_t at_embedded_size = 0;

    std::optional<std::u16string> fileName;
    std::optional<std::u16string> mimeType;
    TextRef comment;
    std::u16string externalPath;  // external attachments: the path looked at
    // The embedded bytes, or the content of the external file when it could be read.
    std::optional<std::vector<std::uint8_t>> data;
};

template <typename Fields, typename Record>
void atFields(Fields& fields, Record& r) {
    fields(r.at_at_next);
    fields(r.at_tx_filename);
    fields(r.at_tx_mimetype);
    fields(r.at_md_comment);
    fields(r.at_flags);
    fields(r.at_creator_index);
    fields.bytes(r.at_reserved, sizeof r.at_reserved);
    fields.bytes(r.at_md5_checksum, sizeof r.at_md5_checksum);
    fields(r.at_original_size);
    fields(r.at_embedded_size);
}

class ZtCATBlock final : public ZtCMF4Block {
public:
    static constexpr std::uint64_t kLinks = 4;
    explicit ZtCATBlock(AtRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return kLinks; }
    std::uint64_t blockSize() const override { return (kLinks + 8) * 8 + record_.at_embedded_size; }
    void release() override { record_ = AtRecord{}; }
    // Writes links and fields; the embedded bytes are the writer's to append.
    int write(ZtCMF4Stream& stream) override;

private:
    AtRecord& record_;
};

// Reads the AT chain from `first` with embedded data and external files; each block's position
// is appended to the context's attachment positions. kOk or kFailed.
int readAttachments(ZtCReadContext& context, std::int64_t first, std::vector<AtRecord>& attachments);

}  // namespace tarvik
