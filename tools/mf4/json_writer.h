// A small streaming JSON writer: the caller says what comes next (object, array, key, value)
// and the writer places commas, indentation and escapes. It does not check that keys and
// values alternate; the report code that drives it is the only caller.
#pragma once

#include <concepts>
#include <type_traits>
#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

namespace mf4tool {

class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out) : out_(out) {}

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // Names the next value of the current object.
    void key(std::string_view name);

    // `utf8` must be valid UTF-8; it is written as is except for the characters JSON escapes.
    void text(std::string_view utf8);
    template <std::integral T>
    void number(T value) {
        if constexpr (std::is_signed_v<T>)
            signedNumber(value);
        else
            unsignedNumber(value);
    }
    // Shortest round-trip form; NaN and infinities, which JSON cannot express, become null.
    void number(double value);
    void boolean(bool value);
    void null();

    // Ends the document with a line break.
    void finish();

private:
    struct Level {
        char closer;
        bool empty;
    };

    void signedNumber(std::int64_t value);
    void unsignedNumber(std::uint64_t value);
    void beforeValue();
    void open(char opener, char closer);
    void close();
    void newLine();

    std::ostream& out_;
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

}  // namespace mf4tool
