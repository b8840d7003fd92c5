// Calls from several threads at once: the open-file registry and the one-time loading of the
// message table must hold up (this test also runs under ThreadSanitizer).
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/mdf_blocks.h"
#include "support/mdf_builder.h"
#include "support/temp_dir.h"

namespace {

TEST(ConcurrentCalls, ReadsOfDifferentFilesDoNotDisturbEachOther) {
    tarvik::test::TempDir dir;
    const std::u16string unfinished =
        tarvik::test::widePath(dir.write("u.mf4", tarvik::test::MdfBuilder("4.10    ", "UnFinMF ").bytes()));
    const std::u16string missing = tarvik::test::widePath(dir.file("missing.mf4"));
    std::atomic<int> wrong{0};
    auto work = [&](const std::u16string& path, std::uint32_t expectedFinding) {
        for (int i = 0; i < 200; ++i) {
            MF4Content* content = nullptr;
            MF4Error* errors = nullptr;
            std::uint64_t count = 0;
            const std::uint32_t result = ReadContent(path.c_str(), &content, &errors, &count);
            if (result != 2 || count != 1 || errors[0].messageId != expectedFinding || errors[0].message == nullptr)
                ++wrong;
            FreeErrors(errors, count);
            FreeContent(content);
        }
    };
    std::vector<std::thread> threads;
    threads.emplace_back(work, unfinished, 102u);
    threads.emplace_back(work, missing, 141u);
    threads.emplace_back(work, unfinished, 102u);
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

// Trees read on one thread and released on another, while other files are being read.
TEST(ConcurrentCalls, TreesAreReadAndFreedOnDifferentThreads) {
    tarvik::test::TempDir dir;
    std::vector<std::u16string> paths;
    for (int i = 0; i < 3; ++i)
        paths.push_back(tarvik::test::widePath(
            dir.write("file" + std::to_string(i) + ".mf4", tarvik::test::makeMinimalFile({.recordCount = 3u + i}).file.bytes())));
    std::atomic<int> wrong{0};
    auto readAndFree = [&](const std::u16string& path, std::uint64_t records) {
        for (int i = 0; i < 100; ++i) {
            MF4Content* content = nullptr;
            MF4Error* errors = nullptr;
            std::uint64_t count = 0;
            if (ReadContent(path.c_str(), &content, &errors, &count) != 0 || content == nullptr ||
                content->groups[0].cycleCount != records)
                ++wrong;
            FreeErrors(errors, count);
            FreeContent(content);
        }
    };
    std::vector<MF4Content*> handedOver(50, nullptr);
    std::thread reader([&] {
        for (MF4Content*& content : handedOver) {
            MF4Error* errors = nullptr;
            std::uint64_t count = 0;
            ReadContent(paths[2].c_str(), &content, &errors, &count);
            FreeErrors(errors, count);
        }
    });
    reader.join();
    std::thread freer([&] {
        for (MF4Content* content : handedOver) {
            if (content == nullptr || GetHDBlock(content) == nullptr) ++wrong;
            FreeContent(content);
        }
    });
    std::thread first(readAndFree, paths[0], 3), second(readAndFree, paths[1], 4);
    freer.join();
    first.join();
    second.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
