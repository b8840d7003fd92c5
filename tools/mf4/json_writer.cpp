#include "json_writer.h"

#include <cmath>
#include <cstdio>

#include "number_text.h"

namespace mf4tool {

namespace {

void writeEscaped(std::ostream& out, std::string_view utf8) {
    out << '"';
    for (const char ch : utf8) {
        switch (ch) {
            case '"': out << "\\\""; break;
            case '\\': out << "\\\\"; break;
            case '\b': out << "\\b"; break;
            case '\f': out << "\\f"; break;
            case '\n': out << "\\n"; break;
            case '\r': out << "\\r"; break;
            case '\t': out << "\\t"; break;
            default:
                if (static_cast<unsigned char>(ch) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(ch));
                    out << escape;
                } else {
                    // Bytes of multi-byte UTF-8 sequences pass through: JSON text is UTF-8.
                    out << ch;
                }
        }
    }
    out << '"';
}

}  // namespace

void JsonWriter::beginObject() { open('{', '}'); }
void JsonWriter::endObject() { close(); }
void JsonWriter::beginArray() { open('[', ']'); }
void JsonWriter::endArray() { close(); }

void JsonWriter::key(std::string_view name) {
    beforeValue();
    writeEscaped(out_, name);
    out_ << ": ";
    afterKey_ = true;
}

void JsonWriter::text(std::string_view utf8) {
    beforeValue();
    writeEscaped(out_, utf8);
}

void JsonWriter::number(double value) {
    if (!std::isfinite(value)) {
        null();
        return;
    }
    beforeValue();
    out_ << shortestText(value);
}

void JsonWriter::boolean(bool value) {
    beforeValue();
    out_ << (value ? "true" : "false");
}

void JsonWriter::null() {
    beforeValue();
    out_ << "null";
}

void JsonWriter::finish() { out_ << '\n'; }

void JsonWriter::signedNumber(std::int64_t value) {
    beforeValue();
    out_ << value;
}

void JsonWriter::unsignedNumber(std::uint64_t value) {
    beforeValue();
    out_ << value;
}

// Values of arrays and keys of objects each start a line; the value after a key stays on the
// key's line.
void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty()) return;
    if (!levels_.back().empty) out_ << ',';
    levels_.back().empty = false;
    newLine();
}

void JsonWriter::open(char opener, char closer) {
    beforeValue();
    out_ << opener;
    levels_.push_back({closer, true});
}

void JsonWriter::close() {
    if (levels_.empty()) return;
    const Level level = levels_.back();
    levels_.pop_back();
    if (!level.empty) newLine();
    out_ << level.closer;
}

void JsonWriter::newLine() {
    out_ << '\n';
    for (std::size_t i = 0; i < levels_.size(); ++i) out_ << "  ";
}

}  // namespace mf4tool
