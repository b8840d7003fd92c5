// Where a rewritten header comment goes. The old block is reused when the new one fits in it,
// when it ends the file, or when the bytes the longer block would cover hold no block (no
// "##" among them); otherwise the new block goes to the end of the file and the old one stays
// behind, unreferenced.
#pragma once

#include <cstdint>
#include <string>

namespace tarvik {

class ZtCMF4Stream;

// Writes `xml` as an MD block in place of the block at `oldBlock` (0: none) or at the end of
// the file, and its position into `position`. The header's link is not touched. kOk or
// kFailed.
int placeHeaderComment(ZtCMF4Stream& stream, std::int64_t oldBlock, const std::u16string& xml, std::int64_t& position);

}  // namespace tarvik
