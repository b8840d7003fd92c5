#include "platform/paths.h"

#include <filesystem>
#include <system_error>

#include "platform/text.h"

namespace tarvik::platform {
namespace {

namespace fs = std::filesystem;

// Paths go through UTF-8 and the char8_t forms, which std::filesystem reads as UTF-8 on every
// system (a plain std::string would be taken in the Windows code page there).
fs::path toPath(std::u16string_view path) {
    std::string utf8 = utf16ToUtf8(path);
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

// Paths come back with "/" between their parts on every system: Windows takes it as well as
// "\\", and a relative path stored in a file then reads the same on every system.
std::u16string fromPath(const fs::path& path) {
    std::u8string utf8 = path.generic_u8string();
    return utf8ToUtf16(std::string(utf8.begin(), utf8.end()));
}

// "dir/sub/" -> "dir/sub"; a root stays as it is.
fs::path withoutTrailingSeparator(fs::path path) {
    while (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
    return path;
}

}  // namespace

bool isRelativePath(std::u16string_view path) {
    try {
        return toPath(path).is_relative();
    } catch (...) {
        return false;
    }
}

std::u16string parentDirectory(std::u16string_view path) {
    fs::path trimmed = withoutTrailingSeparator(toPath(path));
    if (!trimmed.has_relative_path()) return {};
    return fromPath(trimmed.parent_path());
}

std::u16string joinPath(std::u16string_view directory, std::u16string_view relative) {
    fs::path tail = toPath(relative);
    fs::path joined = directory.empty() || tail.is_absolute() ? tail : toPath(directory) / tail;
    return fromPath(withoutTrailingSeparator(joined.lexically_normal()));
}

std::u16string relativePath(std::u16string_view baseDirectory, std::u16string_view target) {
    fs::path base = toPath(baseDirectory).lexically_normal();
    fs::path goal = withoutTrailingSeparator(toPath(target).lexically_normal());
    fs::path relative = withoutTrailingSeparator(goal.lexically_relative(base));
    if (relative.empty()) return std::u16string(target);
    // A ".." left in the base past the common part stands for a directory name that only the
    // file system knows ("x" from "../y"); the lexical answer is then wrong, and this check
    // catches it and any other case where the relative form does not lead back to the target.
    if (withoutTrailingSeparator((base / relative).lexically_normal()) != goal)
        return std::u16string(target);
    return fromPath(relative);
}

bool createDirectories(std::u16string_view directory) {
    try {
        fs::path path = toPath(directory);
        if (path.empty()) return false;
        std::error_code error;
        fs::create_directories(path, error);
        return fs::is_directory(path, error);
    } catch (...) {
        return false;
    }
}

}  // namespace tarvik::platform
