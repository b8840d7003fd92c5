// The exported functions of TarvikMF4Convert: argument checks, the plan of the conversion,
// and the promise that nothing thrown inside leaves the library.
#include "TarvikMF4Convert.h"
#include "convert/conversion_plan.h"
#include "convert/number_conversion.h"
#include "convert/raw_values.h"
#include "convert/text_conversion.h"

using namespace tarvik::convert;

namespace {

bool isNumberKind(std::uint32_t valueType) {
    return visitRawKind(valueType, [](auto) {});
}

// Runs `work` on the plan of the conversion when the arguments hold; MF4_CONVERT_FAILED for
// bad arguments, a broken tree or anything thrown (no memory, above all).
template <typename Work>
std::uint32_t withPlan(const MF4Content* content, std::int64_t conversion, bool argumentsHold,
                       Work&& work) noexcept {
    if (content == nullptr || !argumentsHold) return MF4_CONVERT_FAILED;
    try {
        const ConversionPlan plan(*content, conversion);
        if (!plan.valid()) return MF4_CONVERT_FAILED;
        Remarks remarks;
        work(plan.top(), remarks);
        return remarks.result();
    } catch (...) {
        return MF4_CONVERT_FAILED;
    }
}

std::uint32_t yieldsOf(const Rule& rule) {
    if (rule.type != kValueToText && rule.type != kRangeToText) return MF4_YIELDS_NUMBERS;
    return rule.conversion->statusString != 0 ? MF4_YIELDS_STATUS_TEXTS : MF4_YIELDS_TEXTS;
}

}  // namespace

extern "C" {

MF4_CONVERT_API uint32_t MF4ConversionYields(const MF4Content* content, int64_t conversion,
                                             uint32_t* yields) {
    return withPlan(content, conversion, yields != nullptr, [&](const Rule& rule, Remarks& remarks) {
        *yields = yieldsOf(rule);
        remarks.unsupported = rule.type == kUnsupported;
        remarks.badFormula = rule.type == kAlgebraic && !rule.formula->compiled();
    });
}

MF4_CONVERT_API uint32_t MF4ConvertNumbers(const MF4Content* content, int64_t conversion,
                                           uint32_t valueType, const void* raw, uint64_t count,
                                           double* physical) {
    const bool hold = isNumberKind(valueType) && (count == 0 || (raw != nullptr && physical != nullptr));
    return withPlan(content, conversion, hold, [&](const Rule& rule, Remarks& remarks) {
        convertNumbers(rule, valueType, raw, count, physical, remarks);
    });
}

MF4_CONVERT_API uint32_t MF4ConvertTexts(const MF4Content* content, int64_t conversion,
                                         uint32_t valueType, const void* raw, uint64_t count,
                                         const MF4Char** texts, MF4ConvertedTexts** buffer) {
    if (buffer != nullptr) *buffer = nullptr;
    const bool hold = buffer != nullptr && isNumberKind(valueType) &&
                      (count == 0 || (raw != nullptr && texts != nullptr));
    // MF4Char is char16_t here and a 16-bit wchar_t on Windows: the same code units.
    auto** out = reinterpret_cast<const char16_t**>(texts);
    return withPlan(content, conversion, hold, [&](const Rule& rule, Remarks& remarks) {
        convertTexts(rule, valueType, raw, count, out, buffer, remarks);
    });
}

MF4_CONVERT_API void MF4FreeConvertedTexts(MF4ConvertedTexts* buffer) { delete buffer; }

}  // extern "C"
