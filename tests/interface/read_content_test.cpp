// ReadContent as a host sees it: result codes, findings with their messages from the message
// file beside the library, and outputs left alone where the interface promises it.
#include <string>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/mdf_builder.h"
#include "support/temp_dir.h"

namespace {

using tarvik::test::MdfBuilder;
using tarvik::test::TempDir;
using tarvik::test::widePath;

struct Outcome {
    std::uint32_t result = 0;
    MF4Content* content = nullptr;
    MF4Error* errors = nullptr;
    std::uint64_t errorCount = 0;

    ~Outcome() {
        FreeErrors(errors, errorCount);
        FreeContent(content);
    }
};

void readContent(const std::u16string& path, Outcome& out, std::uint64_t filter = 0) {
    out.result = filter == 0 ? ReadContent(path.c_str(), &out.content, &out.errors, &out.errorCount)
                             : ReadFilteredContent(path.c_str(), filter, &out.content, &out.errors,
                                                   &out.errorCount);
}

std::u16string text(const MF4Char* value) { return value ? std::u16string(value) : u"(null)"; }

TEST(ReadContent, MissingFileGivesFinding141WithTheMessageFileText) {
    TempDir dir;
    const std::u16string path = widePath(dir.file("nowhere.mf4"));
    Outcome out;
    readContent(path, out);
    EXPECT_EQ(out.result, 2u);
    EXPECT_EQ(out.content, nullptr);
    ASSERT_EQ(out.errorCount, 1u);
    const MF4Error& e = out.errors[0];
    EXPECT_EQ(e.messageId, 141u);
    EXPECT_EQ(e.severity, 0u);
    EXPECT_EQ(text(e.detail1), path);
    EXPECT_EQ(e.detail2, nullptr);
    // The text comes from the message file installed beside the library, with the path in it.
    ASSERT_NE(e.message, nullptr) << "message file not found beside the library";
    const std::u16string message = e.message;
    EXPECT_NE(message.find(path), std::u16string::npos);
    EXPECT_EQ(message.find(u"%1"), std::u16string::npos);
}

TEST(ReadContent, UnfinishedAndUnsupportedFilesAreRejectedWithTheirFindings) {
    TempDir dir;
    {
        const auto file = dir.write("unfinished.mf4", MdfBuilder("4.10    ", "UnFinMF ").bytes());
        Outcome out;
        readContent(widePath(file), out);
        EXPECT_EQ(out.result, 2u);
        ASSERT_EQ(out.errorCount, 1u);
        EXPECT_EQ(out.errors[0].messageId, 102u);
        EXPECT_EQ(text(out.errors[0].detail1), widePath(file));
    }
    for (const auto& [version, detail] :
         {std::pair{"3.30    ", u"File Version: 330, Tool Version: 410."},
          std::pair{"4.20    ", u"File Version: 420, Tool Version: 410."}}) {
        const auto file = dir.write("version.mf4", MdfBuilder(version).bytes());
        Outcome out;
        readContent(widePath(file), out, 1);
        EXPECT_EQ(out.result, 2u) << version;
        ASSERT_EQ(out.errorCount, 1u) << version;
        EXPECT_EQ(out.errors[0].messageId, 130u);
        EXPECT_EQ(text(out.errors[0].detail2), detail);
        ASSERT_NE(out.errors[0].message, nullptr);
        EXPECT_NE(std::u16string(out.errors[0].message).find(detail), std::u16string::npos);
    }
}

TEST(ReadContent, NullArgumentsLeaveTheOutputsAlone) {
    MF4Content* content = reinterpret_cast<MF4Content*>(0x1);
    MF4Error* errors = reinterpret_cast<MF4Error*>(0x2);
    std::uint64_t errorCount = 77;
    EXPECT_EQ(ReadContent(nullptr, &content, &errors, &errorCount), 2u);
    EXPECT_EQ(ReadFilteredContent(nullptr, 1, &content, &errors, &errorCount), 2u);
    EXPECT_EQ(ReadContent(u"x.mf4", nullptr, &errors, &errorCount), 2u);
    EXPECT_EQ(content, reinterpret_cast<MF4Content*>(0x1));
    EXPECT_EQ(errors, reinterpret_cast<MF4Error*>(0x2));
    EXPECT_EQ(errorCount, 77u);

    // Without somewhere to put the findings the call still answers with its result.
    TempDir dir;
    const std::u16string missing = widePath(dir.file("missing.mf4"));
    MF4Content* none = nullptr;
    EXPECT_EQ(ReadContent(missing.c_str(), &none, nullptr, nullptr), 2u);
}

}  // namespace
