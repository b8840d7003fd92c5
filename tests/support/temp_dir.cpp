#include "support/temp_dir.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>


namespace tarvik::test {

TempDir::TempDir() {
    // A fresh name until one is free: creating a directory fails where one exists already.
    static thread_local std::mt19937_64 random{std::random_device{}()};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "tarvik-test-%016llx", static_cast<unsigned long long>(random()));
        if (std::filesystem::create_directory(base / name)) {
            path_ = base / name;
            return;
        }
    }
    throw std::runtime_error("no temporary directory could be made");
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

namespace {

// Tried on a file with `kept` permissions only: whether opening it with `mode` fails.
bool openIsRefused(std::filesystem::perms kept, std::ios::openmode mode) {
    const TempDir dir;
    const std::filesystem::path probe = dir.write("probe", "x");
    std::filesystem::permissions(probe, kept);
    return !std::fstream(probe, mode).is_open();
}

}  // namespace

bool readsCanBeRefused() {
    static const bool refused = openIsRefused(std::filesystem::perms::none, std::ios::in);
    return refused;
}

bool writesCanBeRefused() {
    static const bool refused = openIsRefused(std::filesystem::perms::owner_read, std::ios::in | std::ios::out);
    return refused;
}

std::u16string widePath(const std::filesystem::path& path) { return path.u16string(); }

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
