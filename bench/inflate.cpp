// Which inflater decodes DZ blocks faster, zlib or libdeflate, and by how much, on the blocks
// the library meets: the generated records of bench_read_data (64 blocks of 21 float64 channels,
// 168 bytes a record) deflated as they are ("generated_deflate", zip type 0) and transposed into
// 168 byte columns first ("generated_transposed", zip type 1), and every DZ block found in the
// files of ../shared/corpus ("corpus", both zip types; skipped when the folder is absent).
//
// Each set gets one line per library: "blocks", "compressed_bytes" (the deflate streams),
// "decoded_bytes" (what the blocks declare and decode to), "seconds" for one pass over the set
// (best of three runs; a run repeats the pass "passes" times when the set is small, so that a
// run decodes at least 64 MB) and "mb_per_s" of decoded bytes (MB = 10^6 bytes). zlib decodes
// with uncompress into a buffer of the declared size (a fresh inflate state per block, as a
// reader of independent blocks needs), libdeflate with libdeflate_zlib_decompress and one
// decompressor allocated up front; both verify the stream's checksum. "identical" says whether
// both decoded every block to the same bytes (a block either cannot decode counts against it,
// "undecodable" says how many there were; those are left out of the timing). A "ratio" line per
// set gives libdeflate's speed over zlib's.
//
// The sets with zip type 1 blocks also get an "untranspose" line: undoing the transposition of
// the decoded bytes alone with a plain reference loop (column by column, reading sequentially),
// in MB/s of bytes put back in record order, so the library's own loop can be set against it.
// For the generated blocks "matches_deflate_set" says whether the untransposed bytes equal the
// zip type 0 set's decoded bytes, which checks the transposition of both ends at once.
//
// On the development machine (2 cores, 2,000,000 records, one run): libdeflate decoded the zip
// type 0 blocks 2.4 times as fast as zlib (695 against 286 MB/s), the zip type 1 blocks 4.3
// times (8250 against 1920 MB/s; they pack 20 times tighter) and the corpus blocks 2.4 times
// (1210 against 500 MB/s), every block identical. The reference untransposition managed only
// 267 MB/s on the generated blocks of 5.25 MB (each column pass writes one byte into every
// record, so the output does not stay in cache) against 3380 MB/s on the small corpus blocks:
// for zip type 1 the untransposition, not the inflate, sets the pace.
//
// Usage: bench_inflate [records] [corpus folder]   (default 2,000,000 records, the corpus
// beside the project)
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "dz_blocks.h"
#include "float_records.h"
#include "support/temp_dir.h"

namespace {

using namespace tarvik::bench;

constexpr int kRuns = 3;
constexpr std::uint64_t kMinRunBytes = 64'000'000;  // decoded bytes a timed run covers at least
constexpr std::size_t kDzHeader = 48;               // block header, link-free, with its fields

// One DZ block's fields and where its deflate stream lies (inside memory the set owns).
struct Dz {
    std::uint8_t zipType = 0;
    std::uint32_t zipParameter = 0;
    std::uint64_t decodedLength = 0;
    const std::uint8_t* packed = nullptr;
    std::uint64_t packedLength = 0;
};

struct BlockSet {
    std::string name;
    std::vector<std::string> storage;  // the bytes the blocks point into
    std::vector<Dz> blocks;
};

// A little-endian unsigned field of `width` bytes.
std::uint64_t field(const std::string& bytes, std::size_t at, int width) {
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The DZ block at `at` of `bytes`, when its header holds together: no links, a length that
// covers exactly the header and the stream and lies inside the bytes, a known zip type (with
// columns for a transposition), two letters of original block type, and a decoded length zlib
// and a 32-bit build can both handle.
bool parseDz(const std::string& bytes, std::size_t at, Dz& dz) {
    if (bytes.size() < kDzHeader || at > bytes.size() - kDzHeader) return false;
    if (bytes.compare(at, 4, "##DZ") != 0) return false;
    const std::uint64_t length = field(bytes, at + 8, 8);
    const std::uint64_t links = field(bytes, at + 16, 8);
    const auto isLetter = [](char c) { return c >= 'A' && c <= 'Z'; };
    dz.zipType = static_cast<std::uint8_t>(bytes[at + 26]);
    dz.zipParameter = static_cast<std::uint32_t>(field(bytes, at + 28, 4));
    dz.decodedLength = field(bytes, at + 32, 8);
    dz.packedLength = field(bytes, at + 40, 8);
    if (links != 0 || !isLetter(bytes[at + 24]) || !isLetter(bytes[at + 25])) return false;
    if (dz.zipType > kZipTransposeDeflate || (dz.zipType == kZipTransposeDeflate && dz.zipParameter == 0))
        return false;
    if (dz.packedLength > bytes.size() || length != kDzHeader + dz.packedLength ||
        length > bytes.size() - at || dz.decodedLength > std::numeric_limits<std::uint32_t>::max())
        return false;
    dz.packed = reinterpret_cast<const std::uint8_t*>(bytes.data() + at + kDzHeader);
    return true;
}

// Every DZ block of `bytes`, looked for at each multiple of 8 (blocks start there).
void collectBlocks(const std::string& bytes, std::vector<Dz>& blocks) {
    for (std::size_t at = 0; at + kDzHeader <= bytes.size(); at += 8) {
        Dz dz;
        if (parseDz(bytes, at, dz)) blocks.push_back(dz);
    }
}

// The DZ blocks of bench_read_data's two compressed files, made in memory.
void generatedSets(std::uint64_t records, BlockSet& deflate, BlockSet& transposed) {
    deflate.name = "generated_deflate";
    transposed.name = "generated_transposed";
    const std::uint64_t perBlock = recordsPerBlock(records);
    DzQueue queue;
    std::string chunk;
    for (std::uint64_t first = 0; first < records; first += perBlock) {
        fillRecords(chunk, first, std::min(perBlock, records - first));
        queue.add(chunk, kZipDeflate, 0,
                  [&](std::string&& block) { deflate.storage.push_back(std::move(block)); });
        queue.add(chunk, kZipTransposeDeflate, static_cast<std::uint32_t>(kRecordBytes),
                  [&](std::string&& block) { transposed.storage.push_back(std::move(block)); });
    }
    queue.finish();
    // Only now: the strings no longer move, so the blocks may point into them.
    for (BlockSet* set : {&deflate, &transposed})
        for (const std::string& block : set->storage) collectBlocks(block, set->blocks);
}

BlockSet corpusSet(const std::filesystem::path& folder) {
    BlockSet set;
    set.name = "corpus";
    if (folder.empty() || !std::filesystem::is_directory(folder)) return set;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (entry.is_regular_file() && extension == ".mf4") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    set.storage.reserve(files.size());  // the blocks point into these strings
    for (const auto& file : files) {
        set.storage.push_back(tarvik::test::fileBytes(file));
        collectBlocks(set.storage.back(), set.blocks);
    }
    return set;
}

bool zlibDecode(const Dz& dz, std::uint8_t* out) {
    uLongf length = static_cast<uLongf>(dz.decodedLength);
    // zlib's pointer may not be null even for an empty output.
    std::uint8_t none = 0;
    return uncompress(dz.decodedLength > 0 ? out : &none, &length, dz.packed,
                      static_cast<uLong>(dz.packedLength)) == Z_OK &&
           length == dz.decodedLength;
}

bool libdeflateDecode(libdeflate_decompressor* inflater, const Dz& dz, std::uint8_t* out) {
    std::size_t produced = 0;
    return libdeflate_zlib_decompress(inflater, dz.packed, static_cast<std::size_t>(dz.packedLength),
                                      out, static_cast<std::size_t>(dz.decodedLength),
                                      &produced) == LIBDEFLATE_SUCCESS &&
           produced == dz.decodedLength;
}

struct Totals {
    std::uint64_t packed = 0, decoded = 0, largest = 0;
};

Totals totalsOf(const std::vector<Dz>& blocks) {
    Totals totals;
    for (const Dz& dz : blocks) {
        totals.packed += dz.packedLength;
        totals.decoded += dz.decodedLength;
        totals.largest = std::max(totals.largest, dz.decodedLength);
    }
    return totals;
}

int passesFor(std::uint64_t bytes) {
    if (bytes == 0) return 1;
    return static_cast<int>(std::max<std::uint64_t>(1, (kMinRunBytes + bytes - 1) / bytes));
}

// Seconds of one call of `pass`, the best of kRuns runs of `passes` calls each.
template <typename Pass>
double bestPassSeconds(int passes, Pass&& pass) {
    double best = std::numeric_limits<double>::max();
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < passes; ++i) pass();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / passes);
    }
    return best;
}

// Puts column-ordered bytes back in row order: column c holds byte c of every row. Bytes past
// the last whole row were never transposed.
void untranspose(const std::uint8_t* in, std::size_t size, std::uint32_t columns, std::uint8_t* out) {
    const std::size_t rows = size / columns;
    for (std::size_t c = 0; c < columns; ++c) {
        const std::uint8_t* column = in + c * rows;
        for (std::size_t r = 0; r < rows; ++r) out[r * columns + c] = column[r];
    }
    std::memcpy(out + rows * columns, in + rows * columns, size - rows * columns);
}

void printLibrary(const BlockSet& set, const char* library, const std::vector<Dz>& blocks,
                  int passes, double seconds, bool identical, std::size_t undecodable) {
    const Totals totals = totalsOf(blocks);
    std::printf("{\"benchmark\":\"inflate\",\"set\":\"%s\",\"library\":\"%s\",\"blocks\":%zu,"
                "\"compressed_bytes\":%ju,\"decoded_bytes\":%ju,\"passes\":%d,\"seconds\":%.6f,"
                "\"mb_per_s\":%.1f,\"identical\":%s,\"undecodable\":%zu}\n",
                set.name.c_str(), library, blocks.size(), static_cast<std::uintmax_t>(totals.packed),
                static_cast<std::uintmax_t>(totals.decoded), passes, seconds,
                static_cast<double>(totals.decoded) / seconds / 1e6, identical ? "true" : "false",
                undecodable);
    std::fflush(stdout);
}

// Times both libraries on the set and returns the decoded bytes of each block that both
// decoded (in the order of `decodable`).
std::vector<std::vector<std::uint8_t>> measureSet(const BlockSet& set, libdeflate_decompressor* inflater,
                                                  std::vector<Dz>& decodable) {
    // Both decode every block once, untimed, and must agree.
    bool identical = true;
    std::size_t undecodable = 0;
    std::vector<std::vector<std::uint8_t>> decoded;
    decodable.clear();
    for (const Dz& dz : set.blocks) {
        std::vector<std::uint8_t> byZlib(dz.decodedLength), byLibdeflate(dz.decodedLength);
        const bool zlibOk = zlibDecode(dz, byZlib.data());
        const bool libdeflateOk = libdeflateDecode(inflater, dz, byLibdeflate.data());
        if (!zlibOk || !libdeflateOk) {
            ++undecodable;
            identical = false;
            continue;
        }
        identical = identical && byZlib == byLibdeflate;
        decodable.push_back(dz);
        decoded.push_back(std::move(byLibdeflate));
    }
    const Totals totals = totalsOf(decodable);
    const int passes = passesFor(totals.decoded);
    // One output buffer for every block, touched before timing, as a reader reusing its buffer.
    std::vector<std::uint8_t> out(std::max<std::uint64_t>(1, totals.largest), 1);
    bool allOk = true;
    const double zlibSeconds = bestPassSeconds(passes, [&] {
        for (const Dz& dz : decodable) allOk = zlibDecode(dz, out.data()) && allOk;
    });
    const double libdeflateSeconds = bestPassSeconds(passes, [&] {
        for (const Dz& dz : decodable) allOk = libdeflateDecode(inflater, dz, out.data()) && allOk;
    });
    identical = identical && allOk;
    printLibrary(set, "zlib", decodable, passes, zlibSeconds, identical, undecodable);
    printLibrary(set, "libdeflate", decodable, passes, libdeflateSeconds, identical, undecodable);
    std::printf("{\"benchmark\":\"inflate\",\"set\":\"%s\",\"ratio\":\"libdeflate_over_zlib\","
                "\"speedup\":%.2f}\n",
                set.name.c_str(), libdeflateSeconds > 0 ? zlibSeconds / libdeflateSeconds : 0.0);
    std::fflush(stdout);
    return decoded;
}

// Times the untransposition of the set's zip type 1 blocks; `reference` (when given) are the
// bytes the blocks must come back to, one string per block in order.
void measureUntranspose(const BlockSet& set, const std::vector<Dz>& decodable,
                        const std::vector<std::vector<std::uint8_t>>& decoded,
                        const std::vector<std::vector<std::uint8_t>>* reference) {
    std::vector<std::size_t> transposedBlocks;
    std::uint64_t bytes = 0, largest = 0;
    for (std::size_t i = 0; i < decodable.size(); ++i) {
        if (decodable[i].zipType != kZipTransposeDeflate) continue;
        transposedBlocks.push_back(i);
        bytes += decoded[i].size();
        largest = std::max<std::uint64_t>(largest, decoded[i].size());
    }
    if (transposedBlocks.empty()) return;
    std::vector<std::uint8_t> out(std::max<std::uint64_t>(1, largest), 1);
    bool matches = reference != nullptr && reference->size() == transposedBlocks.size();
    for (std::size_t k = 0; k < transposedBlocks.size() && matches; ++k) {
        const std::size_t i = transposedBlocks[k];
        untranspose(decoded[i].data(), decoded[i].size(), decodable[i].zipParameter, out.data());
        matches = (*reference)[k].size() == decoded[i].size() &&
                  std::equal(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(decoded[i].size()),
                             (*reference)[k].begin());
    }
    const int passes = passesFor(bytes);
    const double seconds = bestPassSeconds(passes, [&] {
        for (const std::size_t i : transposedBlocks)
            untranspose(decoded[i].data(), decoded[i].size(), decodable[i].zipParameter, out.data());
    });
    char check[48] = "";
    if (reference != nullptr)
        std::snprintf(check, sizeof check, ",\"matches_deflate_set\":%s", matches ? "true" : "false");
    std::printf("{\"benchmark\":\"inflate\",\"set\":\"%s\",\"step\":\"untranspose\",\"blocks\":%zu,"
                "\"bytes\":%ju,\"passes\":%d,\"seconds\":%.6f,\"mb_per_s\":%.1f%s}\n",
                set.name.c_str(), transposedBlocks.size(), static_cast<std::uintmax_t>(bytes), passes,
                seconds, static_cast<double>(bytes) / seconds / 1e6, check);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t records =
        argc > 1 ? std::max<std::uint64_t>(100, std::strtoull(argv[1], nullptr, 10)) : 2'000'000;
    const std::filesystem::path corpus = argc > 2 ? std::filesystem::path(argv[2]) : tarvik::test::corpusDir();
    const std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> inflater(
        libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
    if (!inflater) {
        std::fprintf(stderr, "bench_inflate: no libdeflate decompressor\n");
        return 1;
    }
    try {
        BlockSet deflate, transposed;
        const auto start = std::chrono::steady_clock::now();
        generatedSets(records, deflate, transposed);
        const std::chrono::duration<double> made = std::chrono::steady_clock::now() - start;
        std::printf("{\"benchmark\":\"inflate\",\"records\":%ju,\"record_bytes\":%ju,"
                    "\"generation_seconds\":%.2f}\n",
                    static_cast<std::uintmax_t>(records), static_cast<std::uintmax_t>(kRecordBytes),
                    made.count());
        std::vector<Dz> decodable;
        std::vector<std::vector<std::uint8_t>> plain = measureSet(deflate, inflater.get(), decodable);
        // The transposed set's blocks come back to the deflate set's records, block by block.
        std::vector<std::vector<std::uint8_t>> transposedDecoded =
            measureSet(transposed, inflater.get(), decodable);
        measureUntranspose(transposed, decodable, transposedDecoded, &plain);
        plain.clear();
        transposedDecoded.clear();

        const BlockSet fromCorpus = corpusSet(corpus);
        if (fromCorpus.blocks.empty()) {
            std::printf("{\"benchmark\":\"inflate\",\"set\":\"corpus\",\"skipped\":\"no DZ blocks in '%s'\"}\n",
                        corpus.string().c_str());
        } else {
            const std::vector<std::vector<std::uint8_t>> decoded =
                measureSet(fromCorpus, inflater.get(), decodable);
            measureUntranspose(fromCorpus, decodable, decoded, nullptr);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_inflate: %s\n", error.what());
        return 1;
    }
    return 0;
}
