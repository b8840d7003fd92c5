// The structure read on damaged copies of real files written by other tools, and on built files
// with impossible links and lengths: whatever the bytes, the read ends with success or failure
// and never crashes or hangs. (tests/interface/corpus_content_test checks what the intact files
// hold.)
#include <algorithm>
#include <random>

#include "new_file.h"
#include "structure_walk.h"

namespace tarvik::test {
namespace {

using platform::kFailed;
using platform::kOk;

// Copies of two mid-sized corpus files (arrays; events and sample reductions), damaged in many
// ways, read again and again.
class DamagedCopies : public StructureWalk {
protected:
    void SetUp() override {
        if (corpusDir().empty()) GTEST_SKIP() << "no corpus beside the project";
        for (const char* name : {"Vector_MeasurementArrays.mf4", "dSPACE_CaptureBlocks.mf4"}) {
            originals_.push_back(contentOf(corpusDir() / name));
            ASSERT_GT(originals_.back().size(), 4096u) << name;
        }
    }

    void expectOkOrFailed(std::string_view bytes, const std::string& what) {
        const int status = read(bytes);
        EXPECT_TRUE(status == kOk || status == kFailed) << what << ": " << status;
        ++(status == kOk ? succeeded_ : failed_);
    }

    std::vector<std::string> originals_;
    int succeeded_ = 0;
    int failed_ = 0;
};

TEST_F(DamagedCopies, TruncatedCopiesEndCleanly) {
    for (const std::string& original : originals_)
        for (std::size_t size = 0; size < original.size(); size += size < 400 ? 1 : 97)
            expectOkOrFailed(std::string_view(original).substr(0, size),
                             "truncated at " + std::to_string(size));
}

// Offsets of the blocks in `bytes`: every "##" at a multiple of 8.
std::vector<std::size_t> blockStarts(const std::string& bytes) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 64; i + 24 <= bytes.size(); i += 8)
        if (bytes.compare(i, 2, "##") == 0) starts.push_back(i);
    return starts;
}

TEST_F(DamagedCopies, OverwrittenBytesAndWordsEndCleanly) {
    std::mt19937_64 random(20240607);
    for (const std::string& original : originals_) {
        const std::vector<std::size_t> starts = blockStarts(original);
        ASSERT_FALSE(starts.empty());
        for (int run = 0; run < 200; ++run) {
            std::string copy = original;
            const std::size_t width = run % 2 == 0 ? 1 : 8;
            for (int damage = 0; damage < 1 + run % 3; ++damage) {
                // Into the header, links or first fields of a block; half of the values are the
                // position of another block, which makes links lead to the wrong kind or back.
                const std::size_t at = std::min(starts[random() % starts.size()] + random() % 120,
                                                copy.size() - width);
                const std::uint64_t value =
                    random() % 2 ? starts[random() % starts.size()] : random();
                copy.replace(at, width, u64(value).substr(0, width));
            }
            expectOkOrFailed(copy, "run " + std::to_string(run));
        }
    }
    // Both outcomes occur, so the damage does reach what the walk reads.
    EXPECT_GT(succeeded_, 0);
    EXPECT_GT(failed_, 0);
}

TEST_F(StructureWalk, FarLinksAndHugeLengthsEndCleanly) {
    constexpr std::int64_t kFar = std::int64_t{1} << 40;
    constexpr std::uint64_t kHuge = std::uint64_t{1} << 62;
    const std::vector<std::pair<const char*, void (*)(MinimalFile&)>> damages{
        {"far channel group", [](MinimalFile& m) { setLink(m.file, m.dg, 1, kFar); }},
        {"far data block", [](MinimalFile& m) { setLink(m.file, m.dg, 2, kFar); }},
        {"far channel name", [](MinimalFile& m) { setLink(m.file, m.valueChannel, 2, kFar); }},
        {"far comment", [](MinimalFile& m) { setLink(m.file, m.hd, 5, kFar); }},
        {"negative next", [](MinimalFile& m) { setLink(m.file, m.timeChannel, 0, -8); }},
        {"huge channel", [](MinimalFile& m) { m.file.patchU64(m.valueChannel + 8, kHuge); }},
        {"huge channel links", [](MinimalFile& m) { m.file.patchU64(m.valueChannel + 16, kHuge); }},
        // The time channel's name ("time", 32 bytes with padding) lies right before it.
        {"huge name text", [](MinimalFile& m) { m.file.patchU64(m.timeChannel - 32 + 8, kHuge); }},
        {"huge data block", [](MinimalFile& m) { m.file.patchU64(m.dt + 8, kHuge); }},
        {"huge history", [](MinimalFile& m) { m.file.patchU64(m.fh + 8, kHuge); }},
        {"huge attachment",
         [](MinimalFile& m) {
             const auto at = m.file.addBlock(
                 "##AT", {0, 0, 0, 0}, atData({.originalSize = kHuge, .embeddedSize = kHuge}));
             m.file.patchU64(at + 8, kHuge);
             setLink(m.file, m.hd, 3, at);
         }},
    };
    for (const auto& [what, damage] : damages) {
        MinimalFile m = makeMinimalFile();
        damage(m);
        const int status = read(m.file);
        EXPECT_TRUE(status == kOk || status == kFailed) << what;
    }
}

}  // namespace
}  // namespace tarvik::test
