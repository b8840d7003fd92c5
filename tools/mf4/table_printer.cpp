#include "table_printer.h"

#include <algorithm>

namespace mf4tool {

namespace {

// Columns are set apart by this many spaces.
constexpr std::size_t kGap = 2;

}  // namespace

std::size_t characterCount(const std::string& utf8) {
    // Continuation bytes (10xxxxxx) do not start a character.
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

void TablePrinter::addRow(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }

void TablePrinter::flush() {
    for (const auto& row : rows_) {
        if (row.size() > widths_.size()) widths_.resize(row.size(), 0);
        for (std::size_t column = 0; column < row.size(); ++column)
            widths_[column] = std::max(widths_[column], characterCount(row[column]));
    }
    std::string line;
    for (const auto& row : rows_) {
        line.clear();
        for (std::size_t column = 0; column < row.size(); ++column) {
            line += row[column];
            // The last cell of a row gets no trailing padding.
            if (column + 1 < row.size())
                line.append(widths_[column] - characterCount(row[column]) + kGap, ' ');
        }
        out_ << line << '\n';
    }
    rows_.clear();
}

}  // namespace mf4tool
