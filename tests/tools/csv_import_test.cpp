#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "csv_columns.h"
#include "csv_reader.h"

namespace {

using namespace mf4tool;
using Fields = std::vector<std::string>;

TEST(CsvReader, SplitsFieldsAndSaysWhereQuotingGoesWrong) {
    struct Case {
        std::string text;
        Fields fields;
    };
    const Case complete[] = {
        {"a,b,c", {"a", "b", "c"}},
        {" a ,\tb\t, c", {"a", "b", "c"}},
        {"\"a, b\",\"say \"\"hi\"\"\"", {"a, b", "say \"hi\""}},
        {" \" padded \" ,x", {" padded ", "x"}},
        {",,", {"", "", ""}},
        {"\"\"", {""}},
        {"", {""}},
    };
    Fields fields;
    for (const Case& c : complete) {
        EXPECT_EQ(splitCsvRecord(c.text, fields).status, CsvSplit::complete) << c.text;
        EXPECT_EQ(fields, c.fields) << c.text;
    }

    struct Fault {
        std::string text;
        CsvSplit status;
        std::size_t column;
    };
    const Fault faults[] = {
        {"a,\"open", CsvSplit::openQuote, 2},
        {"a,\"ends with a doubled quote\"\"", CsvSplit::openQuote, 2},
        {"a,b,\"x\"y", CsvSplit::malformed, 3},
        {"12\" pipe", CsvSplit::malformed, 1},
    };
    for (const Fault& f : faults) {
        const CsvSplitOutcome outcome = splitCsvRecord(f.text, fields);
        EXPECT_EQ(outcome.status, f.status) << f.text;
        EXPECT_EQ(outcome.column, f.column) << f.text;
    }
}

TEST(CsvReader, ReadsRecordsOverLinesAndCountsThem) {
    // A byte order mark, CR LF ends, an empty line, a quoted field over two lines, and a last
    // line without an end.
    const std::string text = "\xEF\xBB\xBFt,note\r\n1,\"two\r\nlines\"\r\n\r\n2,x";
    std::istringstream in(text);
    CsvReader reader(in);
    Fields fields;
    ASSERT_TRUE(reader.next(fields));
    EXPECT_EQ(fields, (Fields{"t", "note"}));
    EXPECT_EQ(reader.line(), 1u);
    ASSERT_TRUE(reader.next(fields));
    EXPECT_EQ(fields, (Fields{"1", "two\nlines"}));
    EXPECT_EQ(reader.line(), 2u);
    ASSERT_TRUE(reader.next(fields));
    EXPECT_EQ(fields, (Fields{"2", "x"}));
    EXPECT_EQ(reader.line(), 5u);
    EXPECT_EQ(reader.bytesRead(), text.size());
    EXPECT_FALSE(reader.next(fields));
    EXPECT_FALSE(reader.problem());

    // A quote left open runs to the end of the file and is blamed on its record's first line.
    std::istringstream open("a,b\n1,\"never\nclosed\n");
    CsvReader broken(open);
    ASSERT_TRUE(broken.next(fields));
    EXPECT_FALSE(broken.next(fields));
    ASSERT_TRUE(broken.problem());
    EXPECT_EQ(broken.problem()->line, 2u);
    EXPECT_EQ(broken.problem()->column, 2u);
    EXPECT_FALSE(broken.next(fields));
}

TEST(CsvColumns, TitlesAndKindsFollowTheCells) {
    struct Title {
        std::string header, name, unit;
    };
    const Title titles[] = {
        {"speed [km/h]", "speed", "km/h"},
        {"speed[km/h]  ", "speed", "km/h"},
        {"speed", "speed", ""},
        {"[x]", "[x]", ""},
        {"a [b", "a [b", ""},
        {"p [bar][2]", "p[2]", "bar"},
        {"p[2]", "p[2]", ""},
        {"ratio [1]", "ratio", "1"},
    };
    for (const Title& t : titles) {
        const ColumnTitle title = splitColumnTitle(t.header);
        EXPECT_EQ(title.name, t.name) << t.header;
        EXPECT_EQ(title.unit, t.unit) << t.header;
    }

    EXPECT_EQ(integerCell("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(integerCell("+7"), 7);
    EXPECT_FALSE(integerCell("9223372036854775808"));  // too large: a number, not an integer
    EXPECT_EQ(numberCell("9223372036854775808"), 9223372036854775808.0);
    EXPECT_EQ(numberCell("-1.5e3"), -1500.0);
    EXPECT_TRUE(std::isnan(*numberCell("nan")));
    for (const char* no : {"", "+", "+-1", "1.5x", "0x10", "1,5", " 1"})
        EXPECT_FALSE(numberCell(no)) << no;

    struct Kind {
        std::vector<std::string> cells;
        ColumnKind kind;
    };
    const Kind kinds[] = {
        {{"1", "-2", "+3"}, ColumnKind::integer},
        {{"1", "2.5"}, ColumnKind::number},
        {{"1", ""}, ColumnKind::number},  // an empty cell needs NaN
        {{"", ""}, ColumnKind::number},
        {{"inf", "1"}, ColumnKind::number},
        {{"1", "x", "2"}, ColumnKind::text},
        {{"", "x"}, ColumnKind::text},
    };
    for (const Kind& k : kinds) {
        ColumnSurvey survey;
        for (const std::string& cell : k.cells) survey.add(cell);
        EXPECT_EQ(survey.kind(), k.kind) << ::testing::PrintToString(k.cells);
    }
}

}  // namespace
