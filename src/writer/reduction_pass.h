// Adding reduction data to a finished file: every data group with records and without reduction
// data gets its levels, computed from its records in one pass.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvik {

class FindingList;

// What the pass did with one data group.
struct GroupReduction {
    enum class Outcome {
        Reduced,
        HadReduction,    // already had reduction data: left alone
        NoRecords,
        Unsorted,        // several channel groups share the records: left alone
        ChannelsRejected // channels the reader rejected (finding 145): left alone
    };
    Outcome outcome = Outcome::NoRecords;
    std::size_t levels = 0;
    double firstInterval = 0;  // the finest level's interval
};

// Reads the structure of the finished file at `path`, then reduces its groups, writing at its
// end; the levels of each group are linked only once they are whole. `groups` receives one entry
// per data group in file order. kOk or kFailed (the findings say why).
int addReductionData(const std::u16string& path, FindingList& findings, std::vector<GroupReduction>& groups);

}  // namespace tarvik
