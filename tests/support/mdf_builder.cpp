#include "support/mdf_builder.h"

#include <cstring>
#include <stdexcept>

namespace tarvik::test {

namespace {

template <typename T>
std::string littleEndian(T value) {
    std::string out(sizeof(T), '\0');
    std::memcpy(out.data(), &value, sizeof(T));  // the test hosts are little-endian
    return out;
}

std::string fixedText(std::string_view text, std::size_t width) {
    std::string out(text.substr(0, width));
    out.resize(width, '\0');
    return out;
}

}  // namespace

std::string u8(std::uint8_t value) { return littleEndian(value); }
std::string u16(std::uint16_t value) { return littleEndian(value); }
std::string u32(std::uint32_t value) { return littleEndian(value); }
std::string u64(std::uint64_t value) { return littleEndian(value); }
std::string i64(std::int64_t value) { return littleEndian(value); }
std::string f64(double value) { return littleEndian(value); }

MdfBuilder::MdfBuilder(std::string_view versionText, std::string_view fileId, std::string_view programId) {
    bytes_ = fixedText(fileId, 8) + fixedText(versionText, 8) + fixedText(programId, 8) +
             std::string(4, '\0');
    bytes_ += u16(0);  // id_ver: the reader derives the version from the text
    bytes_ += std::string(34, '\0');
}

std::int64_t MdfBuilder::addBlock(std::string_view id, std::initializer_list<std::int64_t> links,
                                  std::string_view data, std::uint64_t length) {
    if (id.size() != 4) throw std::invalid_argument("block ids have four characters");
    bytes_.resize((bytes_.size() + 7) / 8 * 8, '\0');
    const auto position = static_cast<std::int64_t>(bytes_.size());
    const std::uint64_t natural = 24 + 8 * links.size() + data.size();
    bytes_ += std::string(id) + std::string(4, '\0') + u64(length ? length : natural) + u64(links.size());
    for (std::int64_t link : links) bytes_ += i64(link);
    bytes_ += data;
    return position;
}

std::int64_t MdfBuilder::addText(std::string_view id, std::string_view text) {
    return addBlock(id, {}, std::string(text) + '\0');
}

void MdfBuilder::patchU64(std::uint64_t offset, std::uint64_t value) {
    if (offset + 8 > bytes_.size()) throw std::out_of_range("patch beyond the file");
    std::memcpy(bytes_.data() + offset, &value, 8);
}

}  // namespace tarvik::test
