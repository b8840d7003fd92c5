// Path tests and joins for external attachment files beside a measurement file.
#pragma once

#include <string>
#include <string_view>

namespace tarvik::platform {

bool isRelativePath(std::u16string_view path);

// The path without its last component ("dir/file.mf4" -> "dir"); empty when none is left.
std::u16string parentDirectory(std::u16string_view path);

// `relative` appended to `directory` with one separator; `relative` alone when it is absolute
// or `directory` is empty. "." and ".." components are folded lexically.
std::u16string joinPath(std::u16string_view directory, std::u16string_view relative);

// `target` expressed relative to `baseDirectory` (both absolute or both relative to the same
// place); `target` unchanged when no relative form exists.
std::u16string relativePath(std::u16string_view baseDirectory, std::u16string_view target);

// Creates `directory` and its missing parents. True when it exists afterwards.
bool createDirectories(std::u16string_view directory);

}  // namespace tarvik::platform
