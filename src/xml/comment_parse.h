// Turning comment texts into comment objects and back, and the small operations the block
// readers and writers apply to comments.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "TarvikMF4Access.h"
#include "blocks/block_kind.h"
#include "xml/comment_classes.h"

namespace tarvik {

class XmlCallContext;

// Parse entry points: the comment object of `xml`, validated against the schema of its kind
// in the schema set of `version`. Null only when the text is not well-formed XML; a comment
// that breaks the schema is still delivered, with the first problem in `firstError`.
std::unique_ptr<ZtCHDComment> parseHDComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError);
std::unique_ptr<ZtCFHComment> parseFHComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError);
std::unique_ptr<ZtCEVComment> parseEVComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError);
std::unique_ptr<ZtCCGComment> parseCGComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError);
std::unique_ptr<ZtCCNComment> parseCNComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError);
std::unique_ptr<ZtCCCComment> parseCCComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError);
std::unique_ptr<ZtCATComment> parseATComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError);
std::unique_ptr<ZtCSIComment> parseSIComment(XmlCallContext& context, std::u16string_view xml,
                                             std::uint16_t version, std::optional<std::u16string>* firstError);

// The parse entry point of the comment class of block kind `kind` (HD, FH, EV, CG, CN, CC, AT
// or SI); null for other kinds as for texts that are not XML.
std::unique_ptr<ZtCComment> parseCommentOfKind(XmlCallContext& context, BlockKind kind,
                                               std::u16string_view xml, std::uint16_t version,
                                               std::optional<std::u16string>* firstError);

// The XML of `comment`, checked by parsing it with the schema of `schemaFile` in the set of
// `version`; nothing (and the first problem in `firstError`) when it does not validate.
std::optional<std::u16string> serializeComment(XmlCallContext& context, const ZtCComment& comment,
                                               std::uint16_t version, std::string_view schemaFile,
                                               std::optional<std::u16string>* firstError);

// Makes the root of a comment of block kind `kind` carry the MDF namespace, which many writers
// leave out: a start tag without it is replaced by "<Root xmlns=...>" (its other attributes are
// dropped). Texts of other kinds, without that root, or already in the namespace stay as they are.
std::u16string normalizeCommentRoot(BlockKind kind, std::u16string_view xml);

// Removes the first property named `name` from the comment's common properties.
void removeProperty(ZtCComment& comment, std::u16string_view name);

// 1 when the property "ASAM.DimensionOrder" says "XY", 2 when it says "YX", 0 otherwise.
int dimensionOrder(const MF4Property* properties, std::uint64_t count);

// Appends a property (its value escaped), creating the common properties when needed.
void addProperty(ZtCComment& comment, std::u16string_view name, std::uint32_t type,
                 std::u16string_view value);

// The XML comment of a channel to be written: text and display name escaped, the raster, one
// property per content property and a "format" property when a display format is given.
// 0 with the text in `xml`, or 2 when the comment does not validate (`firstError` says why).
int buildChannelComment(XmlCallContext& context, std::u16string_view text,
                        std::u16string_view displayName, double raster,
                        const MF4Property* properties, std::uint64_t count,
                        std::u16string_view displayFormat, std::uint16_t version,
                        std::u16string& xml, std::optional<std::u16string>* firstError);

}  // namespace tarvik
