#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "xml/comment_parse.h"
#include "xml/schema_cache.h"
#include "xml/schema_resources.h"
#include "xml/xml_call_context.h"

namespace tarvik {
namespace {

TEST(SchemaResources, EveryFileOfBothSetsIsEmbeddedAndTheCommentSchemasCompile) {
    EXPECT_EQ(schemaResourceId(400, "nothing.xsd"), 0);
    EXPECT_EQ(schemaSetOf(400), 400);
    EXPECT_EQ(schemaSetOf(0), 400);
    EXPECT_EQ(schemaSetOf(411), 410);
    for (const char* file : {"xml.xsd", "at_comment.xsd", "cc_comment.xsd", "cc_unit.xsd", "cg_comment.xsd",
                             "ch_comment.xsd", "cn_comment.xsd", "cn_unit.xsd", "dg_comment.xsd",
                             "ev_comment.xsd", "fh_comment.xsd", "harmonizedObjects.xsd", "hd_comment.xsd",
                             "mdf_base.xsd", "mdf_schema.xsd", "si_comment.xsd"}) {
        for (std::uint16_t version : {400, 410}) {
            const std::string_view text = loadSchemaText(version, file);
            EXPECT_NE(text.find("http://www.w3.org/2001/XMLSchema"), std::string_view::npos) << version << file;
            if (std::string_view(file).ends_with("_comment.xsd") || std::string_view(file).ends_with("_unit.xsd")) {
                EXPECT_NE(addSchema(version, file), nullptr) << version << file;
            }
        }
    }
    EXPECT_TRUE(loadSchemaText(410, "../CMakeLists.txt").empty());

    // A schema file the library does not carry means a parse without validation.
    XmlCallContext context;
    ZtCCGComment comment;
    addProperty(comment, u"", 0, u"");  // a property without a name breaks the schema
    std::optional<std::u16string> error;
    EXPECT_FALSE(serializeComment(context, comment, 410, comment.schemaFile(), &error));
    EXPECT_TRUE(error);
    EXPECT_TRUE(serializeComment(context, comment, 410, "unknown.xsd", &error));
    EXPECT_FALSE(error);
}

// Each thread has its own call context; the compiled schemas are shared.
TEST(ConcurrentXml, ThreadsParseAndValidateIndependently) {
    std::atomic<int> wrong{0};
    auto work = [&wrong](int seed) {
        XmlCallContext context;
        for (int i = 0; i < 300; ++i) {
            const bool valid = (i + seed) % 3 != 0;
            const std::u16string raster = valid ? u"0.5" : u"slow";
            std::optional<std::u16string> error;
            auto comment = parseCNComment(
                context, u"<CNcomment xmlns=\"http://www.asam.net/mdf/v4\"><TX>t</TX><raster>" + raster + u"</raster></CNcomment>",
                i % 2 ? 400 : 410, &error);
            if (!comment || error.has_value() == valid || (valid && comment->raster != 0.5)) ++wrong;
        }
    };
    std::thread first(work, 0), second(work, 1);
    first.join();
    second.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace tarvik
