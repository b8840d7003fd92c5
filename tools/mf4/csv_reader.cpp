#include "csv_reader.h"

#include <algorithm>

namespace mf4tool {

namespace {

constexpr std::string_view kBlanks = " \t";
// Spreadsheet programs start UTF-8 files with a byte order mark; it is no part of a name.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::size_t skipBlanks(std::string_view text, std::size_t pos) {
    const std::size_t next = text.find_first_not_of(kBlanks, pos);
    return next == std::string_view::npos ? text.size() : next;
}

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

CsvSplitOutcome splitCsvRecord(std::string_view text, std::vector<std::string>& fields) {
    fields.clear();
    std::size_t pos = 0;
    for (std::size_t column = 1;; ++column) {
        pos = skipBlanks(text, pos);
        if (pos < text.size() && text[pos] == '"') {
            std::string& value = fields.emplace_back();
            for (++pos;; ++pos) {
                if (pos >= text.size()) return {CsvSplit::openQuote, column, "unterminated quote"};
                if (text[pos] != '"') {
                    value += text[pos];
                } else if (pos + 1 < text.size() && text[pos + 1] == '"') {
                    value += '"';
                    ++pos;
                } else {
                    break;
                }
            }
            pos = skipBlanks(text, pos + 1);
            if (pos < text.size() && text[pos] != ',')
                return {CsvSplit::malformed, column, "text after the closing quote"};
        } else {
            const std::size_t end = std::min(text.find(',', pos), text.size());
            const std::string_view value = trimmed(text.substr(pos, end - pos));
            // A stray quote most likely means a field whose quoting went wrong; guessing what
            // was meant would import wrong texts silently.
            if (value.find('"') != std::string_view::npos)
                return {CsvSplit::malformed, column, "quote inside an unquoted field"};
            fields.emplace_back(value);
            pos = end;
        }
        if (pos >= text.size()) return {};
        ++pos;  // the comma
    }
}

bool CsvReader::readLine(std::string& line) {
    if (!std::getline(in_, line)) return false;
    ++lines_;
    bytesRead_ += line.size() + (in_.eof() ? 0 : 1);
    if (lines_ == 1 && line.starts_with(kByteOrderMark)) line.erase(0, kByteOrderMark.size());
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool CsvReader::next(std::vector<std::string>& fields) {
    if (problem_) return false;
    do {
        if (!readLine(text_)) return false;
    } while (text_.empty());
    recordLine_ = lines_;
    for (;;) {
        const CsvSplitOutcome outcome = splitCsvRecord(text_, fields);
        if (outcome.status == CsvSplit::complete) return true;
        if (outcome.status == CsvSplit::openQuote && readLine(more_)) {
            text_ += '\n';
            text_ += more_;
            continue;
        }
        problem_ = CsvProblem{recordLine_, outcome.column, outcome.message};
        return false;
    }
}

}  // namespace mf4tool
