#include "platform/file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>


#include "support/temp_dir.h"

namespace tarvik::platform {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::widePath;

// Opens with a stream pointer that is not null beforehand, to see that failures clear it.
int tryOpen(const std::u16string& path, const char* mode) {
    std::FILE* stream = stdin;
    int status = openFile(path, mode, &stream);
    EXPECT_EQ(stream == nullptr, status != kOk);
    if (stream != nullptr) std::fclose(stream);
    return status;
}

TEST(File, OpenSortsFailuresIntoStatusCodesAndTakesNamesAsUtf8) {
    TempDir dir;
    const std::u16string base = widePath(dir.path());
    const std::u16string plain = widePath(dir.write("plain.mf4", "x"));

    EXPECT_EQ(tryOpen(base + u"/missing.mf4", "rb"), kNotFound);
    EXPECT_EQ(tryOpen(base + u"/no-such-dir/new.mf4", "w+b"), kNotFound);
    EXPECT_EQ(tryOpen(plain + u"/inside.mf4", "rb"), kNotFound);  // a file used as directory
    EXPECT_EQ(tryOpen(base, "r+b"), kFailed);
    EXPECT_EQ(tryOpen(base, "rb"), kFailed);  // the system would open it, reads would fail
    EXPECT_EQ(tryOpen(plain, nullptr), kFailed);
    EXPECT_EQ(openFile(plain, "rb", nullptr), kFailed);
    // A zero inside the path must not shorten it to a name the caller did not give.
    EXPECT_EQ(tryOpen(base + u"/cut" + u'\0' + u"off.mf4", "wb"), kFailed);
    EXPECT_FALSE(fs::exists(dir.file("cut")));

    EXPECT_EQ(tryOpen(base + u"/m\u00E4\U0001F600.mf4", "wb"), kOk);
    EXPECT_TRUE(fs::exists(dir.path() / u8"m\u00E4\U0001F600.mf4"));
}

TEST(File, OpenWithoutPermissionIsNoAccess) {
    if (!test::readsCanBeRefused()) GTEST_SKIP() << "nothing stops this process reading a file (root, or Windows)";
    TempDir dir;
    fs::path locked = dir.write("locked.mf4", "x");
    fs::permissions(locked, fs::perms::none);
    EXPECT_EQ(tryOpen(widePath(locked), "rb"), kNoAccess);
}

TEST(File, ResizeFileFlushesThenGrowsAndShrinks) {
    TempDir dir;
    fs::path target = dir.file("sized.bin");
    std::FILE* stream = nullptr;
    ASSERT_EQ(openFile(widePath(target), "w+b", &stream), kOk);
    ASSERT_EQ(std::fwrite("abcdef", 1, 6, stream), 6u);  // still in the stream's buffer
    ASSERT_EQ(resizeFile(stream, 3), kOk);
    EXPECT_EQ(fs::file_size(target), 3u);
    ASSERT_EQ(resizeFile(stream, 5000), kOk);
    std::string back(5001, '?');
    std::rewind(stream);
    EXPECT_EQ(std::fread(back.data(), 1, back.size(), stream), 5000u);
    EXPECT_EQ(back, "abc" + std::string(4997, '\0') + '?');
    std::fclose(stream);

    ASSERT_EQ(openFile(widePath(target), "rb", &stream), kOk);
    EXPECT_EQ(resizeFile(stream, 1), kFailed);  // opened for reading only
    std::fclose(stream);
    EXPECT_EQ(resizeFile(nullptr, 1), kFailed);
}

}  // namespace
}  // namespace tarvik::platform
