// The bytes of written files, checked against the file format directly (not through the
// library's reader): identification, header, block alignment and lengths, list order, the
// record layout, bit fields sharing a byte, and the DL lists that grow while data comes and
// shrink when the file is finished.
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/host_tree.h"
#include "support/read_items.h"
#include "support/temp_dir.h"

namespace tarvik::test {
namespace {

// A written file's bytes with little-endian field access.
struct FileBytes {
    explicit FileBytes(const std::filesystem::path& path) : data(fileBytes(path)) {}
    template <typename T>
    T at(std::uint64_t position) const { return valueAt<T>(data, position); }
    std::uint64_t link(std::uint64_t block, int index) const { return at<std::uint64_t>(block + 24 + 8 * index); }
    std::string id(std::uint64_t block) const { return data.substr(block, 4); }
    std::uint64_t length(std::uint64_t block) const { return at<std::uint64_t>(block + 8); }
    std::uint64_t links(std::uint64_t block) const { return at<std::uint64_t>(block + 16); }
    // The text of the TX block at `block`.
    std::string text(std::uint64_t block) const { return block ? std::string(data.c_str() + block + 24) : ""; }
    std::string data;
};

// Names of a CN chain, and the (byte offset, bit offset) of each channel.
struct ChannelChain {
    std::vector<std::string> names;
    std::vector<std::pair<std::uint32_t, std::uint8_t>> places;
};
ChannelChain channelChain(const FileBytes& file, std::uint64_t channelGroup) {
    ChannelChain chain;
    for (std::uint64_t cn = file.link(channelGroup, 1); cn != 0 && chain.names.size() < 100; cn = file.link(cn, 0)) {
        chain.names.push_back(file.text(file.link(cn, 2)));
        const std::uint64_t data = cn + 24 + 8 * file.links(cn);
        chain.places.emplace_back(file.at<std::uint32_t>(data + 4), file.at<std::uint8_t>(data + 3));
    }
    return chain;
}

TEST(WriteLayout, IdentificationHeaderBlocksAndLists) {
    for (std::uint16_t version : {400, 410}) {
        TempDir dir;
        HostTree tree(dir.file("layout.mf4"), version);
        tree.content()->headerComment = tree.text(u"header");
        tree.addGroup(u"Fast");
        // A 64-bit master, then in content order: 3 bits, 16 bits, 3 bits, and two channels
        // that already carry the name the master would get.
        tree.addChannel(0, u"a3", 17, 3);
        tree.addChannel(0, u"b16", 18, 16);
        tree.addChannel(0, u"c3", 17, 3);
        tree.addChannel(0, u"Fast", 5, 64);
        tree.addChannel(0, u"Fast(2)", 5, 64);
        tree.addGroup(u"Slow", 3);
        tree.addChannel(1, u"x", 5, 64).comment = tree.text(u"a comment");
        tree.addConversion(1, u"lin").parameters.linear[1] = 2;
        tree.addEvent(6, u"mark", 1.5);
        tree.addAttachment(u"abc.txt", "abc", true);
        ASSERT_EQ(tree.create(), 0u);

        const FileBytes file(dir.file("layout.mf4"));
        const std::string versionText = version == 400 ? "4.00    " : "4.10    ";
        EXPECT_EQ(file.data.substr(0, 24), "UnFinMF " + versionText + "tests   ");
        EXPECT_EQ(file.at<std::uint32_t>(24), 0u);
        EXPECT_EQ(file.at<std::uint16_t>(28), version);
        EXPECT_EQ(file.data.substr(30, 34), std::string(34, '\0'));

        ASSERT_EQ(file.id(64), "##HD");
        EXPECT_EQ(file.length(64), 104u);
        EXPECT_EQ(file.links(64), 6u);
        EXPECT_NE(file.link(64, 0), 0u) << "first DG";
        EXPECT_NE(file.link(64, 1), 0u) << "first FH";
        EXPECT_EQ(file.link(64, 2), 0u) << "no channel hierarchy";
        EXPECT_NE(file.link(64, 4), 0u) << "first EV";
        EXPECT_NE(file.link(64, 5), 0u) << "header comment";
        EXPECT_EQ(file.at<std::uint64_t>(64 + 72), 1'700'000'000'000'000'000u) << "start time";
        EXPECT_EQ(file.at<std::uint8_t>(64 + 84), 0u) << "UTC: no offsets";

        // Blocks follow each other, each on a multiple of 8 and with a known id, up to the
        // 100 zero bytes that end a new file.
        const std::set<std::string> known{"##HD", "##FH", "##MD", "##TX", "##CC", "##DG", "##CG", "##CN", "##EV", "##AT"};
        std::uint64_t position = 64, end = 0;
        while (position < file.data.size() && file.id(position).starts_with("##")) {
            EXPECT_TRUE(known.count(file.id(position))) << file.id(position) << " at " << position;
            EXPECT_EQ(position % 8, 0u);
            end = position + file.length(position);
            position = (end + 7) / 8 * 8;
        }
        EXPECT_EQ(file.data.size(), end + 100);
        EXPECT_EQ(file.data.substr(end), std::string(100, '\0'));

        // Groups in content order; the master first, then whole-byte channels, then bit fields.
        const std::uint64_t dg0 = file.link(64, 0), dg1 = file.link(dg0, 0);
        ASSERT_NE(dg1, 0u);
        EXPECT_EQ(file.link(dg1, 0), 0u);
        const std::uint64_t cg0 = file.link(dg0, 1);
        EXPECT_EQ(file.text(file.link(cg0, 2)), "Fast");
        EXPECT_EQ(file.text(file.link(file.link(dg1, 1), 2)), "Slow");
        const ChannelChain chain = channelChain(file, cg0);
        EXPECT_EQ(chain.names, (std::vector<std::string>{"Fast(3)", "b16", "Fast", "Fast(2)", "a3", "c3"}));
        const std::vector<std::pair<std::uint32_t, std::uint8_t>> places{{0, 0}, {8, 0}, {10, 0}, {18, 0}, {26, 0}, {26, 3}};
        EXPECT_EQ(chain.places, places);
        EXPECT_EQ(file.at<std::uint32_t>(cg0 + 24 + 48 + 8 + 8 + 8), 27u) << "data bytes";
        EXPECT_EQ(file.length(file.link(cg0, 1)), 160u) << "CN block";
        EXPECT_EQ(file.length(cg0), 104u) << "CG block";
        // The embedded attachment with its MD5 (the RFC 1321 value for "abc"), made by the
        // library's own history entry (the only one: index 0).
        const std::uint64_t at = file.link(64, 3);
        ASSERT_EQ(file.id(at), "##AT");
        EXPECT_EQ(file.length(at), 96u + 3);
        EXPECT_EQ(file.at<std::uint16_t>(at + 56), 5u) << "embedded, checksum valid";
        EXPECT_EQ(file.at<std::uint16_t>(at + 58), 0u);
        const std::string md5 = "\x90\x01\x50\x98\x3c\xd2\x4f\xb0\xd6\x96\x3f\x7d\x28\xe1\x7f\x72";
        EXPECT_EQ(file.data.substr(at + 64, 16), md5);
        EXPECT_EQ(file.at<std::uint64_t>(at + 80), 3u);
        EXPECT_EQ(file.at<std::uint64_t>(at + 88), 3u);
        EXPECT_EQ(file.data.substr(at + 96, 3), "abc");
        EXPECT_EQ(tree.finish(), 0u);
    }
}

// The DT block behind the first link of the data group's first DL.
std::uint64_t firstDataBlock(const FileBytes& file) {
    const std::uint64_t list = file.link(file.link(64, 0), 2);
    return file.id(list) == "##DL" ? file.link(list, 1) : 0;
}

TEST(WriteLayout, BitFieldsShareTheirFirstByte) {
    TempDir dir;
    HostTree tree(dir.file("bits.mf4"));
    tree.addGroup(u"G").recordDataBytes = 8;  // the host places every channel itself
    MF4Channel& low = tree.addChannel(0, u"low", 17, 4);
    low.byteOffset = 8;
    MF4Channel& high = tree.addChannel(0, u"high", 2, 12);
    high.byteOffset = 8;
    high.bitOffset = 4;
    ASSERT_EQ(tree.create(), 0u);
    const double time[2] = {0, 1};
    const std::uint8_t lows[2] = {0x5, 0xFA};           // only the low 4 bits belong to the field
    const std::int16_t highs[2] = {0xABC, -1};          // 12 bits, the second all ones
    ASSERT_EQ(WriteBatch().group(0, 5, time, 2).channel(0, 17, lows, 2).channel(1, 2, highs, 2).write(tree.content()), 0u);

    const FileBytes file(dir.file("bits.mf4"));
    const std::uint64_t dt = firstDataBlock(file);
    ASSERT_EQ(file.id(dt), "##DT");
    EXPECT_EQ(file.length(dt), 24u + 2 * 10);
    EXPECT_EQ(file.at<std::uint8_t>(dt + 24 + 8), 0xC5);
    EXPECT_EQ(file.at<std::uint8_t>(dt + 24 + 9), 0xAB);
    EXPECT_EQ(file.at<std::uint8_t>(dt + 34 + 8), 0xFA);
    EXPECT_EQ(file.at<std::uint8_t>(dt + 34 + 9), 0xFF);
    EXPECT_EQ(tree.finish(), 0u);
}

// The event chain of a file being written: interruption pairs first, in the order written, then
// the tree's events, then the events of the requests.
TEST(WriteLayout, EventChainKeepsInterruptionPairsFirst) {
    TempDir dir;
    HostTree tree(dir.file("events.mf4"));
    tree.addGroup(u"G");
    tree.addEvent(6, u"from the tree", 0.5);
    ASSERT_EQ(tree.create(), 0u);
    const double time[4] = {0, 1, 2, 3}, later[4] = {10, 11, 12, 13}, last[4] = {20, 21, 22, 23};
    MF4Event requestEvent{};
    requestEvent.eventType = 5, requestEvent.name = tree.text(u"from a request"), requestEvent.rangeBegin = -1;
    MF4Content* content = tree.content();
    ASSERT_EQ(WriteBatch().group(0, 5, time, 4).interruptions({0}).write(content), 0u) << "nothing to interrupt yet";
    ASSERT_EQ(WriteBatch().group(0, 5, later, 4).interruptions({0}).events(&requestEvent, 1).write(content), 0u);
    ASSERT_EQ(WriteBatch().group(0, 5, last, 4).interruptions({2}).write(content), 0u);

    const FileBytes file(dir.file("events.mf4"));
    struct Seen {
        std::uint8_t type, range;
        double time;
        std::string name;
        bool operator==(const Seen&) const = default;
    };
    std::vector<Seen> chain;
    std::uint64_t previous = 0;
    for (std::uint64_t ev = file.link(64, 4); ev != 0 && chain.size() < 10; previous = ev, ev = file.link(ev, 0)) {
        const std::uint64_t data = ev + 24 + 8 * file.links(ev);
        chain.push_back({file.at<std::uint8_t>(data), file.at<std::uint8_t>(data + 2), file.at<double>(data + 24),
                         file.text(file.link(ev, 3))});
        if (chain.back().type == 2) {
            EXPECT_EQ(file.links(ev), 6u) << "one scope link";
            EXPECT_EQ(file.link(ev, 5), file.link(file.link(64, 0), 1)) << "scoped to the channel group";
            if (chain.back().range == 2) {
                EXPECT_EQ(file.link(ev, 2), previous) << "the end names its begin";
            }
        }
    }
    const std::vector<Seen> expected{{2, 1, 3, ""},  {2, 2, 10, ""}, {2, 1, 21, ""},
                                     {2, 2, 22, ""}, {6, 0, 0.5, "from the tree"}, {5, 0, 0, "from a request"}};
    EXPECT_EQ(chain, expected);
    EXPECT_EQ(tree.finish(), 0u);
}

// A copy of a file being written, marked finished, as any reader would take it.
std::uint64_t recordsReadable(const std::filesystem::path& file) {
    std::string bytes = fileBytes(file);
    bytes.replace(0, 8, "MDF     ");
    OpenedFile copy(bytes);
    if (copy.result() != 0 || copy.content() == nullptr || copy.content()->groupCount != 1) return ~std::uint64_t{0};
    // The records must be there to read, not only counted.
    Buffer<double> master(0);
    copy.read(0, {}, {master.item(0, 0)});
    const std::uint64_t counted = copy.content()->groups[0].cycleCount;
    return master.total == counted ? counted : ~std::uint64_t{0};
}

// Writes `calls` batches of `records` records each and finishes the file; checks that a copy
// reads cleanly with the right cycle count after every call. The bytes before and after
// finishing.
std::pair<FileBytes, FileBytes> writeCalls(const TempDir& dir, int calls, std::uint64_t records) {
    HostTree tree(dir.file("lists.mf4"));
    tree.addGroup(u"G");
    EXPECT_EQ(tree.create(), 0u);
    std::vector<double> time(records);
    for (int call = 0; call < calls; ++call) {
        for (std::uint64_t r = 0; r < records; ++r) time[r] = call * 1000.0 + r;
        EXPECT_EQ(WriteBatch().group(0, 5, time.data(), records).write(tree.content()), 0u);
        EXPECT_EQ(recordsReadable(dir.file("lists.mf4")), (call + 1) * records) << "after call " << call;
    }
    FileBytes before(dir.file("lists.mf4"));
    EXPECT_EQ(tree.finish(), 0u);
    return {std::move(before), FileBytes(dir.file("lists.mf4"))};
}

TEST(WriteLayout, DataListsGrowByDoublingAndFinishingTrimsTheLast) {
    TempDir dir;
    {
        const FileBytes file = writeCalls(dir, 3, 10).second;
        const std::uint64_t list = file.link(file.link(64, 0), 2);
        EXPECT_EQ(file.data.substr(0, 8), "MDF     ");
        EXPECT_EQ(file.length(list), 88u);
        EXPECT_EQ(file.links(list), 4u);
        EXPECT_EQ(file.at<std::uint32_t>(list + 24 + 32 + 4), 3u) << "count";
        for (int i = 0; i < 3; ++i) EXPECT_EQ(file.at<std::uint64_t>(list + 64 + 8 * i), i * 80u) << "offset " << i;
        // Every linked block is a DT of ten 8-byte records.
        for (int i = 1; i <= 3; ++i) EXPECT_EQ(file.length(file.link(list, i)), 24u + 80);
    }
    {
        const auto [before, file] = writeCalls(dir, 256, 1);
        const std::uint64_t list = file.link(file.link(64, 0), 2);
        EXPECT_EQ(file.length(list), 4136u) << "a full first list stays as it was";
        EXPECT_EQ(file.link(list, 0), 0u);
        EXPECT_EQ(file.data.substr(8), before.data.substr(8)) << "finishing changes only the id";
    }
    {
        const auto [before, file] = writeCalls(dir, 257, 1);
        const std::uint64_t first = file.link(file.link(64, 0), 2);
        EXPECT_EQ(before.length(before.link(first, 0)), 40u + 16 * 512) << "the second list has room for 512";
        EXPECT_EQ(file.length(first), 4136u);
        const std::uint64_t second = file.link(first, 0);
        ASSERT_EQ(file.id(second), "##DL");
        EXPECT_EQ(file.length(second), 40u + 16) << "capacity 512 trimmed to its one link";
        EXPECT_EQ(file.at<std::uint32_t>(second + 24 + 16 + 4), 1u);
        EXPECT_EQ(file.at<std::uint64_t>(second + 24 + 16 + 8), 256u * 8) << "offset of the 257th block";
    }
}

}  // namespace
}  // namespace tarvik::test
