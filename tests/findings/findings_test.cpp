#include "findings/findings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "findings/message_table.h"
#include "support/temp_dir.h"

namespace tarvik {
namespace {

using test::TempDir;

std::u16string textOr(const MF4Char* text, std::u16string_view absent = u"<null>") {
    return text ? std::u16string(text) : std::u16string(absent);
}

MessageTable tableWith(std::string_view messages) {
    TempDir dir;
    MessageTable table;
    table.loadFile(test::widePath(dir.write("m.msgres", messages)));
    return table;
}

TEST(FindingList, NoFindingsLeaveTheCallersOutputsUntouched) {
    FindingList list(u"/data/a.mf4");
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.summary(), kNoFindings);

    MF4Error sentinel{};
    MF4Error* errors = &sentinel;
    std::uint64_t count = 77;
    EXPECT_EQ(convertFindings(list, &errors, &count, MessageTable{}), kNoFindings);
    EXPECT_EQ(convertFindings(list, &errors, &count), kNoFindings);
    EXPECT_EQ(errors, &sentinel);
    EXPECT_EQ(count, 77u);
    EXPECT_EQ(resultCode(kNoFindings), 0u);
}

TEST(FindingList, ErrorsComeFirstThenWarningsInTheOrderRaised) {
    const MessageTable messages = tableWith(
        "<Messages><Message ID=\"105\"><MessageText>%1 has extra links: %2</MessageText></Message>"
        "<Message ID=\"141\"><MessageText>%1 is missing (%2)</MessageText></Message></Messages>");
    FindingList list(u"/data/a.mf4");
    list.addFileWarning(105, u"1. DG Block at 0x40");
    list.addFileError(141);
    list.addWarning(113, std::nullopt, u"HD Block at 0x40, Field: hd_start_time_ns");
    EXPECT_EQ(list.summary(), kErrorsAndWarnings);

    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    const FindingSummary summary = convertFindings(list, &errors, &count, messages);
    EXPECT_EQ(summary, kErrorsAndWarnings);
    EXPECT_EQ(resultCode(summary), 2u);
    ASSERT_EQ(count, 3u);
    ASSERT_NE(errors, nullptr);

    EXPECT_EQ(errors[0].messageId, 141u);
    EXPECT_EQ(errors[0].severity, 0u);
    EXPECT_EQ(textOr(errors[0].detail1), u"/data/a.mf4");
    EXPECT_EQ(errors[0].detail2, nullptr);
    EXPECT_EQ(textOr(errors[0].message), u"/data/a.mf4 is missing (%2)");

    EXPECT_EQ(errors[1].messageId, 105u);
    EXPECT_EQ(errors[1].severity, 1u);
    EXPECT_EQ(textOr(errors[1].message), u"/data/a.mf4 has extra links: 1. DG Block at 0x40");

    EXPECT_EQ(errors[2].messageId, 113u);
    EXPECT_EQ(errors[2].severity, 1u);
    EXPECT_EQ(errors[2].detail1, nullptr);
    EXPECT_EQ(textOr(errors[2].detail2), u"HD Block at 0x40, Field: hd_start_time_ns");
    EXPECT_EQ(errors[2].message, nullptr);  // the file has no text for 113

    for (std::uint64_t i = 0; i < count; ++i) EXPECT_EQ(errors[i].reserved0, 0u);
    releaseErrorRecords(errors, count);
}

TEST(FindingList, WithoutMessageTextsNumbersAndDetailsStayIntact) {
    MessageTable empty;
    empty.loadFile(u"/nonexistent/TarvikMF4Access.en-us.msgres");
    ASSERT_TRUE(empty.empty());

    FindingList list(u"/data/\u00e9t\u00e9.mf4");
    list.addFileError(130, u"File Version: 330, Tool Version: 410.");
    list.addFileWarning(132, u"");
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    EXPECT_EQ(convertFindings(list, &errors, &count, empty), kErrorsAndWarnings);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(errors[0].messageId, 130u);
    EXPECT_EQ(textOr(errors[0].detail1), u"/data/\u00e9t\u00e9.mf4");
    EXPECT_EQ(textOr(errors[0].detail2), u"File Version: 330, Tool Version: 410.");
    EXPECT_EQ(errors[0].message, nullptr);
    EXPECT_EQ(errors[1].messageId, 132u);
    EXPECT_EQ(textOr(errors[1].detail2), u"");  // an empty detail is not a missing one
    EXPECT_EQ(errors[1].message, nullptr);
    releaseErrorRecords(errors, count);

    // A call with warnings only answers 1; without places to write to, the outcome still counts.
    FindingList warningsOnly;
    warningsOnly.addWarning(110, std::nullopt, u"a,b");
    EXPECT_EQ(resultCode(convertFindings(warningsOnly, nullptr, nullptr, empty)), 1u);
}

}  // namespace
}  // namespace tarvik
