// Damaged files: whatever a file's bytes say, reading the tree and every channel in every mode
// through the public interface must end without a crash, a hang, a sanitizer report or a tree or
// counter that breaks the interface's promises.
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/interface_walk.h"
#include "support/mdf_blocks.h"
#include "support/temp_dir.h"

namespace {

using namespace tarvik::test;

// Copies of `original` with a few bytes changed (every fifth also cut short), each read through
// the whole interface as a careful host reads it.
void readDamagedCopies(const std::string& original, unsigned seed, int runs) {
    TempDir dir;
    std::mt19937 random(seed);
    for (int run = 0; run < runs; ++run) {
        std::string bytes = original;
        const int damage = 1 + static_cast<int>(random() % 4);
        for (int d = 0; d < damage; ++d) bytes[64 + random() % (bytes.size() - 64)] = static_cast<char>(random());
        if (run % 5 == 0) bytes.resize(64 + random() % (bytes.size() - 64));
        for (const std::string& problem : readThroughInterface(widePath(dir.write("damaged.mf4", bytes))))
            ADD_FAILURE() << "seed " << seed << ", copy " << run << ": " << problem;
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
        std::ifstream in(corpus / name, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        ASSERT_GT(bytes.size(), 64u) << name;
        readDamagedCopies(bytes, seed++, 60);
    }
}

}  // namespace
