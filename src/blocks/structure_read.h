// The structure read: opens a file, checks its identification and walks its block graph into
// the block layer, raising a finding for everything it checks.
#pragma once

#include <cstdint>

namespace tarvik {

class FindingList;
class ZtCBlockLayerCore;

// Reads the structure of the file at the layer's path. `options` bit 0 skips the events.
// kOk when the whole graph was read; kFailed when the read stopped (the findings say why).
// The file is closed again in every case.
int readStructure(ZtCBlockLayerCore& layer, FindingList& findings, std::uint64_t options);

}  // namespace tarvik
