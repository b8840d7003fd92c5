#include "blocks/block_checks.h"

#include <algorithm>
#include <string>

#include "blocks/read_context.h"
#include "blocks/stream.h"
#include "findings/detail_format.h"
#include "findings/findings.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

std::u16string wide(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

void raiseCount(ZtCReadContext& context, std::uint32_t number, const BlockRecord& record,
                std::string_view name, std::uint64_t expected, std::uint64_t actual) {
    const std::u16string detail =
        formatDetail(number, {std::int32_t{record.version}, std::u16string_view(wide(name)),
                              record.position, static_cast<std::int64_t>(expected),
                              static_cast<std::int64_t>(actual)});
    // Even numbers are errors (too few, too short), odd ones warnings (too many, too long).
    if (number % 2 == 0) context.structureFindings->addFileError(number, detail);
    else context.structureFindings->addFileWarning(number, detail);
}

}  // namespace

int openBlock(ZtCReadContext& context, std::int64_t position, std::string_view id, BlockRecord& record) {
    ZtCMF4Stream& stream = context.stream;
    if (position < 0 || stream.seekRead(static_cast<std::uint64_t>(position)) != kOk ||
        checkId(stream, id) != kOk) {
        context.structureFindings->addFileError(103, formatDetail(103, {std::u16string_view(wide(id.substr(2)))}));
        return kFailed;
    }
    if (readHeader(stream, id, record.header) != kOk) return kFailed;
    record.position = position;
    record.version = context.version;
    return kOk;
}

void checkHeaderShape(ZtCReadContext& context, const BlockRecord& record, const BlockShape& shape) {
    const std::uint64_t links = record.header.linkCount;
    const std::uint64_t length = record.header.length;
    if (links < shape.links) raiseCount(context, 104, record, shape.name, shape.links, links);
    else if (links > shape.links && shape.rule != SizeRule::Minimum)
        raiseCount(context, 105, record, shape.name, shape.links, links);
    if (length < shape.length) raiseCount(context, 106, record, shape.name, shape.length, length);
    else if (length > shape.length && shape.rule == SizeRule::Exact)
        raiseCount(context, 107, record, shape.name, shape.length, length);
}

void checkLinkAlignment(ZtCReadContext& context, std::string_view blockName, std::int64_t position,
                        std::string_view linkName, std::int64_t link) {
    if (link % 8 == 0) return;
    context.structureFindings->addFileWarning(
        112, formatDetail(112, {std::u16string_view(wide(blockName)), position,
                                std::u16string_view(wide(linkName)), link}));
}

void checkLinkAlignments(ZtCReadContext& context, std::string_view blockName, std::int64_t position,
                         std::initializer_list<NamedLink> links) {
    for (const NamedLink& named : links) checkLinkAlignment(context, blockName, position, named.name, named.link);
}

void raiseFieldRange(ZtCReadContext& context, std::string_view blockName, std::int64_t position,
                     std::string_view field, std::int64_t value) {
    context.structureFindings->addFileError(
        108, formatDetail(108, {std::u16string_view(wide(blockName)), position,
                                std::u16string_view(wide(field)), static_cast<std::int32_t>(value)}));
}

void raiseFieldInconsistent(ZtCReadContext& context, std::string_view blockName, std::int64_t position,
                            std::string_view field) {
    context.structureFindings->addFileError(
        109, formatDetail(109, {std::u16string_view(wide(blockName)), position, std::u16string_view(wide(field))}));
}

void raiseMissingLink(ZtCReadContext& context, std::string_view blockName, std::int64_t position,
                      std::string_view field) {
    context.structureFindings->addFileWarning(
        116, formatDetail(116, {std::u16string_view(wide(blockName)), position, std::u16string_view(wide(field))}));
}

std::uint64_t blockBodyLength(const BlockRecord& record) {
    return record.header.length > kBlockHeaderSize ? record.header.length - kBlockHeaderSize : 0;
}

std::uint64_t dataSectionLength(const BlockRecord& record) {
    const std::uint64_t used = kBlockHeaderSize + 8 * std::min<std::uint64_t>(record.header.linkCount, UINT64_MAX / 16);
    return record.header.length > used ? record.header.length - used : 0;
}

bool fitsInFile(ZtCReadContext& context, std::uint64_t count, std::uint64_t itemSize) {
    const std::uint64_t size = context.stream.size();
    const std::uint64_t position = context.stream.position();
    if (size == ZtCMF4Stream::kNoPosition || position > size) return false;
    return itemSize == 0 || count <= (size - position) / itemSize;
}

}  // namespace tarvik
