// How long reading a file's structure takes, and how many read system calls it makes: the
// whole block graph read into the block layer ("block_layer"), and the whole content tree
// through ReadContent and FreeContent ("read_content"), each repeated to average out the noise.
//
// Without a path the file is generated: 192 groups, 3,618 channels (one float64 time master
// and uint16 signals per group), 3,013 conversions (linear ones with a unit, and value-to-text
// tables of five texts and a default) and about 20,000 text blocks (names, units, comments,
// sources), the shape of a large real logger file. "read_syscalls" is what the kernel counted
// for the process per read (read and pread alike, from /proc/self/io), next to "file_pages",
// the 16 KiB pages the file spans: a read that costs more calls than pages goes back to the
// system for bytes it had already read.
//
// Target: ReadContent of the generated file under 20 ms, with no more system calls than pages.
//
// On the development machine (2 cores, warm page cache), generated file (1.9 MB, 118 pages,
// 20,466 texts): block layer ~6.4 ms, ReadContent ~7.5 ms, 120 read calls per read (two of
// them this program's own look at /proc). With 16 pages kept in turn the same reads took
// ~8.7 and ~10 ms and 339 calls: blocks far apart evicted the pages the next block needed.
//
// Usage: bench_structure_read [file] [reads]   (default: the generated file, 20 reads)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "TarvikMF4Access.h"
#include "blocks/block_layer.h"
#include "blocks/structure_read.h"
#include "findings/findings.h"
#include "large_structure.h"
#include "support/temp_dir.h"

using namespace tarvik;

namespace {

constexpr std::uintmax_t kPageBytes = 0x4000;
constexpr double kTargetMs = 20;

// Read system calls the kernel has counted for this process.
std::uint64_t readSyscalls() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "syscr:") return value;
    return 0;
}

struct Measure {
    double milliseconds = 0;
    double syscalls = 0;
    int status = 0;
    std::uint64_t findings = 0;  // of the last read
};

// `read` returns the read's status and sets the number of findings it made.
Measure repeat(int reads, const std::function<int(std::uint64_t&)>& read) {
    Measure measure;
    const std::uint64_t callsBefore = readSyscalls();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < reads; ++i) measure.status = read(measure.findings);
    measure.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / reads;
    measure.syscalls = static_cast<double>(readSyscalls() - callsBefore) / reads;
    return measure;
}

void print(const char* what, const std::filesystem::path& file, std::uintmax_t size, int reads,
           const Measure& measure) {
    std::printf(
        "{\"benchmark\":\"structure_read\",\"measure\":\"%s\",\"file\":\"%s\",\"file_bytes\":%ju,"
        "\"file_pages\":%ju,\"reads\":%d,\"status\":%d,\"findings\":%ju,\"ms_per_read\":%.3f,\"read_syscalls\":%.1f,"
        "\"target_ms\":%.0f}\n",
        what, file.filename().string().c_str(), size, (size + kPageBytes - 1) / kPageBytes, reads,
        measure.status, static_cast<std::uintmax_t>(measure.findings), measure.milliseconds, measure.syscalls, kTargetMs);
}

}  // namespace

int main(int argc, char** argv) {
    test::TempDir folder;
    std::filesystem::path file;
    if (argc > 1) {
        file = argv[1];
    } else {
        bench::LargeStructureCounts counts;
        const std::string bytes = bench::largeStructureFile({}, counts);
        file = folder.path() / "large_structure.mf4";
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::printf("{\"benchmark\":\"structure_read\",\"generated\":{\"groups\":%zu,\"channels\":%zu,"
                    "\"conversions\":%zu,\"texts\":%zu}}\n",
                    counts.groups, counts.channels, counts.conversions, counts.texts);
    }
    const int reads = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error) {
        std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
        return 1;
    }

    const std::u16string path = test::widePath(file);
    print("block_layer", file, size, reads, repeat(reads, [&](std::uint64_t& findings) {
              ZtCBlockLayerCore layer;
              layer.SetFilePath(path);
              FindingList list(path);
              const int status = readStructure(layer, list, 0);
              findings = list.errors().size() + list.warnings().size();
              return status;
          }));
    print("read_content", file, size, reads, repeat(reads, [&](std::uint64_t& findings) {
              MF4Content* content = nullptr;
              MF4Error* errors = nullptr;
              const std::uint32_t result = ReadContent(path.c_str(), &content, &errors, &findings);
              FreeErrors(errors, findings);
              FreeContent(content);
              return static_cast<int>(result);
          }));
    return 0;
}
