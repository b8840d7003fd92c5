// How fast comments are parsed with validation: every XML comment of the corpus (or, without
// the corpus, a few typical ones), root rewrite and parse with the class of its block kind,
// in a loop within one call context, as the structure read of a file does it.
//
// Usage: bench_xml_comments [seconds]   (default 2)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/text.h"
#include "support/corpus_comments.h"
#include "support/temp_dir.h"
#include "xml/comment_parse.h"
#include "xml/xml_call_context.h"

using namespace tarvik;

namespace {

struct Input {
    BlockKind kind;
    std::uint16_t version;
    std::u16string xml;
};

std::vector<Input> inputs(bool& fromCorpus) {
    std::vector<Input> result;
    const auto corpus = test::corpusDir();
    fromCorpus = !corpus.empty();
    if (fromCorpus) {
        for (const test::CorpusComment& c : test::corpusComments(corpus))
            if (c.kind != BlockKind::None) result.push_back({c.kind, c.version, platform::utf8ToUtf16(c.utf8)});
        return result;
    }
    result.push_back({BlockKind::CN, 410, u"<CNcomment><TX>Engine speed</TX><names><display>n_eng</display>"
                                          u"</names><raster>0.01</raster></CNcomment>"});
    result.push_back({BlockKind::HD, 410, u"<HDcomment><TX>Test drive</TX><common_properties>"
                                          u"<e name=\"driver\">A. Person</e><e name=\"vehicle\">V1</e>"
                                          u"</common_properties></HDcomment>"});
    result.push_back({BlockKind::FH, 410, u"<FHcomment><TX>created</TX><tool_id>Tool</tool_id>"
                                          u"<tool_vendor>Vendor</tool_vendor><tool_version>1.0</tool_version>"
                                          u"</FHcomment>"});
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    bool fromCorpus = false;
    const std::vector<Input> comments = inputs(fromCorpus);
    XmlCallContext context;
    std::size_t parsed = 0;
    std::size_t invalid = 0;
    const auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    do {
        for (const Input& input : comments) {
            std::optional<std::u16string> error;
            auto comment = parseCommentOfKind(context, input.kind, normalizeCommentRoot(input.kind, input.xml),
                                              input.version, &error);
            invalid += error.has_value();
            parsed += comment != nullptr;
        }
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (elapsed < seconds);
    std::printf("{\"benchmark\":\"xml_comment_parse_validate\",\"source\":\"%s\",\"distinct_comments\":%zu,"
                "\"parsed\":%zu,\"with_schema_errors\":%zu,\"seconds\":%.3f,\"comments_per_second\":%.0f,"
                "\"microseconds_per_comment\":%.2f}\n",
                fromCorpus ? "corpus" : "built-in", comments.size(), parsed, invalid, elapsed,
                parsed / elapsed, elapsed * 1e6 / static_cast<double>(parsed));
    return 0;
}
