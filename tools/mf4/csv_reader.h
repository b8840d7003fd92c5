// Reading comma-separated values record by record, so that a file of any size passes through
// in constant memory. Fields may be put in double quotes, with a doubled quote inside standing
// for one; a quoted field may span lines, as `mf4 export` writes texts with line breaks. Spaces
// and tabs around a field (outside its quotes) are dropped; records end with LF or CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mf4tool {

// Why a record could not be read: `line` and `column` (the field's position) count from 1.
struct CsvProblem {
    std::uint64_t line = 0;
    std::size_t column = 0;
    std::string message;
};

enum class CsvSplit {
    complete,   // every field of the record was read
    openQuote,  // the text ends inside a quoted field: the record goes on in the next line
    malformed,  // a quote where none may be; `column` and `message` say where and what
};

struct CsvSplitOutcome {
    CsvSplit status = CsvSplit::complete;
    std::size_t column = 0;
    std::string message;
};

// Splits the text of one record into `fields` (replacing what they held).
CsvSplitOutcome splitCsvRecord(std::string_view text, std::vector<std::string>& fields);

class CsvReader {
public:
    explicit CsvReader(std::istream& in) : in_(in) {}

    // Reads the next record into `fields`, skipping empty lines; false at the end of the input
    // or for a malformed record, which problem() then describes.
    bool next(std::vector<std::string>& fields);

    const std::optional<CsvProblem>& problem() const { return problem_; }
    // First line of the record last read.
    std::uint64_t line() const { return recordLine_; }
    std::uint64_t bytesRead() const { return bytesRead_; }

private:
    bool readLine(std::string& line);

    std::istream& in_;
    std::string text_;
    std::string more_;
    std::uint64_t lines_ = 0;
    std::uint64_t recordLine_ = 0;
    std::uint64_t bytesRead_ = 0;
    std::optional<CsvProblem> problem_;
};

}  // namespace mf4tool
