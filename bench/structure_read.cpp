// How long one structure read takes: the whole block graph of a file (ID, HD and everything
// below it, texts included) read into the block layer, repeated to average out the noise.
// The file is the largest one of the corpus unless a path is given.
//
// Usage: bench_structure_read [file] [reads]   (default: largest corpus file, 20 reads)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "blocks/block_layer.h"
#include "blocks/structure_read.h"
#include "findings/findings.h"
#include "support/temp_dir.h"

using namespace tarvik;

namespace {

std::filesystem::path largestCorpusFile() {
    std::filesystem::path largest;
    std::uintmax_t largestSize = 0;
    const auto corpus = test::corpusDir();
    if (corpus.empty()) return largest;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || (extension != ".mf4" && extension != ".MF4")) continue;
        if (entry.file_size() > largestSize) {
            largestSize = entry.file_size();
            largest = entry.path();
        }
    }
    return largest;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path file =
        argc > 1 ? std::filesystem::path(argv[1]) : largestCorpusFile();
    const int reads = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    std::error_code error;
    const std::uintmax_t size = file.empty() ? 0 : std::filesystem::file_size(file, error);
    if (file.empty() || error) {
        std::fprintf(stderr,
                     "no file to read: give a path, or place the corpus beside the project\n");
        return 1;
    }

    const std::u16string path = test::widePath(file);
    int status = 0;
    std::size_t findings = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < reads; ++i) {
        ZtCBlockLayerCore layer;
        layer.SetFilePath(path);
        FindingList list(path);
        status = readStructure(layer, list, 0);
        findings = list.errors().size() + list.warnings().size();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "{\"benchmark\":\"structure_read\",\"file\":\"%s\",\"file_bytes\":%ju,\"reads\":%d,"
        "\"status\":%d,\"findings\":%zu,\"milliseconds_per_read\":%.3f}\n",
        file.filename().string().c_str(), size, reads, status, findings, seconds * 1e3 / reads);
    return 0;
}
