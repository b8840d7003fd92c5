// What an in-place change of a file's metadata costs when the file has many groups: a viewer
// that sets a bookmark or a property while a long measurement is open must not stall on it.
// The file holds `groups` groups (default 192) of a float64 time master and 20 float64
// channels (3,840 channels by default), 10 records each, one marker and two header properties,
// written through WriteContent, one WriteData call and FinishWriting. Everything goes through
// the public interface only.
//
// Figures (milliseconds are medians of the calls named; the page cache is warm):
//  - "read_content": ReadContent and FreeContent of the whole file (with its events), 9 times.
//  - "update_bookmarks": UpdateBookmarks on one tree, 50 calls that alternate between the
//    file's marker plus one more (a new time and name each time) and the file's marker alone,
//    each with a history text. "growth_bytes_per_call" is how much the file grew per call.
//  - "update_properties": UpdateProperties on the same tree, 50 calls that set an integer
//    property to a new value each time, with a history text; growth as above.
//  - "check": what the tree says after the calls (markers, history entries, the property's
//    last value), so that a run whose calls did something else stands out.
//
// Target: each update under 5 ms.
//
// On the development machine (2 cores, ext4; three runs alike to a few per cent) with 192
// groups (3,840 channels, a 1.96 MB file): ReadContent ~13.4 ms, UpdateBookmarks ~0.43-0.45 ms
// and UpdateProperties ~0.057 ms per call; the file grew by 444 bytes per bookmark call (a
// marker and its name on every other call, a history entry on each) and by 360 bytes per
// property call (the new header comment and a history entry). UpdateProperties takes the same
// time whatever the number of groups; UpdateBookmarks grows with the channels, since the
// events are built anew with an index of every channel: ~0.085 ms with 1 group, ~1.0 ms with
// 384, ~2.8 ms with 768 and ~8.8 ms with 1,536 groups (30,720 channels), past the target.
//
// Usage: bench_metadata_update [groups]   (default 192)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "TarvikMF4Access.h"
#include "float_records.h"
#include "support/host_tree.h"
#include "support/temp_dir.h"

namespace {

using namespace tarvik::bench;
using tarvik::test::HostTree;
using tarvik::test::TempDir;
using tarvik::test::WriteBatch;
using tarvik::test::widePath;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kRecords = 10;
constexpr int kReads = 9;
constexpr int kUpdates = 50;
constexpr std::uint32_t kMarker = 6;
constexpr std::uint32_t kInteger = 20;
constexpr double kTargetMs = 5;

std::u16string wide(const std::string& text) { return {text.begin(), text.end()}; }

double milliseconds(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

MF4Event marker(MF4Char* name, double time) {
    MF4Event event{};
    event.structSize = sizeof event;
    event.eventType = kMarker;
    event.cause = 4;
    event.syncValue = time;
    event.name = name;
    event.rangeBegin = -1;
    return event;
}

// Writes the file: `groups` groups of the float64 master and kChannels float64 channels.
void writeFile(const std::filesystem::path& file, unsigned groups) {
    HostTree tree(file);
    for (unsigned g = 0; g < groups; ++g) {
        tree.addGroup(wide("group " + std::to_string(g)), kFloat64);
        for (unsigned c = 0; c < kChannels; ++c)
            tree.addChannel(g, wide("g" + std::to_string(g) + ".ch" + std::to_string(c)), kFloat64, 64);
    }
    MF4Event& first = tree.addEvent(kMarker, u"recording start", 0);
    first.cause = 4;
    MF4Content* content = tree.content();
    content->headerComment = tree.text(u"metadata update benchmark");
    std::vector<MF4Property> properties(2);
    const char16_t* names[] = {u"vehicle", u"driver"};
    const char16_t* values[] = {u"bench car", u"nobody"};
    for (std::size_t i = 0; i < properties.size(); ++i) {
        properties[i].structSize = sizeof properties[i];
        properties[i].name = tree.text(names[i]);
        properties[i].value = tree.text(values[i]);
    }
    content->headerProperties = properties.data();
    content->headerPropertyCount = properties.size();

    std::vector<double> times(kRecords);
    std::vector<double> samples(kRecords);
    for (std::uint64_t r = 0; r < kRecords; ++r) {
        times[r] = timeOf(r);
        samples[r] = valueOf(0, r);
    }
    std::vector<std::uint32_t> findings;
    if (tree.create(&findings) != MF4_OK) throw std::runtime_error("WriteContent failed");
    WriteBatch batch;
    for (unsigned g = 0; g < groups; ++g) {
        batch.group(g, kFloat64, times.data(), kRecords);
        for (unsigned c = 0; c < kChannels; ++c) batch.channel(g * kChannels + c, kFloat64, samples.data(), kRecords);
    }
    if (batch.write(content, &findings) != MF4_OK) throw std::runtime_error("WriteData failed");
    if (tree.finish(&findings) != MF4_OK) throw std::runtime_error("FinishWriting failed");
}

double readContentMs(const std::u16string& path) {
    std::vector<double> times;
    for (int i = 0; i < kReads; ++i) {
        MF4Content* content = nullptr;
        MF4Error* errors = nullptr;
        std::uint64_t count = 0;
        const auto start = Clock::now();
        const std::uint32_t result = ReadContent(path.c_str(), &content, &errors, &count);
        FreeContent(content);
        times.push_back(milliseconds(start));
        check(result, errors, count, "ReadContent");
    }
    return median(times);
}

void printUpdate(const char* update, double ms, std::uintmax_t growth) {
    std::printf("{\"benchmark\":\"metadata_update\",\"measure\":\"%s\",\"calls\":%d,\"median_ms\":%.3f,"
                "\"growth_bytes_per_call\":%.1f,\"target_ms\":%.0f}\n",
                update, kUpdates, ms, static_cast<double>(growth) / kUpdates, kTargetMs);
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned groups = argc > 1 ? std::max(1u, static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10))) : 192;
    try {
        const TempDir dir;
        const auto file = dir.file("metadata.mf4");
        writeFile(file, groups);
        const std::u16string path = widePath(file);
        const std::uintmax_t written = std::filesystem::file_size(file);

        const double readMs = readContentMs(path);
        std::printf("{\"benchmark\":\"metadata_update\",\"measure\":\"read_content\",\"groups\":%u,"
                    "\"channels\":%u,\"file_bytes\":%ju,\"reads\":%d,\"median_ms\":%.3f}\n",
                    groups, groups * kChannels, written, kReads, readMs);
        std::fflush(stdout);

        MF4Content* content = nullptr;
        MF4Error* errors = nullptr;
        std::uint64_t count = 0;
        check(ReadContent(path.c_str(), &content, &errors, &count), errors, count, "ReadContent");

        // The wanted lists point at texts of our own: the tree's are replaced by every call.
        std::deque<std::u16string> texts;
        const std::u16string history = u"bench_metadata_update";
        std::vector<double> times;
        for (int i = 0; i < kUpdates; ++i) {
            std::vector<MF4Event> wanted{marker(texts.emplace_back(u"recording start").data(), 0)};
            if (i % 2 == 0) wanted.push_back(marker(texts.emplace_back(wide("mark " + std::to_string(i))).data(), 0.001 * i));
            errors = nullptr;
            count = 0;
            const auto start = Clock::now();
            const std::uint32_t result =
                UpdateBookmarks(content, wanted.data(), wanted.size(), history.c_str(), &errors, &count);
            times.push_back(milliseconds(start));
            check(result, errors, count, "UpdateBookmarks");
        }
        const std::uintmax_t afterBookmarks = std::filesystem::file_size(file);
        printUpdate("update_bookmarks", median(times), afterBookmarks - written);
        std::fflush(stdout);

        times.clear();
        std::u16string lastValue;
        for (int i = 0; i < kUpdates; ++i) {
            lastValue = wide(std::to_string(1000 + i));
            MF4Property property{sizeof(MF4Property), texts.emplace_back(u"run").data(), kInteger,
                                 texts.emplace_back(lastValue).data()};
            errors = nullptr;
            count = 0;
            const auto start = Clock::now();
            const std::uint32_t result = UpdateProperties(content, nullptr, &property, 1, history.c_str(), &errors, &count);
            times.push_back(milliseconds(start));
            check(result, errors, count, "UpdateProperties");
        }
        printUpdate("update_properties", median(times), std::filesystem::file_size(file) - afterBookmarks);

        std::uint64_t markers = 0;
        for (std::uint64_t e = 0; e < content->eventCount; ++e) markers += content->events[e].eventType == kMarker;
        std::string runValue = "absent";
        for (std::uint64_t p = 0; p < content->headerPropertyCount; ++p) {
            const MF4Property& property = content->headerProperties[p];
            if (property.name != nullptr && std::u16string(property.name) == u"run" && property.value != nullptr) {
                const std::u16string value(property.value);
                runValue.assign(value.begin(), value.end());
            }
        }
        std::printf("{\"benchmark\":\"metadata_update\",\"measure\":\"check\",\"markers\":%ju,\"history\":%ju,"
                    "\"properties\":%ju,\"run_value\":\"%s\",\"expected_run_value\":\"%d\"}\n",
                    static_cast<std::uintmax_t>(markers), static_cast<std::uintmax_t>(content->historyCount),
                    static_cast<std::uintmax_t>(content->headerPropertyCount), runValue.c_str(), 1000 + kUpdates - 1);
        FreeContent(content);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_metadata_update: %s\n", error.what());
        return 1;
    }
    return 0;
}
