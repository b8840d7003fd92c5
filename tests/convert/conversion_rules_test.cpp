// Each conversion rule on raw values chosen to hit its edges, through the public interface of
// TarvikMF4Convert on trees built here. Expected values are worked out by hand in the comments.
#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>

#include <gtest/gtest.h>

#include "convert/conversion_tree.h"

namespace {

using tarvik::test::ConversionTree;
using tarvik::test::convertNumbers;
using tarvik::test::convertTexts;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Every numeric kind reads its own width: the same small values stored as each of the ten
// kinds convert to the same physical values, for every numeric rule.
TEST(ConvertNumbers, EveryValueKindGivesTheSameValues) {
    ConversionTree t;
    const std::int64_t linear = t.add(1);
    t[linear].parameters.linear[0] = -40;
    t[linear].parameters.linear[1] = 0.5;
    const std::int64_t rational = t.add(2);  // (X^2 + 1) / (2X + 4)
    const double p[6] = {1, 0, 1, 0, 2, 4};
    std::copy(p, p + 6, t[rational].parameters.rational);
    const std::int64_t formula = t.add(3);
    t[formula].formula = const_cast<MF4Char*>(u"sin(X) * 2 + X^2");
    std::vector<MF4ValuePair> pairs{{24, 0, 5}, {24, 10, 25}, {24, 100, 30}};
    const std::int64_t table = t.add(4);
    t[table].entryCount = pairs.size();
    t[table].parameters.pairs = pairs.data();

    const std::vector<int> raw{0, 1, 2, 5, 7, 10, 55, 100, 127};
    for (const std::int64_t conversion : {std::int64_t{-1}, linear, rational, formula, table}) {
        const auto reference = convertNumbers(t.tree(), conversion, 5, std::vector<double>(raw.begin(), raw.end()));
        ASSERT_EQ(reference.result, MF4_CONVERT_OK);
        const auto check = [&]<typename T>(std::uint32_t kind, T) {
            const auto got = convertNumbers(t.tree(), conversion, kind, std::vector<T>(raw.begin(), raw.end()));
            EXPECT_EQ(got.result, MF4_CONVERT_OK) << "kind " << kind;
            EXPECT_EQ(got.values, reference.values) << "conversion " << conversion << ", kind " << kind;
        };
        check(16, std::int8_t{}), check(17, std::uint8_t{}), check(2, std::int16_t{}), check(18, std::uint16_t{});
        check(3, std::int32_t{}), check(19, std::uint32_t{}), check(20, std::int64_t{}), check(21, std::uint64_t{});
        check(4, float{});
    }
    // Worked out: linear -40 + 0.5 * 10 = -35; rational (49 + 1) / (14 + 4) = 50 / 18;
    // table halfway between keys 10 and 100 at 55: 27.5; formula at 2: 2 sin 2 + 4.
    EXPECT_EQ(convertNumbers(t.tree(), linear, 5, std::vector<double>{10}).values[0], -35);
    EXPECT_DOUBLE_EQ(convertNumbers(t.tree(), rational, 5, std::vector<double>{7}).values[0], 50.0 / 18);
    EXPECT_EQ(convertNumbers(t.tree(), table, 5, std::vector<double>{55}).values[0], 27.5);
    EXPECT_DOUBLE_EQ(convertNumbers(t.tree(), formula, 5, std::vector<double>{2}).values[0], 2 * std::sin(2.0) + 4);
}

TEST(ConvertNumbers, ValueTablesWithAndWithoutInterpolation) {
    ConversionTree t;
    std::vector<MF4ValuePair> pairs{{24, 0, 10}, {24, 2, 30}, {24, 10, 50}};
    const std::int64_t interpolated = t.add(4);
    const std::int64_t nearest = t.add(5);
    for (const std::int64_t c : {interpolated, nearest}) {
        t[c].entryCount = pairs.size();
        t[c].parameters.pairs = pairs.data();
    }
    //                          below first, first key, between, key hit, between, last key, above last
    const std::vector<double> raw{-1, 0, 0.5, 1, 1.1, 2, 6, 6.5, 10, 11, kNaN};
    const auto withLine = convertNumbers(t.tree(), interpolated, 5, raw);
    EXPECT_EQ(withLine.result, MF4_CONVERT_OK);
    const std::vector<double> line{10, 10, 15, 20, 21, 30, 40, 41.25, 50, 50};
    for (std::size_t i = 0; i < line.size(); ++i) EXPECT_DOUBLE_EQ(withLine.values[i], line[i]) << raw[i];
    EXPECT_TRUE(std::isnan(withLine.values.back()));
    // Without interpolation the nearer key wins; exactly halfway (1 between 0 and 2, 6 between 2
    // and 10) the lower key does.
    const auto steps = convertNumbers(t.tree(), nearest, 5, raw);
    const std::vector<double> step{10, 10, 10, 10, 30, 30, 30, 50, 50, 50};
    for (std::size_t i = 0; i < step.size(); ++i) EXPECT_EQ(steps.values[i], step[i]) << raw[i];
    EXPECT_TRUE(std::isnan(steps.values.back()));

    // A table without entries cannot be evaluated: the raw values come back, and say so.
    const std::int64_t empty = t.add(4);
    const auto raw3 = convertNumbers(t.tree(), empty, 17, std::vector<std::uint8_t>{3, 200});
    EXPECT_EQ(raw3.result, MF4_CONVERT_UNSUPPORTED);
    EXPECT_EQ(raw3.values, (std::vector<double>{3, 200}));
}

// Ranges sharing a border, an overlap where the first range must win, a partial conversion to a
// linear one, a value-to-text table whose default is a conversion, absent texts.
TEST(ConvertTexts, RangeAndValueTables) {
    ConversionTree t;
    const std::int64_t half = t.add(1);  // 1 + 0.5 X
    t[half].parameters.linear[0] = 1;
    t[half].parameters.linear[1] = 0.5;
    std::vector<MF4RangeText> ranges(4);
    const auto range = [&](std::size_t i, double lower, double upper, const char16_t* text) {
        ranges[i] = {sizeof(MF4RangeText), lower, upper, 0, {}};
        ranges[i].ref.text = const_cast<MF4Char*>(text);
    };
    range(0, 0, 10, u"low");
    range(1, 10, 20, u"high");
    range(2, 5, 15, u"mid");  // lies under both: never chosen
    range(3, 100, 200, nullptr);
    ranges[3].refKind = 1;
    ranges[3].ref.conversion = half;
    const std::int64_t byRange = t.add(8);
    t[byRange].entryCount = ranges.size();
    t[byRange].parameters.rangeTexts = ranges.data();
    t[byRange].defaultText = const_cast<MF4Char*>(u"none");

    // Integers: the shared border 10 belongs to the first range, 20 to the second.
    const auto ints = convertTexts(t.tree(), byRange, 3, std::vector<std::int32_t>{-1, 0, 5, 10, 15, 20, 21, 150});
    EXPECT_EQ(ints.result, MF4_CONVERT_OK);
    EXPECT_EQ(ints.values, (std::vector<std::u16string>{u"none", u"low", u"low", u"low", u"high", u"high", u"none", u"76"}));
    // Floats: the upper border is outside, so 10 goes to the second range and 20 to none.
    const auto floats = convertTexts(t.tree(), byRange, 5, std::vector<double>{9.999, 10, 19.5, 20, 150, kNaN});
    EXPECT_EQ(floats.values, (std::vector<std::u16string>{u"low", u"high", u"high", u"none", u"76", u"none"}));
    // As numbers: texts become NaN (and say so), the partial conversion gives its number.
    const auto numbers = convertNumbers(t.tree(), byRange, 5, std::vector<double>{150, 3});
    EXPECT_EQ(numbers.result, MF4_CONVERT_TEXT_VALUES);
    EXPECT_EQ(numbers.values[0], 76);
    EXPECT_TRUE(std::isnan(numbers.values[1]));

    std::vector<MF4ValueText> entries{{24, 1, const_cast<MF4Char*>(u"one")}, {24, 2, nullptr}, {24, 1, const_cast<MF4Char*>(u"uno")}};
    const std::int64_t byValue = t.add(7);
    t[byValue].entryCount = entries.size();
    t[byValue].parameters.valueTexts = entries.data();
    t[byValue].defaultConversion = half;
    const auto values = convertTexts(t.tree(), byValue, 4, std::vector<float>{1, 2, 3, 1.5f});
    EXPECT_EQ(values.values, (std::vector<std::u16string>{u"one", u"", u"2.5", u"1.75"}));
    // Without a default conversion or text the default is the empty text.
    t[byValue].defaultConversion = -1;
    EXPECT_EQ(convertTexts(t.tree(), byValue, 17, std::vector<std::uint8_t>{9}).values, std::vector<std::u16string>{u""});

    std::uint32_t yields[3] = {};
    t[byValue].statusString = 1;
    for (const std::int64_t c : {half, byRange, byValue}) MF4ConversionYields(t.tree(), c, &yields[c - half]);
    EXPECT_EQ(yields[0], MF4_YIELDS_NUMBERS);
    EXPECT_EQ(yields[1], MF4_YIELDS_TEXTS);
    EXPECT_EQ(yields[2], MF4_YIELDS_STATUS_TEXTS);
}

// Numbers as texts: raw values unchanged are written exactly in their own kind, computed
// values in the shortest form of the double.
TEST(ConvertTexts, NumbersInTheirShortestExactForm) {
    ConversionTree t;
    const std::int64_t tenths = t.add(1);
    t[tenths].parameters.linear[1] = 0.1;
    const std::int64_t unsupported = t.add(9);
    const std::vector<std::uint64_t> big{std::numeric_limits<std::uint64_t>::max(), 3};
    EXPECT_EQ(convertTexts(t.tree(), -1, 21, big).values, (std::vector<std::u16string>{u"18446744073709551615", u"3"}));
    const auto kept = convertTexts(t.tree(), unsupported, 20, std::vector<std::int64_t>{-9007199254740993});
    EXPECT_EQ(kept.result, MF4_CONVERT_UNSUPPORTED);
    EXPECT_EQ(kept.values, std::vector<std::u16string>{u"-9007199254740993"});
    EXPECT_EQ(convertTexts(t.tree(), -1, 4, std::vector<float>{0.1f}).values, std::vector<std::u16string>{u"0.1"});
    EXPECT_EQ(convertTexts(t.tree(), tenths, 2, std::vector<std::int16_t>{-400, 3}).values,
              (std::vector<std::u16string>{u"-40", u"0.30000000000000004"}));
    EXPECT_EQ(convertTexts(t.tree(), tenths, 5, std::vector<double>{kInf, kNaN}).values,
              (std::vector<std::u16string>{u"inf", u"nan"}));
}

TEST(ConvertNumbers, FormulasAsMuparserEvaluatesThem) {
    ConversionTree t;
    const auto formula = [&](const char16_t* text) {
        const std::int64_t index = t.add(3);
        t[index].formula = const_cast<MF4Char*>(text);
        return index;
    };
    const std::int64_t reciprocal = formula(u"1 / X");
    const std::int64_t ratio = formula(u"X / X");
    const std::int64_t broken = formula(u"X +* 2");
    const std::int64_t otherVariable = formula(u"Y * 2");
    const std::int64_t none = formula(nullptr);

    const auto inverse = convertNumbers(t.tree(), reciprocal, 3, std::vector<std::int32_t>{0, -4});
    EXPECT_EQ(inverse.result, MF4_CONVERT_OK);
    EXPECT_EQ(inverse.values, (std::vector<double>{kInf, -0.25}));
    EXPECT_TRUE(std::isnan(convertNumbers(t.tree(), ratio, 5, std::vector<double>{0}).values[0]));
    for (const std::int64_t bad : {broken, otherVariable, none}) {
        const auto got = convertNumbers(t.tree(), bad, 5, std::vector<double>{1, 2});
        EXPECT_EQ(got.result, MF4_CONVERT_BAD_FORMULA) << bad;
        EXPECT_TRUE(std::isnan(got.values[0]) && std::isnan(got.values[1])) << bad;
        std::uint32_t yields = 99;
        EXPECT_EQ(MF4ConversionYields(t.tree(), bad, &yields), MF4_CONVERT_BAD_FORMULA);
        EXPECT_EQ(yields, MF4_YIELDS_NUMBERS);
    }
    // A bad formula behind a range reports only when a value reaches it.
    std::vector<MF4RangeText> ranges{{40, 0, 1, 1, {}}};
    ranges[0].ref.conversion = broken;
    const std::int64_t guarded = t.add(8);
    t[guarded].entryCount = 1;
    t[guarded].parameters.rangeTexts = ranges.data();
    EXPECT_EQ(convertTexts(t.tree(), guarded, 17, std::vector<std::uint8_t>{5}).result, MF4_CONVERT_OK);
    EXPECT_EQ(convertTexts(t.tree(), guarded, 17, std::vector<std::uint8_t>{1}).result, MF4_CONVERT_BAD_FORMULA);
}

// Bad arguments and trees that break their own conventions give 2 and touch nothing.
TEST(ConvertNumbers, RefusesBadArgumentsAndBrokenTrees) {
    ConversionTree t;
    const std::int64_t linear = t.add(1);
    const std::int64_t a = t.add(8);
    const std::int64_t b = t.add(7);
    t[a].defaultConversion = b;  // a -> b -> a
    t[b].defaultConversion = a;
    const std::int64_t dangling = t.add(7);
    t[dangling].defaultConversion = 99;
    const std::int64_t countWithoutArray = t.add(5);
    t[countWithoutArray].entryCount = 3;

    const std::vector<double> raw{1};
    double out = -1;
    std::uint32_t yields = 0;
    EXPECT_EQ(MF4ConvertNumbers(nullptr, -1, 5, raw.data(), 1, &out), MF4_CONVERT_FAILED);
    EXPECT_EQ(MF4ConvertNumbers(t.tree(), -1, 5, nullptr, 1, &out), MF4_CONVERT_FAILED);
    EXPECT_EQ(MF4ConvertNumbers(t.tree(), -1, 5, raw.data(), 1, nullptr), MF4_CONVERT_FAILED);
    EXPECT_EQ(MF4ConvertNumbers(t.tree(), linear, 30, raw.data(), 1, &out), MF4_CONVERT_FAILED);
    EXPECT_EQ(MF4ConversionYields(t.tree(), linear, nullptr), MF4_CONVERT_FAILED);
    EXPECT_EQ(MF4ConvertTexts(t.tree(), linear, 5, raw.data(), 1, nullptr, nullptr), MF4_CONVERT_FAILED);
    for (const std::int64_t index : {std::int64_t{-2}, std::int64_t{100}, a, dangling, countWithoutArray}) {
        EXPECT_EQ(MF4ConvertNumbers(t.tree(), index, 5, raw.data(), 1, &out), MF4_CONVERT_FAILED) << index;
        EXPECT_EQ(MF4ConversionYields(t.tree(), index, &yields), MF4_CONVERT_FAILED) << index;
        EXPECT_EQ(convertTexts(t.tree(), index, 5, raw).result, MF4_CONVERT_FAILED) << index;
    }
    EXPECT_EQ(out, -1);
    EXPECT_EQ(MF4ConvertNumbers(t.tree(), linear, 5, nullptr, 0, nullptr), MF4_CONVERT_OK);
}

// One formula evaluated from many threads at once: each call gets a compiled formula of its
// own, so every thread sees exactly the single-threaded results.
TEST(ConvertConcurrent, OneFormulaFromManyThreads) {
    ConversionTree t;
    const std::int64_t formula = t.add(3);
    t[formula].formula = const_cast<MF4Char*>(u"sin(X) * 2 + X^2");
    std::vector<double> raw(5000);
    for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<double>(i) / 7;
    const MF4Content* tree = t.tree();  // the threads only read it
    const auto expected = convertNumbers(tree, formula, 5, raw).values;
    std::vector<std::thread> threads;
    std::vector<int> same(4, 0);
    for (std::size_t k = 0; k < same.size(); ++k)
        threads.emplace_back([&, k] {
            for (int round = 0; round < 20; ++round)
                same[k] += convertNumbers(tree, formula, 5, raw).values == expected ? 1 : 0;
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(same, std::vector<int>(4, 20));
}

}  // namespace
