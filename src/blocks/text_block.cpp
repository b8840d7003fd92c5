#include "blocks/text_block.h"

#include <cstring>
#include <vector>

#include "blocks/block_header.h"
#include "blocks/read_context.h"
#include "blocks/stream.h"
#include "findings/detail_format.h"
#include "findings/findings.h"
#include "platform/text.h"
#include "xml/comment_parse.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

// Reads the text block of the given id at `link`; the caller has decided its kind.
int readText(ZtCReadContext& context, std::int64_t link, std::string_view id,
             std::optional<std::u16string>& text) {
    text.reset();
    if (link == 0) return kOk;
    ZtCMF4Stream& stream = context.stream;
    if (link < 0 || stream.seekRead(static_cast<std::uint64_t>(link)) != kOk ||
        checkId(stream, id) != kOk) {
        const std::u16string name(id.begin() + 2, id.end());
        context.structureFindings->addFileError(103, formatDetail(103, {name}));
        return kFailed;
    }
    BlockHeader header;
    if (readHeader(stream, id, header) != kOk) return kFailed;
    if (header.length <= kBlockHeaderSize) return kOk;
    // A length beyond the end of the file cannot be satisfied; refuse it before allocating.
    const std::uint64_t fileSize = stream.size();
    const std::uint64_t textBytes = header.length - kBlockHeaderSize;
    if (fileSize == ZtCMF4Stream::kNoPosition || textBytes > fileSize - stream.position())
        return kFailed;
    std::string bytes(textBytes, '\0');
    if (stream.readBytes(bytes.data(), bytes.size()) != kOk) return kFailed;
    // The text ends at its first zero byte; the rest is padding.
    bytes.resize(std::strlen(bytes.c_str()));
    text = platform::utf8ToUtf16(bytes);
    return kOk;
}

}  // namespace

int readTextBlock(ZtCReadContext& context, std::int64_t link, std::optional<std::u16string>& text) {
    return readText(context, link, "##TX", text);
}

int readTextRef(ZtCReadContext& context, std::int64_t link, TextRef& ref, BlockKind owner) {
    ref = TextRef{};
    const BlockKind kind = probeBlock(context.stream, link);
    if (kind != BlockKind::MD && kind != BlockKind::TX) return kOk;
    ref.kind = kind;
    const int status = readText(context, link, kind == BlockKind::MD ? "##MD" : "##TX", ref.text);
    if (status == kOk && kind == BlockKind::MD && ref.text) ref.text = normalizeCommentRoot(owner, *ref.text);
    return status;
}

int writeTextBlock(ZtCMF4Stream& stream, BlockKind kind, std::u16string_view text,
                   std::int64_t& position) {
    const std::string utf8 = platform::utf16ToUtf8(text);
    BlockHeader header;
    std::memcpy(header.id, kind == BlockKind::MD ? "##MD" : "##TX", sizeof header.id);
    header.length = kBlockHeaderSize + utf8.size() + 1;
    position = static_cast<std::int64_t>(stream.padTo8());
    if (writeHeader(stream, header) != kOk) return kFailed;
    // c_str() supplies the terminating zero the block ends with.
    return stream.writeBytes(utf8.c_str(), utf8.size() + 1);
}

}  // namespace tarvik
