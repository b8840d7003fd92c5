// TX and MD blocks: UTF-8 texts with a terminating zero, held by their owners as UTF-16.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "blocks/block_kind.h"

namespace tarvik {

class ZtCMF4Stream;
class ZtCReadContext;

// A comment or unit link read into memory: XML (kind MD) or plain text (kind TX); kind None
// and no text when the link is 0 or names another kind of block.
struct TextRef {
    BlockKind kind = BlockKind::None;
    std::optional<std::u16string> text;
};

// Reads the TX block at `link` (absent text for link 0 or an empty block). A block that is
// not a TX block raises finding 103 with "TX". kOk or kFailed.
int readTextBlock(ZtCReadContext& context, std::int64_t link, std::optional<std::u16string>& text);

// Probes `link` and reads an MD or TX block into `ref`; any other kind leaves it empty
// without a finding. The root of an MD comment of a block of kind `owner` is made to carry the
// MDF namespace (see normalizeCommentRoot), so the comment parser can validate it later.
// kOk or kFailed.
int readTextRef(ZtCReadContext& context, std::int64_t link, TextRef& ref, BlockKind owner = BlockKind::None);

// Writes a TX or MD block holding `text` (UTF-8 with its terminating zero) at the next
// multiple of 8 and stores its position in `position`. kOk or kFailed.
int writeTextBlock(ZtCMF4Stream& stream, BlockKind kind, std::u16string_view text,
                   std::int64_t& position);

}  // namespace tarvik
