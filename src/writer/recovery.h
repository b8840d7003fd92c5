// Repairing a file whose writer stopped without finishing it: every data group keeps the longest
// run of whole records whose master values rise, its lists and cycle count are made to say so,
// and the file is marked finished.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvik {

class FindingList;

// What the repair did to one data group.
struct GroupRepair {
    std::uint64_t recordsKept = 0;
    std::uint64_t recordsBefore = 0;  // the cycle count the group had
    bool repaired = false;            // false: left alone (no time master the repair reads)
    bool reduced = false;             // reduction data came from the repair's reading
};

// Reads the structure of the file at `path` first; a file that cannot be read, is not MDF 4, or
// is already finished is left byte for byte as it was. Otherwise the repairs are written, and
// "MDF     " last of all, so a repair cut short can be run again. `groups` receives one entry
// per data group in file order. kOk or kFailed (the findings say why).
int recoverStreamingFile(const std::u16string& path, FindingList& findings, std::vector<GroupRepair>& groups);

}  // namespace tarvik
