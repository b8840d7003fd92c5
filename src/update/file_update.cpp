#include "update/file_update.h"

#include "blocks/file_open.h"
#include "blocks/read_context.h"
#include "content/content_builder.h"
#include "findings/findings.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

int FileUpdate::open() { return openForWriting(stream_, OpenMode::Update, findings_); }

int FileUpdate::flush() { return stream_.flush(); }

int FileUpdate::reloadEvents() {
    ZtCReadContext context(blocks_.GetFilePath(), findings_, 0);
    if (openForReading(context.stream, context.path, findings_) != kOk) return kFailed;
    context.version = version();
    HdRecord& hd = header();
    std::int64_t first = 0;
    // The head link is read from the file, not from the layer: it is what the chain starts at now.
    int status = context.stream.seekRead(kHeaderEventLinkOffset) == kOk ? context.stream.read(first) : kFailed;
    EventChain chain;
    if (status == kOk) status = readEvents(context, first, hd.dataGroups, chain);
    context.stream.close();
    if (status != kOk) return kFailed;
    hd.hd_ev_first = first;
    hd.events = std::move(chain);
    rebuildEvents(content_, hd, findings_, xml_);
    return kOk;
}

}  // namespace tarvik
