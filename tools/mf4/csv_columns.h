// What the columns of an imported CSV file become: the name and unit of each header, and the
// value kind its cells allow. The kind is decided by the data alone, so that the same file
// always gives the same channels.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mf4tool {

struct ColumnTitle {
    std::string name;
    std::string unit;  // empty when the header names none
};

// "speed [km/h]" -> name "speed", unit "km/h": a unit is the bracketed text that ends the
// header. A header that is nothing but brackets is all name, and an element index as `mf4
// export` writes it stays with the name: "p [bar][2]" -> "p[2]", "bar"; "p[2]" -> "p[2]".
ColumnTitle splitColumnTitle(std::string_view header);

// A cell as a 64-bit integer: optional sign and decimal digits only.
std::optional<std::int64_t> integerCell(std::string_view cell);
// A cell as a number: integer, decimal or exponent form, "nan", "inf" (as `mf4 export`
// writes them); an optional leading "+".
std::optional<double> numberCell(std::string_view cell);

enum class ColumnKind {
    integer,  // every cell an integer: i64
    number,   // every cell a number or empty (empty cells become NaN): f64
    text,     // some non-empty cell is no number: variable-length UTF-8 strings
};

// Collects the kind of one column over its cells.
class ColumnSurvey {
public:
    void add(std::string_view cell);
    ColumnKind kind() const;

private:
    bool allIntegers_ = true;
    bool allNumbers_ = true;
};

// "i64", "f64", "text".
std::string columnKindName(ColumnKind kind);

}  // namespace mf4tool
