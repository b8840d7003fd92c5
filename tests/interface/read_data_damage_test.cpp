// Damaged files: whatever a file's bytes say, reading the tree and every channel in every mode
// through the public interface must end without a crash, a hang, a sanitizer report or a tree or
// counter that breaks the interface's promises.
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/interface_walk.h"
#include "support/mdf_blocks.h"
#include "support/read_items.h"

namespace {

using namespace tarvik::test;

// Reads `bytes` through the whole interface as a careful host reads it; true when ReadContent
// gave a tree.
bool readSafely(const TempDir& dir, const std::string& bytes, const std::string& what) {
    const std::u16string path = widePath(dir.write("damaged.mf4", bytes));
    for (const std::string& problem : readThroughInterface(path)) ADD_FAILURE() << what << ": " << problem;
    return ContentRead(path).tree != nullptr;
}

// Copies of `original` with a few bytes changed anywhere (every fifth also cut short).
void readDamagedCopies(const std::string& original, unsigned seed, int runs) {
    TempDir dir;
    std::mt19937 random(seed);
    for (int run = 0; run < runs; ++run) {
        std::string bytes = original;
        const int damage = 1 + static_cast<int>(random() % 4);
        for (int d = 0; d < damage; ++d) bytes[64 + random() % (bytes.size() - 64)] = static_cast<char>(random());
        if (run % 5 == 0) bytes.resize(64 + random() % (bytes.size() - 64));
        readSafely(dir, bytes, "seed " + std::to_string(seed) + ", copy " + std::to_string(run));
    }
}

TEST(ReadDataDamage, BuiltFilesWithDamagedBytes) {
    MinimalFile m = makeMinimalFile({.recordCount = 40});
    readDamagedCopies(m.file.bytes(), 11, 300);
}

TEST(ReadDataDamage, CorpusFilesWithDamagedBytes) {
    const auto corpus = corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the project";
    unsigned seed = 1;
    for (const char* name : {"Vector_FixedLengthStringUTF16_BE.mf4", "Vector_MeasurementArrays.mf4",
                             "asammdf_demo_arrays_vlsd.mf4", "Vector_DataList_TransposeDeflate.mf4",
                             "dSPACE_CaptureBlocks.mf4"}) {
        const std::string bytes = fileBytes(corpus / name);
        ASSERT_GT(bytes.size(), 64u) << name;
        readDamagedCopies(bytes, seed++, 60);
    }
}

// Two mid-sized corpus files (arrays; events and sample reductions) cut at every length up to 400
// bytes and at every 97th beyond, and with bytes and words written into the headers, links and
// first fields of their blocks, half of them the position of another block, which makes links
// lead to the wrong kind of block or back.
TEST(ReadDataDamage, CorpusFilesCutShortOrLinkedToOtherBlocks) {
    const auto corpus = corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the project";
    TempDir dir;
    std::mt19937_64 random(20240607);
    int trees = 0, refused = 0;
    for (const std::string name : {"Vector_MeasurementArrays.mf4", "dSPACE_CaptureBlocks.mf4"}) {
        const std::string original = fileBytes(corpus / name);
        for (std::size_t size = 0; size < original.size(); size += size < 400 ? 1 : 97)
            readSafely(dir, original.substr(0, size), name + " cut at " + std::to_string(size));
        std::vector<std::size_t> starts;  // every "##" at a multiple of 8
        for (std::size_t i = 64; i + 24 <= original.size(); i += 8)
            if (original.compare(i, 2, "##") == 0) starts.push_back(i);
        ASSERT_GT(starts.size(), 20u) << name;
        for (int run = 0; run < 200; ++run) {
            std::string copy = original;
            const std::size_t width = run % 2 == 0 ? 1 : 8;
            for (int damage = 0; damage < 1 + run % 3; ++damage) {
                const std::size_t at = std::min(starts[random() % starts.size()] + random() % 120, copy.size() - width);
                const std::uint64_t value = random() % 2 ? starts[random() % starts.size()] : random();
                copy.replace(at, width, u64(value).substr(0, width));
            }
            ++(readSafely(dir, copy, name + ", run " + std::to_string(run)) ? trees : refused);
        }
    }
    // Both outcomes occur, so the damage does reach what the read looks at.
    EXPECT_GT(trees, 0);
    EXPECT_GT(refused, 0);
}

}  // namespace
