// The rules that map a number to a number, as small function objects: the loops over a
// whole array and the evaluation of a single value (a partial or default conversion) share
// them, and a loop compiled with one of them has no switch and no call left inside.
#pragma once

#include <span>

#include "TarvikMF4Access.h"
#include "convert/conversion_plan.h"
#include "convert/value_tables.h"

namespace tarvik::convert {

struct IdentityMap {
    double operator()(double x) const { return x; }
};

struct LinearMap {
    double p0;
    double p1;
    double operator()(double x) const { return p0 + p1 * x; }
};

struct RationalMap {
    double p[6];
    double operator()(double x) const {
        return ((p[0] * x + p[1]) * x + p[2]) / ((p[3] * x + p[4]) * x + p[5]);
    }
};

struct AlgebraicMap {
    Formula* formula;
    double operator()(double x) const { return formula->evaluate(x); }
};

struct InterpolatedMap {
    std::span<const MF4ValuePair> pairs;
    double operator()(double x) const { return interpolated(pairs, x); }
};

struct NearestMap {
    std::span<const MF4ValuePair> pairs;
    double operator()(double x) const { return nearest(pairs, x); }
};

// Calls use(map) with the function object of `rule` when it maps numbers to numbers and says
// whether it did; text tables and unsupported rules are not such maps.
template <typename Use>
bool withNumericMap(const Rule& rule, Use&& use) {
    switch (rule.type) {
    case kIdentity: use(IdentityMap{}); return true;
    case kLinear: {
        const double* p = rule.conversion->parameters.linear;
        use(LinearMap{p[0], p[1]});
        return true;
    }
    case kRational: {
        const double* p = rule.conversion->parameters.rational;
        use(RationalMap{{p[0], p[1], p[2], p[3], p[4], p[5]}});
        return true;
    }
    case kAlgebraic: use(AlgebraicMap{rule.formula}); return true;
    case kInterpolatedTable: use(InterpolatedMap{rule.pairs}); return true;
    case kNearestTable: use(NearestMap{rule.pairs}); return true;
    default: return false;
    }
}

}  // namespace tarvik::convert
