// Who the tool says it is: in `mf4 --version`, and in the files it writes or changes, whose
// history entries name the program that made them.
#pragma once

namespace mf4tool {

// The 8 characters of a history entry's program identifier, blank-padded.
inline constexpr char kToolProgramId[9] = "mf4     ";
inline constexpr char kToolVendor[] = "Tarvik";
inline constexpr char kToolVersion[] = "0.1.0";

}  // namespace mf4tool
