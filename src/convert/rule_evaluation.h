// One raw value through a rule of any kind, as text tables need it: a range may hand its
// value to another conversion, a default may be a conversion, and either may give a text.
#pragma once

#include <cstdint>

#include "convert/conversion_plan.h"

namespace tarvik::convert {

// What the values of a call met that the host should know of (the result codes 3 to 5).
struct Remarks {
    bool textValues = false;   // numbers asked for, a text came out
    bool unsupported = false;  // a rule of type 9: the raw value came back
    bool badFormula = false;   // a formula that does not compile: NaN

    // The documented result: the largest code that applies, 0 when none does.
    std::uint32_t result() const;
};

struct Outcome {
    enum Kind : std::uint8_t { kNumber, kText, kRaw };
    Kind kind = kRaw;               // kRaw: the raw value unchanged (identity, unsupported)
    double number = 0;              // kNumber
    const char16_t* text = nullptr; // kText; null for an absent text
};

// The outcome of raw value `x` under `rule`; `integerRaw` says whether the raw value was an
// integer (ranges include their upper border for integers only).
Outcome evaluate(const Rule& rule, double x, bool integerRaw, Remarks& remarks);

}  // namespace tarvik::convert
