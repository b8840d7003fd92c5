// The first and last values of every numeric channel of the corpus files, as ReadData returns
// them, against values decoded from the files' bytes by a separate script.
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/read_items.h"

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

using tarvik::test::Buffer;
using tarvik::test::OpenedFile;

// The value of channel `index` in `record`, whatever its numeric type, as a double.
double valueAt(OpenedFile& file, std::uint64_t index, std::uint64_t record) {
    const MF4Channel& channel = file.content()->channels[index];
    Buffer<double> master(1);
    Buffer<std::uint64_t> value(1);  // 8 bytes hold every numeric kind
    const bool doubles = file.content()->groups[channel.groupIndex].masterValueType == 5;
    file.read(MF4_READ_SAMPLE_BASED,
              {value.bind({.index = index, .firstSample = record, .sampleCount = 1, .capacity = 1})},
              {master.bind({.index = channel.groupIndex, .firstSample = record, .sampleCount = 1,
                            .capacity = doubles ? 1u : 0u})});
    EXPECT_EQ(value.stored, 1u) << "one value stored";
    return tarvik::test::numberAt(value.values.data(), channel.valueType, 0);
}

TEST(CorpusValues, FirstAndLastValueOfEveryNumericChannel) {
    const auto corpus = tarvik::test::corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the project";
    std::map<std::string, std::unique_ptr<OpenedFile>> trees;
    for (const Expected& e : kValues) {
        auto& tree = trees[e.file];
        if (!tree) tree = std::make_unique<OpenedFile>(corpus / e.file);
        MF4Content* content = tree->content();
        ASSERT_NE(content, nullptr) << e.file;
        const std::uint64_t index = tarvik::test::channelNamed(*content, e.group, e.channel);
        ASSERT_LT(index, content->channelCount) << e.file << " " << e.channel;
        const std::uint64_t records = content->groups[e.group].cycleCount;
        EXPECT_EQ(valueAt(*tree, index, 0), e.first) << e.file << " " << e.channel;
        EXPECT_EQ(valueAt(*tree, index, records - 1), e.last) << e.file << " " << e.channel;
    }
}

}  // namespace
