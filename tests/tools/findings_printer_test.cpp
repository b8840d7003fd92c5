#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "findings_printer.h"

namespace {

using namespace mf4tool;

MF4Error finding(std::uint32_t id, std::uint32_t severity, const char16_t* message,
                 const char16_t* detail1 = nullptr, const char16_t* detail2 = nullptr) {
    MF4Error error{};
    error.messageId = id;
    error.severity = severity;
    // The record holds non-const pointers for the host to release; these are never released.
    error.message = const_cast<char16_t*>(message);
    error.detail1 = const_cast<char16_t*>(detail1);
    error.detail2 = const_cast<char16_t*>(detail2);
    return error;
}

TEST(FindingsPrinter, PrintsEachFindingOnOneLine) {
    EXPECT_EQ(findingLine(finding(141, 0, u"The file /a\nb.mf4 does not exist.")),
              "error 141: The file /a b.mf4 does not exist.");
    // Without the message file the details stand in for the message.
    EXPECT_EQ(findingLine(finding(119, 1, nullptr, u"x.mf4", u"CC block\tat 0x40")),
              "warning 119: x.mf4 (CC block at 0x40)");
    EXPECT_EQ(findingLine(finding(141, 0, nullptr, u"\u00e4.mf4")), "error 141: \xC3\xA4.mf4");

    const std::vector<MF4Error> findings{finding(141, 0, u"one\ntwo"), finding(124, 1, u"three")};
    std::ostringstream out;
    printFindings(out, findings, "  ");
    EXPECT_EQ(out.str(), "  error 141: one two\n  warning 124: three\n");
}

TEST(FindingsPrinter, CountsErrorsAndWarnings) {
    const std::vector<MF4Error> findings{finding(103, 0, u"a"), finding(124, 1, u"b"),
                                         finding(110, 1, u"c")};
    const FindingCounts counts = countFindings(findings);
    EXPECT_EQ(counts.errors, 1u);
    EXPECT_EQ(counts.warnings, 2u);
    EXPECT_EQ(summaryText(counts), "1 error, 2 warnings");
    EXPECT_EQ(summaryText(countFindings({})), "0 errors, 0 warnings");
}

}  // namespace
