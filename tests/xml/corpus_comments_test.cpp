// Every XML comment that the real files of other tools carry must read with its comment class,
// and validate unless it breaks the MDF 4 vocabulary.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/text.h"
#include "support/corpus_comments.h"
#include "support/temp_dir.h"
#include "xml/comment_parse.h"
#include "xml/xml_call_context.h"

namespace tarvik {
namespace {

// Comments that break the vocabulary, worked out by reading them:
const std::set<std::pair<std::string, std::uint64_t>> kInvalid = {
    // Two `tree` elements named "Device Information" on one level: names of siblings of one
    // kind must be unique.
    {"CANedge_unfinalized_unsorted.MF4", 0x4a8},
    // tool_version "3.0.0.dev_3.0.x_213": after the dotted numbers only a blank and free text
    // may follow, not "dev_...".
    {"dax_test_metadata.mf4", 0x588},
    {"dax_test_metadata.mf4", 0x6b0},
};

TEST(CorpusComments, ReadAndValidateUnlessTheyBreakTheVocabulary) {
    const auto corpus = test::corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the project";
    XmlCallContext context;
    std::size_t checked = 0;
    std::set<std::pair<std::string, std::uint64_t>> invalid;
    for (const test::CorpusComment& c : test::corpusComments(corpus)) {
        if (c.kind == BlockKind::None) continue;  // unit and other comments are not read
        ++checked;
        const std::u16string xml = normalizeCommentRoot(c.kind, platform::utf8ToUtf16(c.utf8));
        std::optional<std::u16string> error;
        EXPECT_NE(parseCommentOfKind(context, c.kind, xml, c.version, &error), nullptr) << c.file << " at " << c.offset;
        if (error) invalid.insert({c.file, c.offset});
    }
    EXPECT_GT(checked, 150u) << "the corpus holds about 170 comments of the eight kinds";
    EXPECT_EQ(invalid, kInvalid);
}

}  // namespace
}  // namespace tarvik
