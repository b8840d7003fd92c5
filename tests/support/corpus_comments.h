// The XML comments (MD blocks) inside the real files of the corpus, for tests and benchmarks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "blocks/block_kind.h"

namespace tarvik::test {

struct CorpusComment {
    std::string file;     // file name without folder
    std::uint64_t offset; // position of the MD block
    std::uint16_t version;// format version from the ID block, e.g. 410
    std::string utf8;     // the text up to its first zero byte
    BlockKind kind;       // the block kind whose comment root the text has (HDcomment: HD, ...);
                          // None for other roots
};

// The MD blocks of one file, found by their id at 8-byte boundaries (no links are followed).
std::vector<CorpusComment> commentsOf(const std::filesystem::path& file);

// The MD blocks of every .mf4/.MF4 file below `folder`.
std::vector<CorpusComment> corpusComments(const std::filesystem::path& folder);

}  // namespace tarvik::test
