#include "findings/detail_format.h"

#include <array>
#include <cstddef>

namespace tarvik {

namespace {

// Detail formats indexed by finding number - kFirstNumber. Numbers whose detail is a plain
// list of names (110, 115, 125), that carry only the file path, or that do not exist (140)
// have no format.
constexpr std::uint32_t kFirstNumber = 100;

constexpr std::u16string_view kLinkCount =
    u"%d. %s at 0x%I64X, Expected Link Count: %I64d, Actual Link Count: %I64d";
constexpr std::u16string_view kBlockSize =
    u"%d. %s at 0x%I64X, Expected Size: %I64d, Actual Size: %I64d";
constexpr std::u16string_view kFieldOfBlock = u"%s at 0x%I64X, Field: %s";
constexpr std::u16string_view kLinkField = u"%s at 0x%I64X, Field: %s 0x%I64X";
constexpr std::u16string_view kXmlComment = u"%s at 0x%I64X, Field: %s, Error: %s";
constexpr std::u16string_view kAttachmentFile = u"ATBlock at 0x%I64X, File Path: %s";

constexpr std::array<std::u16string_view, 49> kFormats = {
    u"",                                                                  // 100
    u"",                                                                  // 101
    u"",                                                                  // 102
    u"%s",                                                                // 103
    kLinkCount,                                                           // 104
    kLinkCount,                                                           // 105
    kBlockSize,                                                           // 106
    kBlockSize,                                                           // 107
    u"%s at 0x%I64X, Field: %s, Value: %d",                               // 108
    kFieldOfBlock,                                                        // 109
    u"",                                                                  // 110
    u"",                                                                  // 111
    kLinkField,                                                           // 112
    u"HD Block at 0x%I64X, Field: %s",                                    // 113
    kLinkField,                                                           // 114
    u"",                                                                  // 115
    kFieldOfBlock,                                                        // 116
    u"EV Block at 0x%I64X, ev_ev_range: 0x%I64X, ev_range_type: %d",      // 117
    u"CA Block at 0x%I64X, ca_type: %d (%s)",                             // 118
    u"CC Block at 0x%I64X, cc_type: %d (%s)",                             // 119
    u"EV Block at 0x%I64X, ev_type: %d (%s)",                             // 120
    u"EV Block at 0x%I64X, ev_sync_type: %d (%s)",                        // 121
    u"EV Block at 0x%I64X, ev_cause: %d (%s)",                            // 122
    u"CG Block at 0x%I64X, cg_flags: VLSD",                               // 123
    u"CG Block at 0x%I64X, cg_inval_bytes: %d",                           // 124
    u"",                                                                  // 125
    u"CA Block at 0x%I64X, ca_composition: 0x%I64X",                      // 126
    u"CA Block at 0x%I64X, ca_storage: %d",                               // 127
    kXmlComment,                                                          // 128
    kXmlComment,                                                          // 129
    u"File Version: %d, Tool Version: %d.",                               // 130
    u"%s at 0x%I64X, %s 0x%I64X",                                         // 131
    u"CGBlock at 0x%I64X",                                                // 132
    u"Attachment Index: %d",                                              // 133
    u"ATBlock at 0x%I64X",                                                // 134
    kAttachmentFile,                                                      // 135
    kAttachmentFile,                                                      // 136
    kAttachmentFile,                                                      // 137
    kAttachmentFile,                                                      // 138
    u"",                                                                  // 139
    u"",                                                                  // 140
    u"",                                                                  // 141
    u"",                                                                  // 142
    u"Mixing fixed axis type with standard or shared axis is not allowed for signal: %s",  // 143
    u"",                                                                  // 144
    u"",                                                                  // 145
    u"",                                                                  // 146
    kAttachmentFile,                                                      // 147
    u"",                                                                  // 148
};

enum class Conversion { Text, Int32, Hex64, Int64 };

void appendAscii(std::u16string& out, std::size_t count, const char* digits) {
    for (std::size_t i = 0; i < count; ++i) out.push_back(static_cast<char16_t>(digits[i]));
}

void appendUnsigned(std::u16string& out, std::uint64_t value, unsigned base) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char buffer[20];  // 2^64 - 1 has 20 decimal digits, 16 hexadecimal ones
    std::size_t used = 0;
    do {
        buffer[sizeof buffer - 1 - used] = kDigits[value % base];
        value /= base;
        ++used;
    } while (value != 0);
    appendAscii(out, used, buffer + sizeof buffer - used);
}

void appendSigned(std::u16string& out, std::int64_t value) {
    if (value < 0) {
        out.push_back(u'-');
        // Negating in unsigned arithmetic is defined for the most negative value as well.
        appendUnsigned(out, 0 - static_cast<std::uint64_t>(value), 10);
    } else {
        appendUnsigned(out, static_cast<std::uint64_t>(value), 10);
    }
}

// The value of a numeric argument as the 64-bit pattern a conversion reads; texts count as 0.
// A 32-bit value is sign-extended, so -1 reads as all bits set, as in two's complement.
std::uint64_t bitsOf(const DetailArg& arg) {
    if (const auto* v = std::get_if<std::int32_t>(&arg)) return static_cast<std::uint64_t>(*v);
    if (const auto* v = std::get_if<std::int64_t>(&arg)) return static_cast<std::uint64_t>(*v);
    if (const auto* v = std::get_if<std::uint64_t>(&arg)) return *v;
    return 0;
}

void appendArgument(std::u16string& out, Conversion conversion, const DetailArg& arg) {
    switch (conversion) {
    case Conversion::Text:
        if (const auto* text = std::get_if<std::u16string_view>(&arg)) {
            out.append(*text);
        } else if (const auto* unsignedValue = std::get_if<std::uint64_t>(&arg)) {
            appendUnsigned(out, *unsignedValue, 10);
        } else {
            appendSigned(out, static_cast<std::int64_t>(bitsOf(arg)));
        }
        break;
    case Conversion::Int32:
        // %d reads 32 bits, so a wider value keeps its low half, as the format promises.
        appendSigned(out, static_cast<std::int32_t>(static_cast<std::uint32_t>(bitsOf(arg))));
        break;
    case Conversion::Hex64:
        appendUnsigned(out, bitsOf(arg), 16);
        break;
    case Conversion::Int64:
        appendSigned(out, static_cast<std::int64_t>(bitsOf(arg)));
        break;
    }
}

// Recognises the conversion that starts right after a '%' at `rest`; sets `length` to the
// number of characters it takes after the '%'. False for anything else.
bool parseConversion(std::u16string_view rest, Conversion& conversion, std::size_t& length) {
    if (rest.starts_with(u's')) {
        conversion = Conversion::Text;
        length = 1;
        return true;
    }
    if (rest.starts_with(u'd')) {
        conversion = Conversion::Int32;
        length = 1;
        return true;
    }
    if (rest.starts_with(u"I64X")) {
        conversion = Conversion::Hex64;
        length = 4;
        return true;
    }
    if (rest.starts_with(u"I64d")) {
        conversion = Conversion::Int64;
        length = 4;
        return true;
    }
    return false;
}

}  // namespace

std::u16string formatText(std::u16string_view format, std::initializer_list<DetailArg> args) {
    std::u16string out;
    const DetailArg* nextArg = args.begin();
    std::size_t pos = 0;
    while (pos < format.size()) {
        const std::size_t percent = format.find(u'%', pos);
        if (percent == std::u16string_view::npos) {
            out.append(format.substr(pos));
            break;
        }
        out.append(format.substr(pos, percent - pos));
        const std::u16string_view rest = format.substr(percent + 1);
        Conversion conversion{};
        std::size_t length = 0;
        if (rest.starts_with(u'%')) {
            out.push_back(u'%');
            pos = percent + 2;
        } else if (parseConversion(rest, conversion, length)) {
            if (nextArg != args.end()) appendArgument(out, conversion, *nextArg++);
            pos = percent + 1 + length;
        } else {
            // Not a conversion we know: the '%' is an ordinary character.
            out.push_back(u'%');
            pos = percent + 1;
        }
    }
    return out;
}

std::u16string_view detailFormat(std::uint32_t findingNumber) {
    if (findingNumber < kFirstNumber || findingNumber - kFirstNumber >= kFormats.size()) return {};
    return kFormats[findingNumber - kFirstNumber];
}

std::u16string formatDetail(std::uint32_t findingNumber, std::initializer_list<DetailArg> args) {
    return formatText(detailFormat(findingNumber), args);
}

}  // namespace tarvik
