#include "platform/paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "platform/module_path.h"
#include "platform/text.h"
#include "support/temp_dir.h"

namespace tarvik::platform {
namespace {

TEST(Paths, ParentAndJoinWorkOnTheTextAlone) {
    EXPECT_EQ(parentDirectory(u"dir/file.mf4"), u"dir");
    EXPECT_EQ(parentDirectory(u"/data/run/file.mf4"), u"/data/run");
    EXPECT_EQ(parentDirectory(u"dir//sub/"), u"dir");
    EXPECT_EQ(parentDirectory(u"/file.mf4"), u"/");
    EXPECT_EQ(parentDirectory(u"file.mf4"), u"");
    EXPECT_EQ(parentDirectory(u"/"), u"");
    EXPECT_EQ(parentDirectory(u""), u"");

    // Joining folds dots and keeps absolute tails.
    EXPECT_EQ(joinPath(u"dir", u"x.bin"), u"dir/x.bin");
    EXPECT_EQ(joinPath(u"dir/", u"./x.bin"), u"dir/x.bin");
    EXPECT_EQ(joinPath(u"/m/data", u"../att/x.bin"), u"/m/att/x.bin");
    EXPECT_EQ(joinPath(u"/m", u"../../x.bin"), u"/x.bin");  // nothing above the root
    EXPECT_EQ(joinPath(u"a", u".."), u".");
    EXPECT_EQ(joinPath(u"a/b", u"c/"), u"a/b/c");
    EXPECT_EQ(joinPath(u"dir", u"/abs/x.bin"), u"/abs/x.bin");
    EXPECT_EQ(joinPath(u"", u"x/../y.bin"), u"y.bin");
    EXPECT_EQ(joinPath(u"d\u00E4", u"\U0001F600.bin"), u"d\u00E4/\U0001F600.bin");
}

TEST(Paths, RelativePathLeadsBackToTheTarget) {
    EXPECT_EQ(relativePath(u"/m/data", u"/m/data/att/x.bin"), u"att/x.bin");
    EXPECT_EQ(relativePath(u"/m/data/", u"/m/att/x.bin"), u"../att/x.bin");
    EXPECT_EQ(relativePath(u"/m/./data/run/..", u"/m/x.bin"), u"../x.bin");
    EXPECT_EQ(relativePath(u"/m/data", u"/m/data"), u".");
    EXPECT_EQ(relativePath(u"a", u"../x.bin"), u"../../x.bin");
    // No relative form: mixed kinds, or a base that climbs out of the common start.
    EXPECT_EQ(relativePath(u"/m/data", u"att/x.bin"), u"att/x.bin");
    EXPECT_EQ(relativePath(u"att", u"/m/x.bin"), u"/m/x.bin");
    EXPECT_EQ(relativePath(u"../up/deeper", u"x.bin"), u"x.bin");

    const std::u16string base = u"/m/data/run";
    for (const char16_t* target : {u"/m/a/b.bin", u"/m/data/run/c/d.bin", u"/e.bin"})
        EXPECT_EQ(joinPath(base, relativePath(base, target)), target);
}

TEST(Paths, CreateDirectoriesMakesMissingParents) {
    test::TempDir dir;
    const std::u16string deep = test::widePath(dir.path()) + u"/a/b/c";
    EXPECT_TRUE(createDirectories(deep));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("a/b/c")));
    EXPECT_TRUE(createDirectories(deep));  // already there
    EXPECT_FALSE(createDirectories(test::widePath(dir.write("file", "")) + u"/sub"));
    EXPECT_FALSE(createDirectories(u""));
}

// The running program's file, as the system tells it apart from the module lookup under test.
std::filesystem::path executablePath() {
#if defined(_WIN32)
    wchar_t name[4096];
    const DWORD length = GetModuleFileNameW(nullptr, name, 4096);
    return std::wstring(name, length);
#else
    return std::filesystem::read_symlink("/proc/self/exe");
#endif
}

TEST(ModulePath, IsTheDirectoryOfThisTestProgram) {
    // The test program links the library code statically, so the module is the executable.
    const std::u16string directory = moduleDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_NE(directory.back(), u'/');
    const std::filesystem::path path = utf16ToUtf8(directory);
    EXPECT_TRUE(path.is_absolute());
    EXPECT_TRUE(std::filesystem::equivalent(path, executablePath().parent_path()));
}

}  // namespace
}  // namespace tarvik::platform
