// Findings of a call as lines for people: `mf4 check` and `mf4 info` print them alike.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>

#include "TarvikMF4Access.h"

namespace mf4tool {

struct FindingCounts {
    std::uint64_t errors = 0;
    std::uint64_t warnings = 0;
};

FindingCounts countFindings(std::span<const MF4Error> findings);

// "error 141: The file x.mf4 does not exist." on one line, whatever breaks the texts hold.
std::string findingLine(const MF4Error& finding);

// One findingLine per finding, each after `indent` and ending with a line break.
void printFindings(std::ostream& out, std::span<const MF4Error> findings,
                   const std::string& indent = {});

// "1 error, 2 warnings".
std::string summaryText(const FindingCounts& counts);

}  // namespace mf4tool
