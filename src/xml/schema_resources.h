// The MDF 4 XML schemas the library carries: one set for format 4.00 and one for 4.10, each
// file known by (version, file name) and a numeric resource id.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarvik {

inline constexpr char16_t kMdfNamespace[] = u"http://www.asam.net/mdf/v4";

// The schema set a file of format `version` is validated with: 400 for 4.00 to 4.09 (and for
// files whose version could not be read), 410 for 4.10 and every later 4.x, the newest set
// the library carries.
std::uint16_t schemaSetOf(std::uint16_t version);

// Resource id of a schema file of a set (400 or 410), e.g. 129 for (410, "cn_comment.xsd");
// 0 when the file is not part of the set.
int schemaResourceId(std::uint16_t setVersion, std::string_view fileName);

// The UTF-8 text of a schema file of the set for `version`; empty when there is none.
std::string_view loadSchemaText(std::uint16_t version, std::string_view fileName);

// The address under which the XML parser asks for a schema file, so that includes and imports
// resolve among the embedded files of the same set only ("tarvik-schema:/410/mdf_base.xsd").
std::string schemaAddress(std::uint16_t setVersion, std::string_view fileName);

// Lets the XML parser read addresses made by schemaAddress. Idempotent; thread-safe.
void registerSchemaInput();

}  // namespace tarvik
