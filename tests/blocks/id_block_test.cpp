#include "blocks/id_block.h"

#include <cstring>

#include "new_file.h"
#include "structure_walk.h"

namespace tarvik::test {
namespace {

using platform::kFailed;
using platform::kOk;

class IdBlock : public BlockFile {
protected:
    // Reads the ID block of `bytes`; the context starts without a version, as a read does.
    int readId(std::string_view bytes) { return readIdBlock(open(bytes, 0), record_); }
    IdRecord record_;
};

std::string storingVersion(std::string bytes, std::uint16_t version) {
    std::memcpy(bytes.data() + 28, &version, 2);
    return bytes;
}

std::string rejected(int version) {
    return "130 File Version: " + std::to_string(version) + ", Tool Version: 410.";
}

TEST_F(IdBlock, VersionsOfTheFourFamilyInFinishedFilesAreReadOthersRejected) {
    struct Case {
        std::string bytes;
        int status;
        std::uint16_t version;         // id_ver as read
        std::uint16_t contextVersion;  // the version the later blocks are read as
        Lines errors;
    };
    const Case cases[] = {
        {MdfBuilder("4.00    ").bytes(), kOk, 400, 400, {}},
        {MdfBuilder("4.11    ").bytes(), kOk, 411, 411, {}},
        {MdfBuilder("4.19    ").bytes(), kOk, 419, 419, {}},
        {MdfBuilder("4.1").bytes(), kOk, 401, 401, {}},
        {MdfBuilder("3.30    ").bytes(), kFailed, 330, 330, {rejected(330)}},
        {MdfBuilder("4.20    ").bytes(), kFailed, 420, 420, {rejected(420)}},
        {MdfBuilder("5.00    ").bytes(), kFailed, 500, 500, {rejected(500)}},
        {MdfBuilder("4.10    ", "UnFinMF ").bytes(), kFailed, 410, 410, {"102"}},
        // The version is checked first: an old unfinished file reports its version only.
        {MdfBuilder("3.30    ", "UnFinMF ").bytes(), kFailed, 330, 330, {rejected(330)}},
        // Too short for an ID block and not an MDF file either.
        {"hello", kFailed, 0, 0, {"102"}},
        // A truncated MDF file stops without a finding of the ID block's own.
        {MdfBuilder().bytes().substr(0, 40), kFailed, 0, 0, {}},
        // Without a dot the stored number stays, and the 4.00 layouts are used.
        {storingVersion(MdfBuilder("4       ").bytes(), 410), kOk, 410, 0, {}},
        // A text that fills all eight characters runs on into the program identifier.
        {MdfBuilder("0000004.", "MDF     ", std::string("10\0", 3)).bytes(), kOk, 410, 410, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 24));
        EXPECT_EQ(readId(c.bytes), c.status);
        EXPECT_EQ(record_.id_ver, c.version);
        EXPECT_EQ(context_->version, c.contextVersion);
        EXPECT_EQ(errors(), c.errors);
        EXPECT_TRUE(warnings().empty());
    }
}

TEST_F(IdBlock, WrittenFilesStartUnfinishedAndReadOnceFinished) {
    NewFile file("new.mf4");
    ASSERT_EQ(file.opened, kOk);
    const char program[8] = {'T', 'a', 'r', 'v', 'i', 'k', ' ', ' '};
    ASSERT_EQ(writeIdBlock(file.stream, 410, program), kOk);
    EXPECT_EQ(file.stream.position(), kIdBlockSize);

    const std::string bytes = file.bytes();
    ASSERT_EQ(bytes.size(), 64u);
    EXPECT_EQ(bytes.substr(0, 24), "UnFinMF 4.10    Tarvik  ");
    EXPECT_EQ(bytes.substr(24, 4), std::string(4, '\0'));
    EXPECT_EQ(bytes.substr(28, 2), std::string("\x9A\x01", 2));  // 410
    EXPECT_EQ(bytes.substr(30), std::string(34, '\0'));
    EXPECT_EQ(readId(bytes), kFailed);
    EXPECT_EQ(errors(), Lines{"102"});

    ASSERT_EQ(markFileFinished(file.stream), kOk);
    EXPECT_EQ(readId(file.bytes()), kOk);
    EXPECT_EQ(record_.id_ver, 410);
    EXPECT_EQ(std::string(record_.id_prog, 8), "Tarvik  ");
}

}  // namespace
}  // namespace tarvik::test
