// A text table for the terminal whose columns line up. Rows are printed in batches: a column
// is as wide as the widest cell seen so far, so a long table never has to be held whole.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

namespace mf4tool {

class TablePrinter {
public:
    explicit TablePrinter(std::ostream& out) : out_(out) {}

    // Buffers a row; rows may have different numbers of cells.
    void addRow(std::vector<std::string> cells);
    std::size_t bufferedRows() const { return rows_.size(); }
    // Widens the columns to the buffered rows, prints them and empties the buffer.
    void flush();

private:
    std::ostream& out_;
    std::vector<std::vector<std::string>> rows_;
    std::vector<std::size_t> widths_;
};

// Characters (code points) in a UTF-8 text.
std::size_t characterCount(const std::string& utf8);

}  // namespace mf4tool
