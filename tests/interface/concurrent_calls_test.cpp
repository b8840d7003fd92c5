// Calls from several threads at once: the open-file registry and the one-time loading of the
// message table must hold up (this test also runs under ThreadSanitizer).
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
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

}  // namespace
