#include "blocks/file_open.h"

#include "findings/findings.h"
#include "platform/file.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

int openForReading(ZtCMF4Stream& stream, std::u16string_view path, FindingList& findings) {
    if (!platform::pathExists(path)) {
        findings.addFileError(141);
        return kFailed;
    }
    const int status = stream.openRead(path);
    if (status == platform::kNoAccess) findings.addFileError(148);
    else if (status != kOk) findings.addFileError(100);
    return status == kOk ? kOk : kFailed;
}

int openForWriting(ZtCMF4Stream& stream, OpenMode mode, FindingList& findings) {
    const int status = stream.openThroughHandle(mode);
    switch (status) {
    case kOk:
        return kOk;
    case platform::kNotFound:
        findings.addFileError(141);
        break;
    case platform::kNoAccess:
        findings.addFileError(147);
        break;
    default:
        findings.addFileError(101);
        break;
    }
    return kFailed;
}

}  // namespace tarvik
