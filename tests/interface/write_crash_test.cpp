// A writer killed at any moment: everything WriteData accepted before the kill must be in the
// file, value for value, and nothing of a batch in flight may show in part; RecoverStreamingFile
// then finishes the file with every accepted batch and reduction data that reads back right.
// The scenario (the child that writes, the kill, the checks) lives in support/crash_scenario,
// which bench_crash_stress runs at hundreds of kill points more.
#include <string>

#include <gtest/gtest.h>

#include "support/crash_scenario.h"

namespace tarvik::test::crash {
namespace {

class WriteCrash : public ::testing::TestWithParam<KillPoint> {};

TEST_P(WriteCrash, EveryAcceptedBatchIsInTheFileAndNoBatchInPart) {
    SCOPED_TRACE("kill " + describe(GetParam()) + " (-1: WriteContent)");
    const TempDir dir;
    const KilledRun run = writeAndKill(dir.file("crash.mf4"), GetParam());
    ASSERT_TRUE(run.problem.empty()) << run.problem;
    SCOPED_TRACE(std::to_string(run.accepted) + " batches accepted");
    const std::string unfinished = checkUnfinished(dir, dir.file("crash.mf4"), run.accepted);
    EXPECT_TRUE(unfinished.empty()) << unfinished;
    const std::string recovered = checkRecovered(dir.file("crash.mf4"), run.accepted);
    EXPECT_TRUE(recovered.empty()) << recovered;
}

// The chain edges of both groups (28 kill points) and 20 at random times.
INSTANTIATE_TEST_SUITE_P(KillPoints, WriteCrash, ::testing::ValuesIn(killPoints(48, 20'240'611)));

}  // namespace
}  // namespace tarvik::test::crash
