// Algebraic conversions: a formula in X compiled by muparser, and the process-wide store of
// compiled formulas that lets every call after the first skip the compiling.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tarvik::convert {

// One compiled formula. muparser evaluates through state inside the parser object (the value
// of X, its stack), so one Formula serves one thread at a time; the store hands each call its
// own.
class Formula {
public:
    explicit Formula(std::string text);
    ~Formula();
    Formula(const Formula&) = delete;
    Formula& operator=(const Formula&) = delete;

    const std::string& text() const { return text_; }
    // False when muparser could not compile the text; evaluate then gives NaN.
    bool compiled() const { return compiled_; }
    double evaluate(double x);

private:
    struct Engine;
    std::string text_;
    std::unique_ptr<Engine> engine_;
    bool compiled_ = false;
};

// A formula taken from the store for the length of one call; it goes back when the lease ends.
class FormulaLease {
public:
    FormulaLease() = default;
    explicit FormulaLease(std::unique_ptr<Formula> formula) : formula_(std::move(formula)) {}
    ~FormulaLease();
    FormulaLease(FormulaLease&& other) noexcept = default;
    FormulaLease& operator=(FormulaLease&& other) noexcept;
    FormulaLease(const FormulaLease&) = delete;
    FormulaLease& operator=(const FormulaLease&) = delete;

    Formula* get() const { return formula_.get(); }

private:
    std::unique_ptr<Formula> formula_;
};

// A compiled formula for `text` (UTF-16, as the tree holds it): one from the store when an idle
// one of the same text is there, else newly compiled. Safe from any thread.
FormulaLease leaseFormula(std::u16string_view text);

}  // namespace tarvik::convert
