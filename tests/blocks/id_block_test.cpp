#include "blocks/id_block.h"

#include <cstring>

#include <gtest/gtest.h>

#include "blocks/block_layer.h"
#include "blocks/read_context.h"
#include "findings/findings.h"
#include "new_file.h"
#include "support/mdf_builder.h"
#include "support/temp_dir.h"

namespace tarvik {
namespace {

using test::MdfBuilder;
using test::TempDir;
using test::widePath;

struct IdReadResult {
    int status;
    std::uint16_t contextVersion;
    IdRecord record;
    FindingList findings;
};

IdReadResult readId(const std::string& bytes) {
    TempDir dir;
    const auto file = dir.write("id.mf4", bytes);
    IdReadResult result{platform::kFailed, 0, {}, FindingList(u"id.mf4")};
    ZtCReadContext context(widePath(file), result.findings, 0);
    EXPECT_EQ(context.stream.openRead(context.path), platform::kOk);
    result.status = readIdBlock(context, result.record);
    result.contextVersion = context.version;
    return result;
}

TEST(IdBlock, VersionsOfTheFourFamilyAreReadOthersRejected) {
    struct Case {
        const char* text;
        std::uint16_t version;
        bool accepted;
    };
    const Case cases[] = {
        {"4.00    ", 400, true},  {"4.10    ", 410, true}, {"4.11    ", 411, true},
        {"4.19    ", 419, true},  {"3.30    ", 330, false}, {"4.20    ", 420, false},
        {"5.00    ", 500, false}, {"4.1", 401, true},
    };
    for (const Case& c : cases) {
        const IdReadResult r = readId(MdfBuilder(c.text).bytes());
        EXPECT_EQ(r.record.id_ver, c.version) << c.text;
        EXPECT_EQ(r.contextVersion, c.version) << c.text;
        EXPECT_EQ(r.status, c.accepted ? platform::kOk : platform::kFailed) << c.text;
        if (c.accepted) {
            EXPECT_TRUE(r.findings.empty()) << c.text;
        } else {
            ASSERT_EQ(r.findings.errors().size(), 1u) << c.text;
            const Finding& f = r.findings.errors()[0];
            EXPECT_EQ(f.number, 130u);
            EXPECT_EQ(f.detail1, u"id.mf4");
            const std::u16string expected = u"File Version: " +
                std::u16string(std::u16string_view(c.text[0] == '3' ? u"330" : c.text[0] == '5' ? u"500" : u"420")) +
                u", Tool Version: 410.";
            EXPECT_EQ(f.detail2, expected);
        }
    }
}

TEST(IdBlock, UnfinishedAndForeignFilesAreRejected) {
    const IdReadResult unfinished = readId(MdfBuilder("4.10    ", "UnFinMF ").bytes());
    EXPECT_EQ(unfinished.status, platform::kFailed);
    ASSERT_EQ(unfinished.findings.errors().size(), 1u);
    EXPECT_EQ(unfinished.findings.errors()[0].number, 102u);
    EXPECT_FALSE(unfinished.findings.errors()[0].detail2.has_value());

    // The version is checked first: an old unfinished file reports its version only.
    const IdReadResult oldUnfinished = readId(MdfBuilder("3.30    ", "UnFinMF ").bytes());
    ASSERT_EQ(oldUnfinished.findings.errors().size(), 1u);
    EXPECT_EQ(oldUnfinished.findings.errors()[0].number, 130u);

    // Too short for an ID block and not an MDF file either.
    const IdReadResult tiny = readId("hello");
    EXPECT_EQ(tiny.status, platform::kFailed);
    ASSERT_EQ(tiny.findings.errors().size(), 1u);
    EXPECT_EQ(tiny.findings.errors()[0].number, 102u);

    // A truncated MDF file stops without a finding of the ID block's own.
    const IdReadResult truncated = readId(MdfBuilder().bytes().substr(0, 40));
    EXPECT_EQ(truncated.status, platform::kFailed);
    EXPECT_TRUE(truncated.findings.empty());
}

TEST(IdBlock, VersionTextWithoutDotKeepsTheStoredNumber) {
    std::string bytes = MdfBuilder("4       ").bytes();
    const std::uint16_t stored = 410;
    std::memcpy(bytes.data() + 28, &stored, 2);
    const IdReadResult r = readId(bytes);
    EXPECT_EQ(r.status, platform::kOk);
    EXPECT_EQ(r.record.id_ver, 410);
    EXPECT_EQ(r.contextVersion, 0) << "without a parsed version the 4.00 classes are used";

    // A text that fills all eight characters runs on into the program identifier.
    const IdReadResult runOn = readId(MdfBuilder("0000004.", "MDF     ", std::string("10\0", 3)).bytes());
    EXPECT_EQ(runOn.record.id_ver, 410);
}

TEST(IdBlock, WrittenFilesStartUnfinishedAndReadOnceFinished) {
    test::NewFile file("new.mf4");
    ASSERT_EQ(file.opened, platform::kOk);
    const char program[8] = {'T', 'a', 'r', 'v', 'i', 'k', ' ', ' '};
    ASSERT_EQ(writeIdBlock(file.stream, 410, program), platform::kOk);
    EXPECT_EQ(file.stream.position(), kIdBlockSize);

    const std::string bytes = file.bytes();
    ASSERT_EQ(bytes.size(), 64u);
    EXPECT_EQ(bytes.substr(0, 24), "UnFinMF 4.10    Tarvik  ");
    EXPECT_EQ(bytes.substr(24, 4), std::string(4, '\0'));
    EXPECT_EQ(bytes.substr(28, 2), std::string("\x9A\x01", 2));  // 410
    EXPECT_EQ(bytes.substr(30), std::string(34, '\0'));
    EXPECT_EQ(readId(bytes).findings.errors().at(0).number, 102u);

    ASSERT_EQ(markFileFinished(file.stream), platform::kOk);
    const IdReadResult r = readId(file.bytes());
    EXPECT_EQ(r.status, platform::kOk);
    EXPECT_EQ(r.record.id_ver, 410);
    EXPECT_EQ(std::string(r.record.id_prog, 8), "Tarvik  ");
}

}  // namespace
}  // namespace tarvik
