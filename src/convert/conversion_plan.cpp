#include "convert/conversion_plan.h"

#include <algorithm>

#include "platform/text.h"

namespace tarvik::convert {

namespace {

template <typename T>
bool arrayGoesWithCount(const T* array, std::uint64_t count) {
    return count == 0 || array != nullptr;
}

template <typename T>
std::span<const T> entries(const T* array, std::uint64_t count) {
    return count == 0 ? std::span<const T>{} : std::span<const T>(array, count);
}

}  // namespace

ConversionPlan::ConversionPlan(const MF4Content& content, std::int64_t index) {
    Rule& top = rules_.emplace_back();
    if (index == -1) {
        valid_ = true;
        return;
    }
    if (index < 0 || static_cast<std::uint64_t>(index) >= content.conversionCount ||
        content.conversions == nullptr)
        return;
    top.conversion = &content.conversions[index];
    made_.emplace_back(index, &top);
    path_.push_back(index);
    valid_ = fill(top, content, 0);
}

const Rule* ConversionPlan::ruleOf(const MF4Content& content, std::int64_t index, int depth) {
    if (depth > kMaxDepth || index < 0 || static_cast<std::uint64_t>(index) >= content.conversionCount)
        return nullptr;
    if (std::find(path_.begin(), path_.end(), index) != path_.end()) return nullptr;
    for (const auto& [made, rule] : made_)
        if (made == index) return rule;
    Rule& rule = rules_.emplace_back();
    rule.conversion = &content.conversions[index];
    made_.emplace_back(index, &rule);
    path_.push_back(index);
    const bool filled = fill(rule, content, depth);
    path_.pop_back();
    return filled ? &rule : nullptr;
}

bool ConversionPlan::fill(Rule& rule, const MF4Content& content, int depth) {
    const MF4Conversion& conversion = *rule.conversion;
    const auto& parameters = conversion.parameters;
    const std::uint64_t count = conversion.entryCount;
    switch (conversion.conversionType) {
    case kIdentity:
    case kLinear:
    case kRational:
        rule.type = static_cast<RuleType>(conversion.conversionType);
        return true;
    case kAlgebraic: {
        rule.type = kAlgebraic;
        FormulaLease& lease = formulas_.emplace_back(leaseFormula(platform::textView(conversion.formula)));
        rule.formula = lease.get();
        return true;
    }
    case kInterpolatedTable:
    case kNearestTable:
        if (!arrayGoesWithCount(parameters.pairs, count)) return false;
        rule.pairs = entries(parameters.pairs, count);
        rule.type = rule.pairs.empty() ? kUnsupported : static_cast<RuleType>(conversion.conversionType);
        return true;
    case kValueToText:
    case kRangeToText:
        break;
    default:
        rule.type = kUnsupported;
        return true;
    }

    rule.type = static_cast<RuleType>(conversion.conversionType);
    if (rule.type == kValueToText) {
        if (!arrayGoesWithCount(parameters.valueTexts, count)) return false;
        rule.valueTexts = entries(parameters.valueTexts, count);
    } else {
        if (!arrayGoesWithCount(parameters.rangeTexts, count)) return false;
        rule.ranges = entries(parameters.rangeTexts, count);
        rule.rangeRules.reserve(rule.ranges.size());
        for (const MF4RangeText& range : rule.ranges) {
            const Rule* partial = nullptr;
            if (range.refKind == 1 && !(partial = ruleOf(content, range.ref.conversion, depth + 1)))
                return false;
            rule.rangeRules.push_back(partial);
        }
    }
    if (conversion.defaultConversion != -1) {
        rule.defaultRule = ruleOf(content, conversion.defaultConversion, depth + 1);
        return rule.defaultRule != nullptr;
    }
    rule.defaultText = conversion.defaultText;
    return true;
}

}  // namespace tarvik::convert
