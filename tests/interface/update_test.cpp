// UpdateBookmarks and UpdateProperties on files written by the library and on the corpus: the
// file's chain holds exactly the wanted markers, other events and the measurement stay as they
// were, the header comment changes where it fits, a comment that does not validate leaves the
// file byte for byte as it was, and the tree agrees with a new read of the file after every call.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "support/host_tree.h"
#include "support/read_items.h"
#include "support/temp_dir.h"

namespace tarvik::test {
namespace {

std::u16string textOf(const MF4Char* text) { return text ? std::u16string(text) : std::u16string(); }

// The XML of the header comment the file links to now.
std::string headerCommentOf(const std::filesystem::path& file) {
    const std::string bytes = fileBytes(file);
    const auto block = valueAt<std::uint64_t>(bytes, 128);
    const auto length = valueAt<std::uint64_t>(bytes, block + 8);
    if (block == 0 || block + length > bytes.size() || length < 25) return {};
    return std::string(bytes.data() + block + 24);
}

// What identifies an event for these tests, position included.
using EventKey = std::tuple<std::uint32_t, double, std::u16string, std::u16string, std::int32_t, std::uint64_t>;

EventKey keyOf(const MF4Event& event) {
    return {event.eventType, event.syncValue, textOf(event.name), textOf(event.comment), event.typeProperty,
            event.position};
}

std::vector<EventKey> eventsOf(const MF4Content& content) {
    std::vector<EventKey> events;
    for (std::uint64_t i = 0; i < content.eventCount; ++i) events.push_back(keyOf(content.events[i]));
    return events;
}

std::vector<EventKey> withType(const std::vector<EventKey>& events, bool markers) {
    std::vector<EventKey> kept;
    for (const EventKey& event : events)
        if ((std::get<0>(event) == 6) == markers) kept.push_back(event);
    return kept;
}

std::vector<std::uint32_t> findingNumbers(const MF4Error* errors, std::uint64_t count, bool errorsOnly = false) {
    std::vector<std::uint32_t> numbers;
    for (std::uint64_t i = 0; i < count; ++i)
        if (!errorsOnly || errors[i].severity == 0) numbers.push_back(errors[i].messageId);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// A bookmark the host wants; its texts live in the object.
struct Wanted {
    double time;
    std::u16string name, comment;
    std::int32_t type = 0;

    MF4Event event() const {
        MF4Event event{};
        event.structSize = sizeof event;
        event.eventType = 6;
        event.rangeBegin = -1;
        event.syncValue = time;
        event.name = const_cast<MF4Char*>(name.c_str());
        event.comment = comment.empty() ? nullptr : const_cast<MF4Char*>(comment.c_str());
        event.typeProperty = type;
        return event;
    }
    auto key() const { return std::tie(time, name, comment, type); }
};

// An update's result and the sorted numbers of its findings.
struct Call {
    std::uint32_t result = 0;
    std::vector<std::uint32_t> findings;
};

template <typename Update, typename... Arguments>
Call call(Update update, Arguments... arguments) {
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    Call call{update(arguments..., &errors, &count), findingNumbers(errors, count)};  // in this order
    FreeErrors(errors, count);
    return call;
}

Call updateBookmarks(MF4Content* tree, const MF4Event* events, std::uint64_t count, const MF4Char* history = nullptr) {
    return call(UpdateBookmarks, tree, events, count, history);
}

Call updateProperties(MF4Content* tree, const MF4Char* text, std::vector<MF4Property> properties,
                      const MF4Char* history = nullptr) {
    return call(UpdateProperties, tree, text, static_cast<const MF4Property*>(properties.data()),
                static_cast<std::uint64_t>(properties.size()), history);
}

MF4Property property(const std::u16string& name, const std::u16string& value, std::uint32_t type) {
    return {sizeof(MF4Property), const_cast<MF4Char*>(name.c_str()), type, const_cast<MF4Char*>(value.c_str())};
}

// Records of one group (master 0, 0.5, 1, ...; channel x = 3 * index) in three batches with an
// interruption, a trigger and two markers, a header comment with two properties.
std::filesystem::path writeMeasurement(const TempDir& dir, const char* name = "update.mf4") {
    const std::filesystem::path file = dir.file(name);
    HostTree tree(file);
    tree.addGroup(u"G");
    tree.addChannel(0, u"x", 5, 64);
    tree.addEvent(5, u"Trigger", 0.25);
    tree.addEvent(6, u"A", 1.0);
    tree.addEvent(6, u"B", 2.0).comment = tree.text(u"second");
    MF4Content* content = tree.content();
    content->headerComment = tree.text(u"Hello");
    static std::u16string driver = u"Driver", anna = u"Anna", count = u"Count", three = u"3";
    static MF4Property properties[] = {property(driver, anna, 31), property(count, three, 20)};
    content->headerProperties = properties;
    content->headerPropertyCount = 2;
    EXPECT_EQ(tree.create(), 0u);
    double next = 0;
    for (int batch = 0; batch < 3; ++batch) {
        std::vector<double> time(40), values(40);
        for (std::size_t r = 0; r < time.size(); ++r) time[r] = next, values[r] = 6 * next, next += 0.5;
        WriteBatch request;
        request.group(0, 5, time.data(), time.size()).channel(0, 5, values.data(), values.size());
        if (batch == 2) request.interruptions({10});
        EXPECT_EQ(request.write(content), 0u);
    }
    EXPECT_EQ(tree.finish(), 0u);
    return file;
}

std::vector<double> channelValues(MF4Content* tree) {
    Buffer<double> values(200), time(200);
    readData(tree, 0, std::vector<MF4ReadItem>{values.item(0)}.data(), 1, std::vector<MF4ReadItem>{time.item(0)}.data(), 1);
    std::vector<double> both = values.got();
    for (double t : time.got()) both.push_back(t);
    return both;
}

// What a new read of the file says, next to the tree the updates kept in step.
void expectInStep(const std::filesystem::path& file, const MF4Content& kept, const std::vector<double>& values) {
    ContentRead fresh(file);
    ASSERT_NE(fresh.tree, nullptr);
    EXPECT_EQ(findingNumbers(fresh.errors, fresh.errorCount, true), std::vector<std::uint32_t>{});
    EXPECT_EQ(eventsOf(*fresh.tree), eventsOf(kept));
    ASSERT_EQ(fresh.tree->historyCount, kept.historyCount);
    for (std::uint64_t i = 0; i < kept.historyCount; ++i)
        EXPECT_EQ(textOf(fresh.tree->history[i].comment), textOf(kept.history[i].comment));
    EXPECT_EQ(textOf(fresh.tree->headerComment), textOf(kept.headerComment));
    ASSERT_EQ(fresh.tree->headerPropertyCount, kept.headerPropertyCount);
    for (std::uint64_t i = 0; i < kept.headerPropertyCount; ++i) {
        const MF4Property& a = fresh.tree->headerProperties[i];
        const MF4Property& b = kept.headerProperties[i];
        EXPECT_EQ(std::tuple(a.type, textOf(a.name), textOf(a.value)), std::tuple(b.type, textOf(b.name), textOf(b.value)));
    }
    EXPECT_EQ(fresh.tree->groups[0].segmentCount, kept.groups[0].segmentCount);
    EXPECT_EQ(channelValues(fresh.tree), values);
}

// The measurement written and read back, with the values its channel holds.
class OpenMeasurement : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(opened.tree, nullptr);
        values = channelValues(opened.tree);
    }

    TempDir dir;
    const std::filesystem::path file = writeMeasurement(dir);
    ContentRead opened{file};
    std::vector<double> values;
};

TEST_F(OpenMeasurement, BookmarkUpdatesLeaveExactlyTheWantedMarkersInTheChain) {
    MF4Content& tree = *opened.tree;
    const std::vector<EventKey> others = withType(eventsOf(tree), false);
    ASSERT_EQ(others.size(), 1u) << "the trigger";

    // A small pool of times and names, so that equal bookmarks and ties in time come up often.
    std::mt19937 random(2024);
    const std::vector<std::u16string> names = {u"A", u"B", u"Gear change", u"Überholen", u""};
    for (int round = 0; round < 30; ++round) {
        const std::vector<EventKey> before = withType(eventsOf(tree), true);
        const std::uint64_t historyBefore = tree.historyCount;
        std::vector<Wanted> wanted;
        Call call;
        if (round == 0) {
            // The tree's own array, trigger included: nothing to write but the history entry.
            call = updateBookmarks(&tree, tree.events, tree.eventCount, u"unchanged");
            EXPECT_EQ(withType(eventsOf(tree), true), before);
            for (const EventKey& event : before) wanted.push_back({std::get<1>(event), std::get<2>(event), std::get<3>(event), std::get<4>(event)});
        } else if (round == 10) {
            call = updateBookmarks(&tree, nullptr, 0, u"all markers gone");
        } else {
            for (const EventKey& event : before)
                if (random() % 3 != 0) wanted.push_back({std::get<1>(event), std::get<2>(event), std::get<3>(event), std::get<4>(event)});
            for (unsigned n = random() % 4; n-- > 0;)
                wanted.push_back({0.5 * (random() % 4), names[random() % names.size()],
                                  random() % 2 ? u"" : u"note " + std::u16string(1, u'a' + random() % 2),
                                  static_cast<std::int32_t>(random() % 2)});
            std::vector<MF4Event> request;
            for (const Wanted& bookmark : wanted) request.push_back(bookmark.event());
            call = updateBookmarks(&tree, request.data(), request.size());
        }
        ASSERT_EQ(call.result, 0u) << "round " << round;
        EXPECT_EQ(tree.historyCount, historyBefore + 1);

        // Exactly the wanted markers; those kept stay in their blocks, the new ones follow them
        // in the order of time, name and comment.
        const std::vector<EventKey> after = withType(eventsOf(tree), true);
        std::vector<std::tuple<double, std::u16string, std::u16string, std::int32_t>> got, expected;
        for (const EventKey& event : after) got.emplace_back(std::get<1>(event), std::get<2>(event), std::get<3>(event), std::get<4>(event));
        for (const Wanted& bookmark : wanted) expected.emplace_back(bookmark.key());
        std::sort(got.begin(), got.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(got, expected) << "round " << round;
        bool newSeen = false;
        for (std::size_t i = 0; i < after.size(); ++i) {
            const bool old = std::any_of(before.begin(), before.end(),
                                         [&](const EventKey& event) { return std::get<5>(event) == std::get<5>(after[i]); });
            EXPECT_FALSE(old && newSeen) << "round " << round << ": a kept marker after a new one";
            if (!old && newSeen) {
                const auto& previous = after[i - 1];
                EXPECT_LE(std::tie(std::get<1>(previous), std::get<2>(previous), std::get<3>(previous)),
                          std::tie(std::get<1>(after[i]), std::get<2>(after[i]), std::get<3>(after[i])));
            }
            newSeen = newSeen || !old;
        }
        EXPECT_EQ(withType(eventsOf(tree), false), others);
        expectInStep(file, tree, values);
    }
}

TEST_F(OpenMeasurement, PropertyUpdatesChangeTheHeaderCommentWhereItFitsAndRefuseWhatDoesNotValidate) {
    MF4Content& tree = *opened.tree;
    const auto commentAt = [&] { return valueAt<std::uint64_t>(fileBytes(file), 128); };
    const std::uint64_t firstPlace = commentAt();
    const std::u16string count = u"Count", four = u"4", weather = u"Weather", sunny = u"sunny";

    // Ten bytes more text and a changed property: the zeros behind the comment take them.
    const std::u16string longer = u"Hello12345";
    ASSERT_EQ(updateProperties(&tree, longer.c_str(), {property(count, four, 20)}).result, 0u);
    EXPECT_EQ(commentAt(), firstPlace);
    std::string xml = headerCommentOf(file);
    EXPECT_NE(xml.find("<e name=\"Count\" type=\"integer\">4</e>"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("name=\"Count\""), xml.rfind("name=\"Count\"")) << "one element per name: " << xml;
    EXPECT_EQ(textOf(tree.headerComment), longer);
    expectInStep(file, tree, values);

    // No text given keeps the text; a new property is added behind the others.
    ASSERT_EQ(updateProperties(&tree, nullptr, {property(weather, sunny, 31)}).result, 0u);
    ASSERT_EQ(tree.headerPropertyCount, 3u);
    EXPECT_EQ(textOf(tree.headerProperties[2].name), weather);
    EXPECT_EQ(textOf(tree.headerComment), longer);
    expectInStep(file, tree, values);

    // A comment that the zeros cannot take goes to the end; the old block stays where it was.
    const std::uint64_t before = commentAt();
    const std::u16string essay(600, u'x');
    ASSERT_EQ(updateProperties(&tree, essay.c_str(), {}).result, 0u);
    EXPECT_GT(commentAt(), before);
    EXPECT_EQ(fileBytes(file).substr(before, 4), "##MD");
    expectInStep(file, tree, values);

    // A value its type does not allow: refused before anything is written.
    const std::string unchanged = fileBytes(file);
    const std::u16string abc = u"abc";
    const Call refused = updateProperties(&tree, nullptr, {property(count, abc, 20)});
    EXPECT_EQ(refused.result, 2u);
    EXPECT_EQ(refused.findings, std::vector<std::uint32_t>{128});
    EXPECT_EQ(fileBytes(file), unchanged);
    EXPECT_EQ(textOf(tree.headerProperties[1].value), four) << "the tree is unchanged too";

    // The history entry names the tool set before.
    const char id[8] = {'M', 'y', 'T', 'o', 'o', 'l', 0, 0};
    ASSERT_EQ(UpdateToolInformation(&tree, id, u"Vendor & Co", u"2.5"), 0u);
    const std::uint64_t entries = tree.historyCount;
    ASSERT_EQ(updateProperties(&tree, nullptr, {}, u"cleaned up").result, 0u);
    ASSERT_EQ(tree.historyCount, entries + 1);
    const std::u16string entry = textOf(tree.history[entries].comment);
    for (const std::u16string part : {u"<TX>cleaned up</TX>", u"<tool_id>MyTool</tool_id>",
                                      u"<tool_vendor>Vendor &amp; Co</tool_vendor>", u"<tool_version>2.5</tool_version>"})
        EXPECT_NE(entry.find(part), std::u16string::npos) << std::string(entry.begin(), entry.end());
    EXPECT_EQ(textOf(tree.historyComment), u"cleaned up");
    expectInStep(file, tree, values);
}

TEST(UpdateProperties, AFileWithoutHistoryGetsItsFirstEntryLinkedFromTheHeader) {
    TempDir dir;
    std::string bytes = fileBytes(writeMeasurement(dir));
    std::memset(bytes.data() + 96, 0, 8);
    const std::filesystem::path file = dir.write("no-history.mf4", bytes);
    ContentRead opened(file);
    ASSERT_NE(opened.tree, nullptr);
    ASSERT_EQ(opened.tree->historyCount, 0u);
    ASSERT_EQ(updateProperties(opened.tree, nullptr, {}, u"first").result, 0u);
    EXPECT_NE(valueAt<std::uint64_t>(fileBytes(file), 96), 0u);
    ContentRead fresh(file);
    ASSERT_NE(fresh.tree, nullptr);
    ASSERT_EQ(fresh.tree->historyCount, 1u);
    EXPECT_NE(textOf(fresh.tree->history[0].comment).find(u"<TX>first</TX>"), std::u16string::npos);
}

TEST(Updates, RefuseWhatIsNotAnOpenFileAndLeaveTheFileAlone) {
    TempDir dir;
    const std::filesystem::path file = writeMeasurement(dir);
    const std::string original = fileBytes(file);
    const Wanted mark{1.0, u"M", u""};
    const MF4Event event = mark.event();
    EXPECT_EQ(updateBookmarks(nullptr, &event, 1).result, 2u);
    EXPECT_EQ(updateProperties(nullptr, nullptr, {}).result, 2u);

    // A tree the host built has no open file behind it, even with the file's path.
    HostTree host(file);
    EXPECT_EQ(updateBookmarks(host.content(), &event, 1).result, 2u);
    EXPECT_EQ(updateProperties(host.content(), nullptr, {}).result, 2u);

    ContentRead opened(file);
    ASSERT_NE(opened.tree, nullptr);
    EXPECT_EQ(updateBookmarks(opened.tree, nullptr, 3).result, 2u) << "a count without an array";
    EXPECT_EQ(updateProperties(opened.tree, nullptr, {}, nullptr).result, 0u);
    EXPECT_NE(fileBytes(file), original);

    // A tree read without events: the markers the file holds are found all the same.
    {
        ContentRead withoutEvents(file, 1);
        ASSERT_NE(withoutEvents.tree, nullptr);
        const Wanted a{1.0, u"A", u""}, b{2.0, u"B", u"second"};
        const MF4Event same[] = {a.event(), b.event()};
        ASSERT_EQ(updateBookmarks(withoutEvents.tree, same, 2).result, 0u);
        EXPECT_EQ(withType(eventsOf(*withoutEvents.tree), true).size(), 2u);
    }
    const std::string updated = fileBytes(file);

    if (writesCanBeRefused()) {  // root writes read-only files anyway
        std::filesystem::permissions(file, std::filesystem::perms::owner_read);
        const Call call = updateBookmarks(opened.tree, &event, 1);
        EXPECT_EQ(call.result, 2u);
        EXPECT_EQ(call.findings, std::vector<std::uint32_t>{147});
        std::filesystem::permissions(file, std::filesystem::perms::owner_all);
        EXPECT_EQ(fileBytes(file), updated);
    }
}

// Every corpus file that reads without errors takes a bookmark and a property, and gives the
// bookmark back, with no finding it did not have before.
TEST(Updates, CorpusFilesTakeABookmarkAndAProperty) {
    const std::filesystem::path corpus = corpusDir();
    if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus beside the checkout";
    TempDir dir;
    int updated = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
        const std::filesystem::path file = dir.file(entry.path().filename().string());
        std::filesystem::copy_file(entry.path(), file);
        ContentRead opened(file);
        if (opened.tree == nullptr || !findingNumbers(opened.errors, opened.errorCount, true).empty()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::vector<std::uint32_t> findings = findingNumbers(opened.errors, opened.errorCount);
        const std::vector<EventKey> markers = withType(eventsOf(*opened.tree), true);

        // The entries are ours, not those of the tool that wrote the file.
        const char id[8] = {'T', 'a', 'r', 'v', 'i', 'k', 0, 0};
        ASSERT_EQ(UpdateToolInformation(opened.tree, id, u"Tarvik", u"1.0"), 0u);
        std::vector<MF4Event> wanted(opened.tree->events, opened.tree->events + opened.tree->eventCount);
        const Wanted mark{0.125, u"Tarvik", u"checked"};
        wanted.push_back(mark.event());
        const Call bookmarked = updateBookmarks(opened.tree, wanted.data(), wanted.size(), u"bookmark");
        ASSERT_EQ(bookmarked.result, 0u) << ::testing::PrintToString(bookmarked.findings);
        const std::u16string name = u"TarvikCheck", one = u"1";
        const Call properties = updateProperties(opened.tree, nullptr, {property(name, one, 20)});
        {
            ContentRead fresh(file);
            ASSERT_NE(fresh.tree, nullptr);
            EXPECT_EQ(findingNumbers(fresh.errors, fresh.errorCount), findings);
            EXPECT_EQ(withType(eventsOf(*fresh.tree), true).size(), markers.size() + 1);
            const bool propertySet = std::any_of(fresh.tree->headerProperties,
                                                 fresh.tree->headerProperties + fresh.tree->headerPropertyCount,
                                                 [&](const MF4Property& p) { return textOf(p.name) == name; });
            // A header comment that breaks its schema already cannot be changed (finding 128).
            EXPECT_TRUE(properties.result == 0 ? propertySet : properties.findings == std::vector<std::uint32_t>{128});
        }
        // The call rebuilt the tree's events: the wanted list is taken from them anew.
        wanted.clear();
        std::copy_if(opened.tree->events, opened.tree->events + opened.tree->eventCount, std::back_inserter(wanted),
                     [](const MF4Event& event) { return textOf(event.name) != u"Tarvik"; });
        ASSERT_EQ(updateBookmarks(opened.tree, wanted.data(), wanted.size()).result, 0u);
        ContentRead fresh(file);
        ASSERT_NE(fresh.tree, nullptr);
        std::vector<EventKey> kept = withType(eventsOf(*fresh.tree), true);
        EXPECT_EQ(kept, markers);
        ++updated;
    }
    EXPECT_GT(updated, 10);
}

}  // namespace
}  // namespace tarvik::test
