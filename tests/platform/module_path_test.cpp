#include "platform/module_path.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/text.h"

namespace tarvik::platform {
namespace {

TEST(ModulePath, IsTheDirectoryOfThisTestProgram) {
    // The test program links the library code statically, so the module is the executable.
    const std::u16string directory = moduleDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_NE(directory.back(), u'/');
    const std::filesystem::path path = utf16ToUtf8(directory);
    EXPECT_TRUE(path.is_absolute());
    EXPECT_TRUE(std::filesystem::equivalent(path, std::filesystem::read_symlink("/proc/self/exe").parent_path()));
}

}  // namespace
}  // namespace tarvik::platform
