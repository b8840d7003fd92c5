// The CA block of an array channel: its dimensions, its layout, the fixed values of its axes,
// and for a look-up table the links to the channels its axes, input, output and comparison
// quantities are, filled in once every channel of the file has its place.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "TarvikMF4Access.h"
#include "blocks/ca_block.h"

namespace tarvik {

struct LayoutTarget;

class ArrayWriter {
public:
    explicit ArrayWriter(LayoutTarget& target) : target_(target) {}

    // Writes the array block of `channel`, whose elements take `elementBytes` each; `link`
    // receives its position. kOk or kFailed.
    int write(const MF4Channel& channel, std::uint32_t elementBytes, std::int64_t& link);

    // Writes the links to other channels into the blocks that have them; `place` gives the
    // (DG, CG, CN) positions of a top-level channel by index (zeros for none). kOk or kFailed.
    int resolve(const std::function<void(std::int64_t, std::int64_t*)>& place);

private:
    struct Pending {
        CaRecord record;
        const MF4Channel* channel;
    };

    LayoutTarget& target_;
    std::vector<Pending> pending_;
};

}  // namespace tarvik
