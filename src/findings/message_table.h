// Message texts of the finding numbers, read from the message file that lies beside the library.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik {

inline constexpr char16_t kMessageFileName[] = u"TarvikMF4Access.en-us.msgres";

class MessageTable {
public:
    // Reads every "Message" element of the XML file at `path` (wherever it stands): its "ID"
    // attribute (leading decimal digits; other text gives 0) and the text of its first
    // descendant "MessageText". A later duplicate ID replaces the earlier text. A missing or
    // malformed file leaves the table as it was; entries read before a problem are kept.
    void loadFile(std::u16string_view path);

    // The text for a finding number, or nothing.
    std::optional<std::u16string_view> text(std::int32_t id) const;

    bool empty() const { return texts_.empty(); }
    void clear() { texts_.clear(); }

    // The process-wide table, loaded from the message file beside the library on the first
    // call (under its own lock; the loading is tried once per process).
    static const MessageTable& process();

private:
    std::map<std::int32_t, std::u16string> texts_;
};

// The message `text` with its first "%1" replaced by detail1 and its first "%2" by detail2;
// a placeholder whose detail is absent stays as it is. Placeholders are located in `text`
// itself, so a detail that happens to contain "%2" is never substituted again.
std::u16string substituteDetails(std::u16string_view text, const std::optional<std::u16string>& detail1,
                                 const std::optional<std::u16string>& detail2);

}  // namespace tarvik
