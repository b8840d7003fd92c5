#include "csv_columns.h"

#include <charconv>

namespace mf4tool {

namespace {

std::string_view trimmedEnd(std::string_view text) {
    const std::size_t last = text.find_last_not_of(" \t");
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

template <typename T>
std::optional<T> parsed(std::string_view cell) {
    // from_chars knows no plus sign, but people and spreadsheets write one.
    if (cell.size() > 1 && cell.front() == '+' && cell[1] != '-') cell.remove_prefix(1);
    T value{};
    const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    if (cell.empty() || error != std::errc{} || end != cell.data() + cell.size())
        return std::nullopt;
    return value;
}

}  // namespace

ColumnTitle splitColumnTitle(std::string_view header) {
    std::string_view text = trimmedEnd(header);
    // `mf4 export` names the columns of array elements "name [unit][2]", or "name[2]" without
    // a unit: an index in brackets straight after the name or unit stays with the name.
    std::string_view index;
    const std::size_t last = text.rfind('[');
    if (last != std::string_view::npos && last > 0 && text[last - 1] != ' ' &&
        text.size() - last > 2 && text.back() == ']' &&
        text.find_first_not_of("0123456789", last + 1) == text.size() - 1) {
        index = text.substr(last);
        text = text.substr(0, last);
    }
    ColumnTitle title{std::string(text), {}};
    const std::size_t open = text.rfind('[');
    if (!text.empty() && text.back() == ']' && open != std::string_view::npos) {
        const std::string_view name = trimmedEnd(text.substr(0, open));
        if (!name.empty())
            title = {std::string(name), std::string(text.substr(open + 1, text.size() - open - 2))};
    }
    title.name += index;
    return title;
}

std::optional<std::int64_t> integerCell(std::string_view cell) {
    return parsed<std::int64_t>(cell);
}

std::optional<double> numberCell(std::string_view cell) { return parsed<double>(cell); }

void ColumnSurvey::add(std::string_view cell) {
    if (!allIntegers_ && !allNumbers_) return;
    if (cell.empty()) {
        allIntegers_ = false;
    } else if (!integerCell(cell)) {
        allIntegers_ = false;
        if (allNumbers_ && !numberCell(cell)) allNumbers_ = false;
    }
}

ColumnKind ColumnSurvey::kind() const {
    if (allIntegers_) return ColumnKind::integer;
    return allNumbers_ ? ColumnKind::number : ColumnKind::text;
}

std::string columnKindName(ColumnKind kind) {
    switch (kind) {
        case ColumnKind::integer: return "i64";
        case ColumnKind::number: return "f64";
        case ColumnKind::text: return "text";
    }
    return "?";
}

}  // namespace mf4tool
