#include "support/corpus_comments.h"

#include <cstring>
#include <fstream>

namespace tarvik::test {

namespace {

BlockKind kindOfRoot(std::string_view text) {
    static constexpr std::pair<std::string_view, BlockKind> kRoots[] = {
        {"<HDcomment", BlockKind::HD}, {"<FHcomment", BlockKind::FH}, {"<EVcomment", BlockKind::EV},
        {"<CGcomment", BlockKind::CG}, {"<CNcomment", BlockKind::CN}, {"<CCcomment", BlockKind::CC},
        {"<ATcomment", BlockKind::AT}, {"<SIcomment", BlockKind::SI}};
    for (const auto& [root, kind] : kRoots)
        if (text.find(root) != std::string_view::npos) return kind;
    return BlockKind::None;
}

}  // namespace

std::vector<CorpusComment> commentsOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<CorpusComment> comments;
    if (bytes.size() < 64) return comments;
    const auto digit = [&bytes](std::size_t at) { return static_cast<std::uint16_t>(bytes[at] - '0'); };
    const std::uint16_t version = static_cast<std::uint16_t>(digit(8) * 100 + digit(10) * 10 + digit(11));
    for (std::size_t at = 64; at + 24 <= bytes.size(); at += 8) {
        if (bytes.compare(at, 4, "##MD") != 0) continue;
        std::uint64_t length = 0;
        std::memcpy(&length, bytes.data() + at + 8, 8);
        if (length < 24 || length > bytes.size() - at) continue;
        const char* start = bytes.data() + at + 24;
        std::string text(start, strnlen(start, length - 24));
        const BlockKind kind = kindOfRoot(text);
        comments.push_back({file.filename().string(), at, version, std::move(text), kind});
    }
    return comments;
}

std::vector<CorpusComment> corpusComments(const std::filesystem::path& folder) {
    std::vector<CorpusComment> all;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ignored)) {
        const std::string extension = entry.path().extension().string();
        if (extension != ".mf4" && extension != ".MF4") continue;
        for (CorpusComment& comment : commentsOf(entry.path())) all.push_back(std::move(comment));
    }
    return all;
}

}  // namespace tarvik::test
