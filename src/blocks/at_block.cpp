#include "blocks/at_block.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "blocks/block_checks.h"
#include "blocks/field_io.h"
#include "blocks/read_context.h"
#include "findings/detail_format.h"
#include "findings/findings.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::string_view kName = "AT Block";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The content of an external attachment file, when it can be found beside the measurement file.
void readExternalFile(ZtCReadContext& context, AtRecord& record) {
    const std::u16string name = record.fileName.value_or(u"");
    record.externalPath = platform::isRelativePath(name)
                              ? platform::joinPath(platform::parentDirectory(context.path), name)
                              : name;
    if (name.empty() || !platform::pathExists(record.externalPath)) return;
    const std::u16string detail = formatDetail(137, {record.position, std::u16string_view(record.externalPath)});
    std::FILE* opened = nullptr;
    if (platform::openFile(record.externalPath, "rb", &opened) != kOk) {
        context.structureFindings->addFileWarning(137, detail);
        return;
    }
    std::unique_ptr<std::FILE, FileCloser> file(opened);
    // Never trust the declared size with an allocation beyond what the file holds.
    std::fseek(file.get(), 0, SEEK_END);
    const long available = std::ftell(file.get());
    std::rewind(file.get());
    const std::uint64_t wanted = record.at_original_size;
    const std::uint64_t readable = available < 0 ? 0 : std::min<std::uint64_t>(wanted, static_cast<std::uint64_t>(available));
    std::vector<std::uint8_t> bytes(readable);
    const std::size_t got = readable == 0 ? 0 : std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (got < wanted) {
        context.structureFindings->addFileWarning(138, detail);
        return;
    }
    record.data = std::move(bytes);
}

int readAttachment(ZtCReadContext& context, std::int64_t position, AtRecord& record) {
    if (openBlock(context, position, "##AT", record) != kOk) return kFailed;
    checkHeaderShape(context, record, {"##AT", kName, ZtCATBlock::kLinks, 96, SizeRule::ExactLinksMinimumLength});
    CountedFieldReader fields(context.stream, blockBodyLength(record));
    atFields(fields, record);
    if (fields.status() != kOk) return kFailed;
    checkLinkAlignments(context, kName, position,
                        {{"at_at_next", record.at_at_next}, {"at_tx_filename", record.at_tx_filename},
                         {"at_tx_mimetype", record.at_tx_mimetype}, {"at_md_comment", record.at_md_comment}});

    if ((record.at_flags & kAtEmbedded) != 0) {
        // The embedded bytes follow the fields; a block shorter than it claims gives what it has.
        std::uint64_t count = std::min(record.at_embedded_size, fields.remaining());
        if (!fitsInFile(context, count, 1)) count = 0;
        std::vector<std::uint8_t> bytes(count);
        std::uint64_t remaining = count;
        if (count != 0 && context.stream.readCountedBytes(bytes.data(), bytes.size(), remaining) != kOk)
            return kFailed;
        record.data = std::move(bytes);
    }
    if (readTextBlock(context, record.at_tx_filename, record.fileName) != kOk) return kFailed;
    if (readTextBlock(context, record.at_tx_mimetype, record.mimeType) != kOk) return kFailed;
    if (readTextRef(context, record.at_md_comment, record.comment, BlockKind::AT) != kOk) return kFailed;
    if ((record.at_flags & kAtEmbedded) == 0) readExternalFile(context, record);
    return kOk;
}

}  // namespace

int readAttachments(ZtCReadContext& context, std::int64_t first, std::vector<AtRecord>& attachments) {
    return followChain(context, first, kName, "at_at_next", [&](std::int64_t position, std::int64_t& next) {
        AtRecord& record = attachments.emplace_back();
        if (readAttachment(context, position, record) != kOk) return kFailed;
        context.attachmentPositions.push_back(position);
        next = record.at_at_next;
        return kOk;
    });
}

int ZtCATBlock::write(ZtCMF4Stream& stream) {
    FieldWriter fields(stream);
    atFields(fields, record_);
    return fields.status();
}

}  // namespace tarvik
