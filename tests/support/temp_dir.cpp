#include "support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace tarvik::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvik-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Restore permissions a test may have taken away, so that removal succeeds.
    for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempDir::write(std::string_view name, std::string_view bytes) const {
    auto target = file(name);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write test file");
    return target;
}

std::u16string widePath(const std::filesystem::path& path) {
    // Test paths are ASCII (temporary directory and fixed names) unless a test says otherwise.
    std::u16string wide;
    for (unsigned char c : path.string()) wide.push_back(c);
    return wide;
}

namespace {

std::filesystem::path sharedFolder(std::string_view name) {
    const std::filesystem::path dir = std::filesystem::path(TARVIK_SHARED_DIR) / name;
    std::error_code ec;
    return std::filesystem::is_directory(dir, ec) ? dir : std::filesystem::path{};
}

}  // namespace

std::filesystem::path corpusDir() { return sharedFolder("corpus"); }

std::filesystem::path damagedFilesDir() { return sharedFolder("fuzz-repro"); }

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace tarvik::test
