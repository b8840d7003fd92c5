// Every damaged file that ever broke the reading, and every real file of the corpus, read through
// the whole interface: no shape problem in the tree, no broken counter, no hang and no large
// allocation. The inputs the fuzzer found lie in tests/fuzz/regressions; the first damaged files
// lie beside the corpus.
#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/interface_walk.h"
#include "support/temp_dir.h"

// Under AddressSanitizer an allocation above 64 MiB stops the program with a report of where it
// was made; damaged counts must never ask for that much.
extern "C" const char* __asan_default_options() { return "max_allocation_size_mb=64"; }

namespace {

using namespace tarvik::test;
namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// A read that takes longer than this is taken for a hang; the files read in milliseconds.
constexpr double kHangSeconds = 10;
constexpr long kLargestGrowthKiB = 64 * 1024;

std::vector<fs::path> filesIn(const fs::path& dir) {
    std::vector<fs::path> files;
    if (dir.empty() || !fs::is_directory(dir)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string extension = entry.path().extension().string();
        const bool hidden = entry.path().filename().string().front() == '.';
        if (entry.is_regular_file() && !hidden && extension != ".md" && extension != ".zip") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

long peakResidentKiB() {
#if defined(_WIN32)
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#endif
}

void replay(const std::vector<fs::path>& files) {
    const long baseline = peakResidentKiB();
    for (const fs::path& file : files) {
        const auto start = std::chrono::steady_clock::now();
        const std::vector<std::string> problems = readThroughInterface(widePath(file));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        for (const std::string& problem : problems) ADD_FAILURE() << file.filename() << ": " << problem;
        EXPECT_LT(seconds, kHangSeconds) << file.filename();
        // Sanitizers keep freed memory in quarantine, so resident size says nothing there; their
        // allocation limit guards those runs instead.
        if (!kSanitized) {
            EXPECT_LT(peakResidentKiB() - baseline, kLargestGrowthKiB) << file.filename() << " grew the process";
        }
        std::printf("%-50s %8.3f s\n", file.filename().string().c_str(), seconds);
    }
}

// The calls that change a file, on a copy of each (support/interface_walk.h): no crash, no
// hang, and what they leave reads safely.
void changeEach(const std::vector<fs::path>& files) {
    const TempDir dir;
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const auto start = std::chrono::steady_clock::now();
        const std::vector<std::string> problems =
            changeThroughInterface({std::istreambuf_iterator<char>(in), {}}, dir.file("changed.mf4").string());
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 2 * kHangSeconds) << file.filename() << " recovered, reduced and updated";
        for (const std::string& problem : problems) ADD_FAILURE() << file.filename() << " " << problem;
    }
}

TEST(Replay, DamagedFilesReadSafely) {
    std::vector<fs::path> files = filesIn(TARVIK_FUZZ_REGRESSIONS);
    for (const fs::path& file : filesIn(damagedFilesDir())) files.push_back(file);
    if (files.empty()) GTEST_SKIP() << "no damaged files beside the project";
    replay(files);
    changeEach(files);
}

TEST(Replay, CorpusFilesReadSafelyWithSoundTrees) {
    const std::vector<fs::path> files = filesIn(corpusDir());
    if (files.empty()) GTEST_SKIP() << "no corpus beside the project";
    replay(files);
    changeEach(files);
}

}  // namespace
