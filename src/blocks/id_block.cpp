#include "blocks/id_block.h"

#include <cstring>
#include <string>

#include "blocks/read_context.h"
#include "blocks/stream.h"
#include "findings/detail_format.h"
#include "findings/findings.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

// Decimal digits at `text`, stopping at the first non-digit; saturates instead of overflowing.
int leadingNumber(const char* text, const char* end) {
    int value = 0;
    for (; text < end && *text >= '0' && *text <= '9'; ++text)
        value = value > 100000 ? value : value * 10 + (*text - '0');
    return value;
}

bool isAcceptedVersion(int version) { return version / 100 == 4 && version < 420; }

}  // namespace

int parseVersionText(const char (&id_vers)[8], const char (&id_prog)[8]) {
    // Writers have been seen to fill all eight characters, so the text may run on into the
    // program identifier; it ends at the first zero byte.
    char text[16];
    std::memcpy(text, id_vers, 8);
    std::memcpy(text + 8, id_prog, 8);
    const char* end = static_cast<const char*>(std::memchr(text, 0, sizeof text));
    if (end == nullptr) end = text + sizeof text;
    const char* dot = static_cast<const char*>(std::memchr(text, '.', end - text));
    if (dot == nullptr) return -1;
    return leadingNumber(text, dot) * 100 + leadingNumber(dot + 1, end);
}

int readIdBlock(ZtCReadContext& context, IdRecord& record) {
    ZtCMF4Stream& stream = context.stream;
    record = IdRecord{};
    std::uint8_t tail[34];
    const bool complete = stream.seekRead(0) == kOk &&
                          stream.readBytes(record.id_file, 8) == kOk &&
                          stream.readBytes(record.id_vers, 8) == kOk &&
                          stream.readBytes(record.id_prog, 8) == kOk &&
                          stream.readBytes(record.reserved1, 4) == kOk &&
                          stream.read(record.id_ver) == kOk && stream.readBytes(tail, 34) == kOk;
    if (complete) {
        std::memcpy(record.reserved2, tail, 30);
        std::memcpy(&record.id_unfin_flags, tail + 30, 2);
        std::memcpy(&record.id_custom_unfin_flags, tail + 32, 2);
        const int version = parseVersionText(record.id_vers, record.id_prog);
        if (version >= 0) {
            record.id_ver = static_cast<std::uint16_t>(version);
            context.version = record.id_ver;
            if (!isAcceptedVersion(version)) {
                context.structureFindings->addFileError(
                    130, formatDetail(130, {std::int32_t{version}, std::int32_t{kToolVersion}}));
                return kFailed;
            }
        }
    }
    // A file that was never finished starts with "UnFinMF " and is not read as it stands, except
    // by the recovery that finishes it.
    const bool unfinished = std::memcmp(record.id_file, kUnfinishedFileId.data(), 8) == 0;
    if (std::memcmp(record.id_file, kFinishedFileId.data(), 8) != 0 &&
        !(unfinished && (context.options & kReadUnfinished) != 0)) {
        context.structureFindings->addFileError(102);
        return kFailed;
    }
    return complete ? kOk : kFailed;
}

int writeIdBlock(ZtCMF4Stream& stream, std::uint16_t version, const char (&programId)[8]) {
    IdRecord record;
    std::memcpy(record.id_file, kUnfinishedFileId.data(), 8);
    const std::string versionText = std::to_string(version / 100) + "." +
                                    std::to_string(version % 100 / 10) +
                                    std::to_string(version % 10) + "    ";
    std::memcpy(record.id_vers, versionText.data(), 8);
    std::memcpy(record.id_prog, programId, 8);
    record.id_ver = version;
    std::uint8_t tail[34] = {};
    return stream.writeBytes(record.id_file, 8) == kOk && stream.writeBytes(record.id_vers, 8) == kOk &&
                   stream.writeBytes(record.id_prog, 8) == kOk &&
                   stream.writeBytes(record.reserved1, 4) == kOk && stream.write(record.id_ver) == kOk &&
                   stream.writeBytes(tail, sizeof tail) == kOk
               ? kOk
               : kFailed;
}

int markFileFinished(ZtCMF4Stream& stream) {
    if (stream.seekWrite(0) != kOk) return kFailed;
    return stream.writeBytes(kFinishedFileId.data(), 8);
}

}  // namespace tarvik
