// libFuzzer target: every input becomes a file that is read through the whole interface as
// careful host reads it (support/interface_walk.h), then repaired as an unfinished file and given
// reduction data as a finished one, each result read the same way. A crash, a sanitizer report, a leak, an
// allocation beyond the fuzzer's limit, a slow input or a tree that breaks its own conventions
// is a finding; the last one aborts with the problems printed.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/interface_walk.h"
#include "support/temp_dir.h"

namespace {

// One file per fuzzing process, in memory-backed storage when the machine has it.
const std::string& inputPath() {
    static const std::string path = [] {
        const std::filesystem::path shm = "/dev/shm";
        const std::filesystem::path dir = std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path();
        return (dir / ("tarvik-fuzz-" + std::to_string(getpid()) + ".mf4")).string();
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = inputPath();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    const bool written = std::fwrite(data, 1, size, file) == size;
    std::fclose(file);
    if (!written) return 0;
    auto problems = tarvik::test::readThroughInterface(tarvik::test::widePath(path));
    // The same bytes as recovery, AddReductionData and the in-place updates meet them.
    for (std::string& problem : tarvik::test::changeThroughInterface({reinterpret_cast<const char*>(data), size}, path))
        problems.push_back(std::move(problem));
    std::remove(path.c_str());
    if (problems.empty()) return 0;
    for (const std::string& problem : problems) std::fprintf(stderr, "tree or counter problem: %s\n", problem.c_str());
    std::abort();
}
