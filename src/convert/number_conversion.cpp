#include "convert/number_conversion.h"

#include <limits>
#include <type_traits>

#include "convert/numeric_rules.h"
#include "convert/raw_values.h"

namespace tarvik::convert {

namespace {

// The kernel: every value of kind T through `map`. With a map known at compile time the loop
// is a load, the arithmetic and a store per value; nothing is allocated and nothing called
// through a pointer.
template <typename T, typename Map>
void mapValues(const unsigned char* raw, std::uint64_t count, double* __restrict physical, Map map) {
    for (std::uint64_t i = 0; i < count; ++i) physical[i] = map(static_cast<double>(rawAt<T>(raw, i)));
}

template <typename T>
void convertKind(const Rule& rule, const unsigned char* raw, std::uint64_t count, double* physical,
                 Remarks& remarks) {
    if (withNumericMap(rule, [&](auto map) { mapValues<T>(raw, count, physical, map); })) {
        if (rule.type == kAlgebraic && !rule.formula->compiled()) remarks.badFormula = true;
        return;
    }
    if (rule.type == kUnsupported) {
        mapValues<T>(raw, count, physical, IdentityMap{});
        remarks.unsupported = true;
        return;
    }
    // Text tables: each value finds its entry, which may give a text or pass the value on.
    constexpr bool integerRaw = std::is_integral_v<T>;
    mapValues<T>(raw, count, physical, [&](double x) {
        const Outcome outcome = evaluate(rule, x, integerRaw, remarks);
        if (outcome.kind == Outcome::kNumber) return outcome.number;
        if (outcome.kind == Outcome::kRaw) return x;
        remarks.textValues = true;
        return std::numeric_limits<double>::quiet_NaN();
    });
}

}  // namespace

void convertNumbers(const Rule& rule, std::uint32_t valueType, const void* raw, std::uint64_t count,
                    double* physical, Remarks& remarks) {
    if (count == 0) return;
    const auto* bytes = static_cast<const unsigned char*>(raw);
    visitRawKind(valueType, [&](auto kind) {
        convertKind<typename decltype(kind)::type>(rule, bytes, count, physical, remarks);
    });
}

}  // namespace tarvik::convert
