// Compiled schemas, built once per process for each entry schema of each set and shared
// read-only by all threads; validation state is made per call from them.
#pragma once

#include <cstdint>
#include <string_view>

struct _xmlSchema;

namespace tarvik {

// The compiled schema of `fileName` in the set of `version`, with everything it includes and
// imports (resolved among the embedded files of the same set only). Null when the set has no
// such file or it does not compile. Thread-safe; compiled on first request.
const _xmlSchema* addSchema(std::uint16_t version, std::string_view fileName);

}  // namespace tarvik
