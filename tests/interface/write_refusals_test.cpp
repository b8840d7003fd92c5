// What the writing functions refuse, and that a refusal leaves nothing behind: no file where the
// tree cannot be written, no registry entry after a finding, the open file untouched by a request
// that does not fit it.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/host_tree.h"
#include "support/read_items.h"
#include "support/temp_dir.h"

namespace tarvik::test {
namespace {

std::string firstBytes(const std::filesystem::path& path) { return fileBytes(path).substr(0, 8); }

TEST(WriteRefusals, ArgumentsPathsAndTheOrderOfCalls) {
    TempDir dir;
    HostTree tree(dir.file("a.mf4"));
    tree.addGroup(u"G");
    MF4Content* content = tree.content();
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    EXPECT_EQ(WriteContent(nullptr, content, &errors, &count), 2u);
    EXPECT_EQ(WriteContent(tree.path().c_str(), nullptr, &errors, &count), 2u);
    const std::u16string other = widePath(dir.file("b.mf4"));
    EXPECT_EQ(WriteContent(other.c_str(), content, &errors, &count), 2u) << "the tree names another path";
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.mf4")));
    EXPECT_EQ(count, 0u);

    ASSERT_EQ(tree.create(), 0u);
    EXPECT_EQ(tree.create(), 2u) << "the path is being written";
    const double time[2] = {0, 1};
    EXPECT_EQ(WriteBatch().group(0, 5, time, 2).write(content), 0u) << "the first write goes on";
    EXPECT_EQ(tree.finish(), 0u);
    EXPECT_EQ(tree.finish(), 2u) << "finished already";
    EXPECT_EQ(WriteBatch().group(0, 5, time, 2).write(content), 2u);
    EXPECT_EQ(firstBytes(dir.file("a.mf4")), "MDF     ");

    // A tree never written, and one closed unfinished: later calls do nothing.
    HostTree unknown(dir.file("c.mf4"));
    CloseUnfinished(unknown.content());
    CloseUnfinished(nullptr);
    HostTree closed(dir.file("d.mf4"));
    closed.addGroup(u"G");
    ASSERT_EQ(closed.create(), 0u);
    ASSERT_EQ(WriteBatch().group(0, 5, time, 2).write(closed.content()), 0u);
    CloseUnfinished(closed.content());
    EXPECT_EQ(WriteBatch().group(0, 5, time, 2).write(closed.content()), 2u);
    EXPECT_EQ(closed.finish(), 2u);
    EXPECT_EQ(firstBytes(dir.file("d.mf4")), "UnFinMF ");
}

TEST(WriteRefusals, TreesThatCannotBeWrittenMakeNoFile) {
    TempDir dir;
    {
        HostTree tree(dir.file("axes.mf4"));
        tree.addGroup(u"G");
        MF4Channel& map = tree.addChannel(0, u"map", 5, 64);
        map.dimensionCount = 2, map.dimensionSizes[0] = 2, map.dimensionSizes[1] = 2, map.isLookup = 1;
        double values[2] = {1, 2};
        MF4Axis fixed{sizeof(MF4Axis), -1, -1, 0, -1, values, 2, -1};
        MF4Axis channel{sizeof(MF4Axis), -1, -1, 1, -1, nullptr, 0, 0};
        map.axes[0] = &fixed, map.axes[1] = &channel;
        std::vector<std::uint32_t> findings;
        EXPECT_EQ(tree.create(&findings), 2u);
        EXPECT_EQ(findings, std::vector<std::uint32_t>{143});
        EXPECT_FALSE(std::filesystem::exists(dir.file("axes.mf4")));
    }
    {
        // Two properties of one name break the schema of the header comment.
        HostTree tree(dir.file("comment.mf4"));
        tree.addGroup(u"G");
        MF4Property twice[2] = {{sizeof(MF4Property), tree.text(u"p"), 31, tree.text(u"1")},
                                {sizeof(MF4Property), tree.text(u"p"), 31, tree.text(u"2")}};
        tree.content()->headerProperties = twice;
        tree.content()->headerPropertyCount = 2;
        MF4Error* errors = nullptr;
        std::uint64_t count = 0;
        EXPECT_EQ(WriteContent(tree.path().c_str(), tree.content(), &errors, &count), 2u);
        ASSERT_EQ(count, 1u);
        EXPECT_EQ(errors[0].messageId, 128u);
        const std::u16string detail = errors[0].detail2 ? errors[0].detail2 : u"";
        EXPECT_NE(detail.find(u"HD Block"), std::u16string::npos);
        EXPECT_NE(detail.find(u"hd_md_comment"), std::u16string::npos);
        FreeErrors(errors, count);
        EXPECT_FALSE(std::filesystem::exists(dir.file("comment.mf4")));
        EXPECT_EQ(tree.finish(), 2u) << "no entry was left";
    }
    {
        // A folder that cannot hold the file: a finding that names it, and no entry.
        std::ofstream(dir.file("plain")) << "a file, not a folder";
        HostTree tree(dir.file("plain") / "x.mf4");
        tree.addGroup(u"G");
        MF4Error* errors = nullptr;
        std::uint64_t count = 0;
        EXPECT_EQ(WriteContent(tree.path().c_str(), tree.content(), &errors, &count), 2u);
        ASSERT_EQ(count, 1u);
        EXPECT_EQ(errors[0].detail1 ? std::u16string(errors[0].detail1) : u"", tree.path());
        FreeErrors(errors, count);
        EXPECT_EQ(tree.finish(), 2u);
    }
}

TEST(WriteRefusals, RequestsThatDoNotFitTheFileWriteNothing) {
    TempDir dir;
    HostTree tree(dir.file("r.mf4"));
    tree.addGroup(u"G");
    tree.addChannel(0, u"x", 5, 64);
    MF4Channel member{};
    member.name = tree.text(u"S.a"), member.valueType = 18, member.bitCount = 16;
    member.conversion = member.syncAttachment = member.lengthChannel = -1;
    MF4Channel& structure = tree.addChannel(0, u"S", 36, 0);
    structure.children = &member, structure.childCount = 1;
    ASSERT_EQ(tree.create(), 0u);
    const auto size = std::filesystem::file_size(dir.file("r.mf4"));

    const double time[2] = {0, 1}, values[2] = {5, 6};
    const float narrow[2] = {5, 6};
    const std::uint16_t shorts[2] = {1, 2};
    MF4Content* content = tree.content();
    std::vector<std::uint32_t> findings;
    EXPECT_EQ(WriteBatch().group(1, 5, time, 2).write(content, &findings), 2u) << "no such group";
    EXPECT_EQ(WriteBatch().group(0, 4, narrow, 2).write(content, &findings), 2u) << "master of another type";
    EXPECT_EQ(WriteBatch().group(0, 5, time, 2).channel(0, 4, narrow, 2).write(content, &findings), 2u) << "f32 for f64";
    EXPECT_EQ(WriteBatch().group(0, 5, time, 2).channel(0, 5, values, 1).write(content, &findings), 2u) << "too few values";
    EXPECT_EQ(WriteBatch().group(0, 5, time, 2).channel(7, 5, values, 2).write(content, &findings), 2u) << "no such channel";
    EXPECT_EQ(WriteBatch().group(0, 5, time, 2).channel(1, 18, shorts, 2, {1}).write(content, &findings), 2u) << "no such member";
    EXPECT_EQ(WriteBatch().group(0, 5, nullptr, 2).write(content, &findings), 2u) << "no values";
    EXPECT_TRUE(findings.empty());
    EXPECT_EQ(std::filesystem::file_size(dir.file("r.mf4")), size) << "nothing was written";

    ASSERT_EQ(WriteBatch().group(0, 5, time, 2).channel(0, 5, values, 2).channel(1, 18, shorts, 2, {0}).write(content), 0u);
    ASSERT_EQ(tree.finish(), 0u);
    OpenedFile file(dir.file("r.mf4"));
    ASSERT_EQ(file.result(), 0u);
    EXPECT_EQ(file.content()->groups[0].cycleCount, 2u) << "only the request that fitted";
}

}  // namespace
}  // namespace tarvik::test
