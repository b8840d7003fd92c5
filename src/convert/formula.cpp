#include "convert/formula.h"

#include <cmath>
#include <limits>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include <muParser.h>

#include "platform/text.h"

namespace tarvik::convert {

namespace {

// Idle compiled formulas kept at most; a host that meets more distinct formulas than this at
// once compiles the rest per call instead of letting the store grow without end.
constexpr std::size_t kMaxIdleFormulas = 256;

// Compiled formulas not in use, by their text. Keyed by the text rather than by the address of
// a conversion record: a freed tree's address may come back holding another formula.
class FormulaStore {
public:
    std::unique_ptr<Formula> take(const std::string& text) {
        {
            std::lock_guard lock(mutex_);
            auto found = idle_.find(text);
            if (found != idle_.end() && !found->second.empty()) {
                std::unique_ptr<Formula> formula = std::move(found->second.back());
                found->second.pop_back();
                --idleCount_;
                return formula;
            }
        }
        // Compiling happens outside the lock: other threads keep taking their formulas.
        return std::make_unique<Formula>(text);
    }

    // Called from a lease's destructor: a formula that cannot be kept (the store is full, or
    // there is no memory for its entry) is simply released.
    void giveBack(std::unique_ptr<Formula> formula) noexcept {
        try {
            std::lock_guard lock(mutex_);
            if (idleCount_ >= kMaxIdleFormulas) return;
            idle_[formula->text()].push_back(std::move(formula));
            ++idleCount_;
        } catch (...) {
        }
    }

private:
    std::mutex mutex_;
    std::unordered_map<std::string, std::vector<std::unique_ptr<Formula>>> idle_;
    std::size_t idleCount_ = 0;
};

FormulaStore& store() {
    static FormulaStore instance;
    return instance;
}

}  // namespace

struct Formula::Engine {
    mu::Parser parser;
    double x = 0;
};

Formula::Formula(std::string text) : text_(std::move(text)), engine_(std::make_unique<Engine>()) {
    try {
        engine_->parser.DefineVar("X", &engine_->x);
        engine_->parser.SetExpr(text_);
        // muparser finishes compiling at the first evaluation; a formula that fails there
        // (an unknown name, a missing operand) is known as bad from here on.
        engine_->parser.Eval();
        compiled_ = true;
    } catch (const mu::Parser::exception_type&) {
        compiled_ = false;
    }
}

Formula::~Formula() = default;

double Formula::evaluate(double x) {
    if (!compiled_) return std::numeric_limits<double>::quiet_NaN();
    engine_->x = x;
    return engine_->parser.Eval();
}

FormulaLease::~FormulaLease() {
    if (formula_) store().giveBack(std::move(formula_));
}

FormulaLease& FormulaLease::operator=(FormulaLease&& other) noexcept {
    if (this != &other) {
        if (formula_) store().giveBack(std::move(formula_));
        formula_ = std::move(other.formula_);
    }
    return *this;
}

FormulaLease leaseFormula(std::u16string_view text) {
    return FormulaLease(store().take(platform::utf16ToUtf8(text)));
}

}  // namespace tarvik::convert
