// The first and last values of every numeric channel of the corpus files, as ReadData returns
// them, against values decoded from the files' bytes by a separate script.
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/temp_dir.h"

namespace {

struct Expected {
    const char* file;
    std::uint64_t group;
    const char* channel;
    double first;
    double last;
};

const Expected kValues[] = {
#include "corpus_values.inc"
};

struct Tree {
    explicit Tree(const std::filesystem::path& file) {
        const std::u16string path = tarvik::test::widePath(file);
        MF4Error* errors = nullptr;
        std::uint64_t count = 0;
        ReadContent(path.c_str(), &content, &errors, &count);
        FreeErrors(errors, count);
    }
    ~Tree() { FreeContent(content); }
    MF4Content* content = nullptr;
};

// The value of channel `index` in `record`, whatever its numeric type, as a double.
double valueAt(MF4Content* content, std::uint64_t index, std::uint64_t record) {
    const MF4Channel& channel = content->channels[index];
    std::uint8_t buffer[8] = {};
    double master[1] = {};
    std::uint64_t counters[8] = {};
    MF4ReadItem items[2] = {};
    for (int i = 0; i < 2; ++i) {
        items[i].firstSample = record;
        items[i].sampleCount = 1;
        items[i].capacity = 1;
        items[i].valuesStored = &counters[4 * i];
        items[i].valuesTotal = &counters[4 * i + 1];
        items[i].eventsStored = &counters[4 * i + 2];
        items[i].eventsTotal = &counters[4 * i + 3];
    }
    items[0].index = channel.groupIndex;
    items[0].values = master;
    items[0].capacity = content->groups[channel.groupIndex].masterValueType == 5 ? 1 : 0;
    items[1].index = index;
    items[1].values = buffer;
    MF4ReadRequest request{};
    request.groupItems = &items[0];
    request.groupItemCount = 1;
    request.channelItems = &items[1];
    request.channelItemCount = 1;
    ReadData(content, &request, nullptr, nullptr);
    EXPECT_EQ(counters[4], 1u) << "one value stored";
    auto as = [&](auto type) {
        decltype(type) value;
        std::memcpy(&value, buffer, sizeof value);
        return static_cast<double>(value);
    };
    switch (channel.valueType) {
    case 16: return as(std::int8_t{});
    case 17: return as(std::uint8_t{});
    case 2: return as(std::int16_t{});
    case 18: return as(std::uint16_t{});
    case 3: return as(std::int32_t{});
    case 19: return as(std::uint32_t{});
    case 4: return as(float{});
    case 20: return as(std::int64_t{});
    case 21: return as(std::uint64_t{});
    default: return as(double{});
    }
}

TEST(CorpusValues, FirstAndLastValueOfEveryNumericChannel) {
    const auto corpus = tarvik::test::corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the project";
    std::map<std::string, std::unique_ptr<Tree>> trees;
    for (const Expected& e : kValues) {
        auto& tree = trees[e.file];
        if (!tree) tree = std::make_unique<Tree>(corpus / e.file);
        MF4Content* content = tree->content;
        ASSERT_NE(content, nullptr) << e.file;
        std::uint64_t index = content->channelCount;
        for (std::uint64_t i = 0; i < content->channelCount && index == content->channelCount; ++i) {
            const MF4Channel& channel = content->channels[i];
            std::string name;
            for (const MF4Char* c = channel.name; c && *c; ++c) name.push_back(static_cast<char>(*c));
            if (channel.groupIndex == e.group && name == e.channel) index = i;
        }
        ASSERT_LT(index, content->channelCount) << e.file << " " << e.channel;
        const std::uint64_t records = content->groups[e.group].cycleCount;
        EXPECT_EQ(valueAt(content, index, 0), e.first) << e.file << " " << e.channel;
        EXPECT_EQ(valueAt(content, index, records - 1), e.last) << e.file << " " << e.channel;
    }
}

}  // namespace
