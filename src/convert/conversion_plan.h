// A conversion of the tree made ready for one call: the rule of each conversion it reaches
// (itself, the partial conversions of its ranges, its default), with every reference checked,
// every table span taken and every formula compiled, so that converting values only computes.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <utility>
#include <vector>

#include "TarvikMF4Access.h"
#include "convert/formula.h"

namespace tarvik::convert {

// Rule kinds: the conversion types of the tree, with 9 also for tables that cannot be
// evaluated (an empty value table).
enum RuleType : std::uint32_t {
    kIdentity = 0,
    kLinear = 1,
    kRational = 2,
    kAlgebraic = 3,
    kInterpolatedTable = 4,
    kNearestTable = 5,
    kValueToText = 7,
    kRangeToText = 8,
    kUnsupported = 9,
};

struct Rule {
    RuleType type = kIdentity;
    const MF4Conversion* conversion = nullptr;  // null for "no conversion"
    Formula* formula = nullptr;                 // algebraic
    std::span<const MF4ValuePair> pairs;        // value tables
    std::span<const MF4ValueText> valueTexts;   // value to text
    std::span<const MF4RangeText> ranges;       // range to text
    std::vector<const Rule*> rangeRules;        // per range: its partial conversion, or null
    const Rule* defaultRule = nullptr;          // text tables: the default conversion
    const char16_t* defaultText = nullptr;      // text tables without a default conversion
};

// Rules point at each other and at the tree, so a plan stays where it was made.
class ConversionPlan {
public:
    // The plan of conversion `index` of `content` (-1: none). It is not valid when an index or
    // a reference lies outside the tree, references go round in a circle or deeper than
    // kMaxDepth, or a table's count comes without its array.
    ConversionPlan(const MF4Content& content, std::int64_t index);
    ConversionPlan(const ConversionPlan&) = delete;
    ConversionPlan& operator=(const ConversionPlan&) = delete;

    bool valid() const { return valid_; }
    const Rule& top() const { return rules_.front(); }

    // References followed from the top at most; more is taken for a damaged tree.
    static constexpr int kMaxDepth = 16;

private:
    // Rule of conversion `index` at reference depth `depth`, made when first met; null when
    // the tree is broken there.
    const Rule* ruleOf(const MF4Content& content, std::int64_t index, int depth);
    bool fill(Rule& rule, const MF4Content& content, int depth);

    std::deque<Rule> rules_;  // stable addresses: rules point at each other
    std::vector<std::pair<std::int64_t, Rule*>> made_;  // conversion index -> its rule
    std::vector<std::int64_t> path_;                    // indices being made, to see circles
    std::vector<FormulaLease> formulas_;
    bool valid_ = false;
};

}  // namespace tarvik::convert
