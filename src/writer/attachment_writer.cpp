// The attachment blocks of a new file: embedded bytes, or a file written beside the measurement.
#include <cstdio>

#include "blocks/at_block.h"
#include "blocks/block_header.h"
#include "findings/detail_format.h"
#include "findings/findings.h"
#include "platform/file.h"
#include "platform/md5.h"
#include "platform/paths.h"
#include "writer/layout_target.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::uint32_t kAttachmentNotWritten = 135;
constexpr std::uint32_t kAttachmentWrittenInPart = 136;

// Writes the attachment's bytes to its own file beside the measurement file and gives the name
// the block stores: relative to the measurement's folder when one can be formed.
std::u16string writeExternalFile(LayoutTarget& target, const MF4Attachment& attachment, std::uint64_t size) {
    const std::u16string name = attachment.fileName ? std::u16string(attachment.fileName) : std::u16string();
    const std::u16string folder = platform::parentDirectory(target.filePath);
    const bool relative = platform::isRelativePath(name);
    const std::u16string path = relative ? platform::joinPath(folder, name) : name;
    const std::u16string stored = relative ? name : platform::relativePath(folder, name);

    const std::u16string parent = platform::parentDirectory(path);
    if (!parent.empty()) platform::createDirectories(parent);
    std::FILE* file = nullptr;
    if (name.empty() || platform::openFile(path, "wb", &file) != kOk) {
        target.findings.addFileError(kAttachmentNotWritten,
                                     formatDetail(kAttachmentNotWritten, {std::int64_t{0}, std::u16string_view(path)}));
        return stored;
    }
    const std::size_t written = size == 0 ? 0 : std::fwrite(attachment.data, 1, size, file);
    const bool closed = std::fclose(file) == 0;
    if (written != size || !closed)
        target.findings.addFileError(kAttachmentWrittenInPart,
                                     formatDetail(kAttachmentWrittenInPart, {std::int64_t{0}, std::u16string_view(path)}));
    return stored;
}

}  // namespace

int writeAttachments(LayoutTarget& target, std::int64_t& first) {
    const MF4Content& content = *target.session.content;
    const std::uint64_t count = content.attachments ? content.attachmentCount : 0;
    target.session.attachmentPositions.assign(count, 0);
    ZtCMF4Stream& stream = target.stream;
    std::int64_t next = 0;
    for (std::uint64_t i = count; i-- > 0;) {
        const MF4Attachment& attachment = content.attachments[i];
        const std::uint64_t size = attachment.data != nullptr ? attachment.size : 0;
        AtRecord record;
        record.at_at_next = next;
        // The library's history entry, the last of the list, made the attachment.
        record.at_creator_index = static_cast<std::uint16_t>(content.history ? content.historyCount : 0);
        record.at_original_size = size;
        if (attachment.md5Valid == 1) {
            if (const auto digest = platform::md5Of(attachment.data, size)) {
                std::copy(digest->begin(), digest->end(), record.at_md5_checksum);
                record.at_flags |= kAtMd5Valid;
            }
        }
        std::u16string fileName = attachment.fileName ? std::u16string(attachment.fileName) : std::u16string();
        if (attachment.embedded) {
            record.at_flags |= kAtEmbedded;
            record.at_embedded_size = size;
        } else {
            fileName = writeExternalFile(target, attachment, size);
            if (target.findings.hasErrors()) return kFailed;
        }
        const std::optional<std::u16string> comment = target.comments.attachment(attachment);
        if (!comment || stream.seekEnd() != kOk || target.text(fileName.c_str(), record.at_tx_filename) != kOk ||
            target.text(attachment.mimeType, record.at_tx_mimetype) != kOk ||
            target.comment(*comment, record.at_md_comment) != kOk)
            return kFailed;
        ZtCATBlock block(record);
        if (writeBlock(stream, block, record, "##AT") != kOk ||
            (record.at_embedded_size != 0 && stream.writeBytes(attachment.data, size) != kOk))
            return kFailed;
        target.session.attachmentPositions[i] = record.position;
        next = record.position;
    }
    first = next;
    return kOk;
}

}  // namespace tarvik
