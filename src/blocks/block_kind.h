// Numeric kinds of MDF 4 blocks, as the block probe reports them and as comments are told apart.
#pragma once

#include <cstdint>

namespace tarvik {

enum class BlockKind : std::uint32_t {
    None = 0,  // link 0, an unreadable id, or a kind that is not probed
    HD = 2,
    FH = 3,
    EV = 4,
    CG = 6,
    CN = 7,
    CC = 8,
    CA = 9,
    MD = 10,
    TX = 11,
    DT = 12,
    DL = 13,
    RD = 15,
    AT = 16,
    HL = 17,
    DZ = 18,
    SD = 19,
    SI = 20,
};

}  // namespace tarvik
