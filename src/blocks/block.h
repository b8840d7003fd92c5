// The block class framework: a light view around a block record that knows how the block is
// sized, written, read, checked and released. Views live on the stack around a record and
// never own it; the record owns its texts and children.
#pragma once

#include <cstdint>

namespace tarvik {

class ZtCMF4Stream;
class ZtCReadContext;

class ZtCMF4Block {
public:
    virtual ~ZtCMF4Block() = default;

    // Number of links the block has when written.
    virtual std::uint64_t linkCount() const = 0;
    // Total block length when written, header included.
    virtual std::uint64_t blockSize() const = 0;
    // Frees everything the record owns (texts, arrays, child records), recursively.
    virtual void release() = 0;
    // Writes links and data section (the header excluded) at the stream's position.
    virtual int write(ZtCMF4Stream&) { return 0; }
    // Reads links and data section counted against the block's remaining length.
    virtual int read(ZtCReadContext&) { return 0; }
    // Compares link count and length with what the block needs; raises findings.
    virtual int checkHeader(ZtCReadContext&) { return 0; }
    // Raises findings for misaligned links and block-specific link problems.
    virtual int checkLinks(ZtCReadContext&) { return 0; }
    // Checks the data fields; a non-zero result rejects the block.
    virtual int checkFields(ZtCReadContext&) { return 0; }
};

}  // namespace tarvik
