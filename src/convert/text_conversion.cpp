#include "convert/text_conversion.h"

#include <array>
#include <charconv>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "convert/raw_values.h"

namespace tarvik::convert {

namespace {

// Given for an absent text: hosts get a text for every value.
constexpr char16_t kEmptyText[] = u"";

// Numbers written while the values are gone through; their places in `texts` are filled in at
// the end, when the characters no longer move.
class NumberTexts {
public:
    template <typename N>
    void add(std::uint64_t value, N number) {
        // The shortest forms that read back exactly fit into 32 characters for every kind.
        std::array<char, 32> digits{};
        const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), number);
        const std::size_t offset = characters_.size();
        const char* last = error == std::errc{} ? end : digits.data();
        for (const char* c = digits.data(); c != last; ++c) characters_.push_back(static_cast<char16_t>(*c));
        characters_.push_back(u'\0');
        places_.emplace_back(value, offset);
    }

    void finish(const char16_t** texts, MF4ConvertedTexts** buffer) {
        if (places_.empty()) return;
        auto owned = std::make_unique<MF4ConvertedTexts>();
        owned->characters = std::move(characters_);
        for (const auto& [value, offset] : places_) texts[value] = owned->characters.data() + offset;
        *buffer = owned.release();
    }

private:
    std::u16string characters_;
    std::vector<std::pair<std::uint64_t, std::size_t>> places_;  // value index, offset
};

template <typename T>
void convertKind(const Rule& rule, const unsigned char* raw, std::uint64_t count,
                 const char16_t** texts, NumberTexts& numbers, Remarks& remarks) {
    constexpr bool integerRaw = std::is_integral_v<T>;
    for (std::uint64_t i = 0; i < count; ++i) {
        const T value = rawAt<T>(raw, i);
        const Outcome outcome = evaluate(rule, static_cast<double>(value), integerRaw, remarks);
        switch (outcome.kind) {
        case Outcome::kText: texts[i] = outcome.text != nullptr ? outcome.text : kEmptyText; break;
        case Outcome::kNumber: numbers.add(i, outcome.number); break;
        case Outcome::kRaw: numbers.add(i, value); break;
        }
    }
}

}  // namespace

void convertTexts(const Rule& rule, std::uint32_t valueType, const void* raw, std::uint64_t count,
                  const char16_t** texts, MF4ConvertedTexts** buffer, Remarks& remarks) {
    *buffer = nullptr;
    if (count == 0) return;
    const auto* bytes = static_cast<const unsigned char*>(raw);
    NumberTexts numbers;
    visitRawKind(valueType, [&](auto kind) {
        convertKind<typename decltype(kind)::type>(rule, bytes, count, texts, numbers, remarks);
    });
    numbers.finish(texts, buffer);
}

}  // namespace tarvik::convert
