// A fresh directory per test, removed with everything in it when the test ends.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

namespace tarvik::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path file(std::string_view name) const { return path_ / name; }

    // Writes `bytes` to the file `name` inside the directory and returns its path.
    std::filesystem::path write(std::string_view name, std::string_view bytes) const;

private:
    std::filesystem::path path_;
};

// Whether taking a file's permissions away stops this process from reading it, or from writing
// it, as tried once on a file: root reads and writes anyway, Windows knows only a read-only
// attribute, and Wine run by root lets root write past that.
bool readsCanBeRefused();
bool writesCanBeRefused();

// The whole content of a file; empty when it cannot be read.
std::string fileBytes(const std::filesystem::path& path);

// The value of type T stored at `position` of a file's `bytes` (little-endian), 0 beyond their end.
template <typename T>
T valueAt(std::string_view bytes, std::uint64_t position) {
    T value{};
    if (position <= bytes.size() && sizeof(T) <= bytes.size() - position) std::memcpy(&value, bytes.data() + position, sizeof(T));
    return value;
}

// UTF-16 form of a path, as the library's interface takes it.
std::u16string widePath(const std::filesystem::path& path);

// Folder of the real files written by other tools, or empty when it is not beside the project.
std::filesystem::path corpusDir();

// Folder of the damaged files that once broke the reading (beside the corpus), or empty.
std::filesystem::path damagedFilesDir();

}  // namespace tarvik::test
