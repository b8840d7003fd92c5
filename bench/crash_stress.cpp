// The crash test's scenario at many more kill points: a child process writes two groups ("Slow"
// reduced while writing) batch by batch until it is killed with SIGKILL; the file is then
// checked as the kill left it and after RecoverStreamingFile (every accepted batch exactly,
// no batch in part, reduction data whose minima and maxima per time bucket are those written).
// The kill points are the crash test's kinds: the chain edges, then seeded random times from
// WriteContent on, up to bounds of 30 us to 90 ms in turn.
//
// Figures, as JSON lines: every 100 kills a progress line, then {"kills", "held", "failed",
// "seconds", ...} with the batches the writers had accepted (mean, largest), and the first few
// failures with their kill point and the first mismatch. A kill "held" when both checks found
// the file as it must be. Nothing is asserted, but the exit code is 1 when any kill failed.
//
// On the development machine (2 cores, ext4, optimised build, other builds running) 500 kills
// took about 47 s, all held; a writer had accepted 566 batches on average, 4311 at most.
//
// Usage: bench_crash_stress [kills] [seed]   (defaults 500 and 1)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/crash_scenario.h"

namespace {

using namespace tarvik::test;

constexpr std::size_t kFailuresShown = 5;

std::string jsonText(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            quoted += escaped;
            continue;
        }
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t kills = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 500;
    const auto seed = static_cast<std::uint32_t>(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1);
    const std::vector<crash::KillPoint> points = crash::killPoints(kills, seed);
    const auto begin = std::chrono::steady_clock::now();
    const auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count(); };
    const TempDir dir;
    const std::filesystem::path file = dir.file("crash.mf4");
    std::size_t held = 0;
    std::uint64_t acceptedSum = 0, acceptedMost = 0;
    std::vector<std::string> failures;
    for (std::size_t k = 0; k < points.size(); ++k) {
        std::filesystem::remove(file);
        const crash::KilledRun run = crash::writeAndKill(file, points[k]);
        std::string problem = run.problem;
        if (problem.empty()) problem = crash::checkUnfinished(dir, file, run.accepted);
        if (problem.empty()) problem = crash::checkRecovered(file, run.accepted);
        acceptedSum += run.accepted;
        acceptedMost = std::max(acceptedMost, run.accepted);
        if (problem.empty()) ++held;
        else if (failures.size() < kFailuresShown)
            failures.push_back("{\"kill\":" + jsonText(crash::describe(points[k])) + ",\"accepted\":" +
                               std::to_string(run.accepted) + ",\"problem\":" + jsonText(problem) + "}");
        if ((k + 1) % 100 == 0 && k + 1 < points.size())
            std::printf("{\"benchmark\":\"crash_stress\",\"progress\":%zu,\"held\":%zu,\"failed\":%zu,\"seconds\":%.2f}\n",
                        k + 1, held, k + 1 - held, seconds());
        std::fflush(stdout);
    }
    const std::size_t failed = points.size() - held;
    std::printf("{\"benchmark\":\"crash_stress\",\"kills\":%zu,\"held\":%zu,\"failed\":%zu,\"seconds\":%.2f,"
                "\"seed\":%u,\"accepted_batches_mean\":%.1f,\"accepted_batches_most\":%ju}\n",
                points.size(), held, failed, seconds(), seed,
                points.empty() ? 0.0 : static_cast<double>(acceptedSum) / static_cast<double>(points.size()),
                static_cast<std::uintmax_t>(acceptedMost));
    for (const std::string& failure : failures) std::printf("{\"benchmark\":\"crash_stress\",\"failure\":%s}\n", failure.c_str());
    return failed == 0 ? 0 : 1;
}
