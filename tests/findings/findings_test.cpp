#include "findings/findings.h"

#include <gtest/gtest.h>

#include <string>

#include "findings/message_table.h"
#include "support/temp_dir.h"

namespace tarvik {
namespace {

std::u16string textOr(const MF4Char* text) { return text ? std::u16string(text) : u"<null>"; }

// "number severity | detail1 | detail2 | message", with <null> for a text that is absent.
std::u16string describe(const MF4Error& e) {
    const std::string head = std::to_string(e.messageId) + ' ' + std::to_string(e.severity);
    return std::u16string(head.begin(), head.end()) + u" | " + textOr(e.detail1) + u" | " + textOr(e.detail2) +
           u" | " + textOr(e.message);
}

TEST(FindingList, NoFindingsLeaveTheCallersOutputsUntouched) {
    FindingList list(u"/data/a.mf4");
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
    test::TempDir dir;
    MessageTable messages;
    messages.loadFile(test::widePath(dir.write("m.msgres",
        "<Messages><Message ID=\"105\"><MessageText>%1 has extra links: %2</MessageText></Message>"
        "<Message ID=\"141\"><MessageText>%1 is missing (%2)</MessageText></Message></Messages>")));
    FindingList list(u"/data/a.mf4");
    list.addFileWarning(105, u"1. DG Block at 0x40");
    list.addFileError(141);
    list.addWarning(113, std::nullopt, u"HD Block at 0x40");
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    const FindingSummary summary = convertFindings(list, &errors, &count, messages);
    EXPECT_EQ(resultCode(summary), 2u);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(describe(errors[0]), u"141 0 | /data/a.mf4 | <null> | /data/a.mf4 is missing (%2)");
    EXPECT_EQ(describe(errors[1]), u"105 1 | /data/a.mf4 | 1. DG Block at 0x40 | /data/a.mf4 has extra links: 1. DG Block at 0x40");
    EXPECT_EQ(describe(errors[2]), u"113 1 | <null> | HD Block at 0x40 | <null>") << "the file has no text for 113";
    for (std::uint64_t i = 0; i < count; ++i) EXPECT_EQ(errors[i].reserved0, 0u);
    releaseErrorRecords(errors, count);

    // Without message texts numbers and details stay intact; an empty detail is not a missing one.
    FindingList other(u"/data/\u00e9t\u00e9.mf4");
    other.addFileWarning(132, u"");
    other.addFileError(130, u"File Version: 330");
    EXPECT_EQ(convertFindings(other, &errors, &count, MessageTable{}), kErrorsAndWarnings);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(describe(errors[0]), u"130 0 | /data/\u00e9t\u00e9.mf4 | File Version: 330 | <null>");
    EXPECT_EQ(describe(errors[1]), u"132 1 | /data/\u00e9t\u00e9.mf4 |  | <null>");
    releaseErrorRecords(errors, count);

    // A call with warnings only answers 1; without places to write to, the outcome still counts.
    FindingList warningsOnly;
    warningsOnly.addWarning(110, std::nullopt, u"a,b");
    EXPECT_EQ(resultCode(convertFindings(warningsOnly, nullptr, nullptr, MessageTable{})), 1u);
}

}  // namespace
}  // namespace tarvik
