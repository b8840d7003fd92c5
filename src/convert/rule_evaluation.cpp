#include "convert/rule_evaluation.h"

#include "TarvikMF4Convert.h"
#include "convert/numeric_rules.h"

namespace tarvik::convert {

namespace {

Outcome textOutcome(const char16_t* text) { return {Outcome::kText, 0, text}; }

// A text table's default: its conversion applied to the raw value, else its text.
Outcome fallback(const Rule& rule, double x, bool integerRaw, Remarks& remarks) {
    if (rule.defaultRule != nullptr) return evaluate(*rule.defaultRule, x, integerRaw, remarks);
    return textOutcome(rule.defaultText);
}

}  // namespace

std::uint32_t Remarks::result() const {
    if (badFormula) return MF4_CONVERT_BAD_FORMULA;
    if (unsupported) return MF4_CONVERT_UNSUPPORTED;
    if (textValues) return MF4_CONVERT_TEXT_VALUES;
    return MF4_CONVERT_OK;
}

Outcome evaluate(const Rule& rule, double x, bool integerRaw, Remarks& remarks) {
    switch (rule.type) {
    case kIdentity: return {};
    case kValueToText: {
        const std::size_t i = matchingValue(rule.valueTexts, x);
        if (i < rule.valueTexts.size()) return textOutcome(rule.valueTexts[i].text);
        return fallback(rule, x, integerRaw, remarks);
    }
    case kRangeToText: {
        const std::size_t i = matchingRange(rule.ranges, x, integerRaw);
        if (i == rule.ranges.size()) return fallback(rule, x, integerRaw, remarks);
        if (rule.rangeRules[i] != nullptr) return evaluate(*rule.rangeRules[i], x, integerRaw, remarks);
        return textOutcome(rule.ranges[i].ref.text);
    }
    case kUnsupported: remarks.unsupported = true; return {};
    default: break;
    }
    if (rule.type == kAlgebraic && !rule.formula->compiled()) remarks.badFormula = true;
    Outcome outcome{Outcome::kNumber};
    withNumericMap(rule, [&](auto map) { outcome.number = map(x); });
    return outcome;
}

}  // namespace tarvik::convert
