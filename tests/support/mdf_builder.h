// Writes MDF 4 files byte by byte for tests, independently of the library's own writer, so a
// test can make exactly the file its case needs, malformed ones included.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tarvik::test {

// Little-endian encodings of the field types blocks are made of.
std::string u8(std::uint8_t value);
std::string u16(std::uint16_t value);
std::string u32(std::uint32_t value);
std::string u64(std::uint64_t value);
std::string i64(std::int64_t value);
std::string f64(double value);

class MdfBuilder {
public:
    // Starts the file with its 64-byte ID block.
    explicit MdfBuilder(std::string_view versionText = "4.10    ", std::string_view fileId = "MDF     ",
                        std::string_view programId = "TarvikT ");

    // Appends a block at the next multiple of 8: header (id such as "##HD", the given length
    // or header + links + data when 0), links, data. Returns the block's position.
    std::int64_t addBlock(std::string_view id, std::initializer_list<std::int64_t> links,
                          std::string_view data, std::uint64_t length = 0);
    // Appends a TX or MD block holding `text` and its terminating zero.
    std::int64_t addText(std::string_view id, std::string_view text);
    // Appends raw bytes as they are (no alignment).
    void append(std::string_view raw) { bytes_.append(raw); }
    // Overwrites the 8 bytes at `offset` (a link, a count) with `value`.
    void patchU64(std::uint64_t offset, std::uint64_t value);

    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};

}  // namespace tarvik::test
