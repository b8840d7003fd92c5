// The 16 functions of the library's interface. Each checks its arguments, finds the layer of
// the file it works on, runs the work and turns the findings into the caller's records. No
// exception ever leaves these functions: anything thrown (out of memory included) becomes
// result 2.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "TarvikMF4Access.h"
#include "api/registry.h"
#include "blocks/file_open.h"
#include "blocks/read_context.h"
#include "blocks/structure_read.h"
#include "content/content_builder.h"
#include "content/content_release.h"
#include "data/read_frame.h"
#include "findings/findings.h"
#include "platform/file.h"
#include "platform/text.h"
#include "update/bookmark_update.h"
#include "update/file_update.h"
#include "update/property_update.h"
#include "writer/comment_render.h"
#include "writer/data_writer.h"
#include "writer/event_writer.h"
#include "writer/finishing.h"
#include "writer/layout_writer.h"
#include "writer/recovery.h"
#include "writer/reduction_pass.h"
#include "xml/xml_call_context.h"

using namespace tarvik;

namespace {

constexpr std::uint32_t kResultFailed = 2;
constexpr std::uint32_t kDataNotWritten = 142;
constexpr std::uint32_t kNoMemory = 144;

template <typename Work>
std::uint32_t guarded(Work&& work) noexcept {
    try {
        return work();
    } catch (...) {
        return kResultFailed;
    }
}

template <typename Work>
void guardedVoid(Work&& work) noexcept {
    try {
        work();
    } catch (...) {
    }
}

std::u16string toString(const MF4Char* text) { return std::u16string(platform::textView(text)); }

// Hands the findings to the caller (when it gave somewhere to put them) and derives the result.
std::uint32_t report(const FindingList& findings, MF4Error** errors, std::uint64_t* errorCount) {
    if (errors == nullptr || errorCount == nullptr) return resultCode(findings.summary());
    return resultCode(convertFindings(findings, errors, errorCount));
}

std::uint32_t readContent(const MF4Char* path, std::uint64_t filter, MF4Content** content,
                          MF4Error** errors, std::uint64_t* errorCount) {
    if (path == nullptr || content == nullptr) return kResultFailed;
    const std::u16string filePath = toString(path);
    LayerRegistry& registry = LayerRegistry::instance();
    ZtCAppLayerCore& layer = registry.addReadLayer(filePath);

    FindingList findings(filePath);
    MF4Content* tree = nullptr;
    {
        XmlCallContext xml;
        ZtCBlockLayerCore& blocks = layer.blockLayer();
        if (readStructure(blocks, findings, filter & kReadSkipEvents) == platform::kOk)
            tree = buildContent(*blocks.idRecord(), *blocks.hdRecord(), filePath, findings, xml);
    }
    if (tree != nullptr) {
        registry.attachContent(layer, tree);
        *content = tree;
    } else {
        // A layer without a tree can never be found again, so it is not kept.
        registry.removeReadLayer(&layer);
    }
    const std::uint32_t result = report(findings, errors, errorCount);
    return tree != nullptr ? result : kResultFailed;
}

// The reading layer that holds `content`, or null when the tree is not one the library returned.
ZtCAppLayerCore* readingLayerOf(const MF4Content* content) {
    if (content == nullptr || content->filePath == nullptr) return nullptr;
    return LayerRegistry::instance().findReadLayer(content);
}

// Creates the file and registers it for writing; a call that raises any finding leaves no entry.
std::uint32_t writeContent(const MF4Char* path, MF4Content* content, MF4Error** errors, std::uint64_t* errorCount) {
    if (path == nullptr || content == nullptr || content->filePath == nullptr) return kResultFailed;
    const std::u16string filePath = toString(path);
    // Later calls find the file through the tree's own path, so the two must agree.
    if (toString(content->filePath) != filePath) return kResultFailed;
    LayerRegistry& registry = LayerRegistry::instance();
    ZtCAppLayerCore* layer = registry.addWriteLayer(filePath, content);
    if (layer == nullptr) return kResultFailed;
    auto session = std::make_unique<WriteSession>();
    session->content = content;
    WriteSession& state = *session;
    layer->setWriteSession(std::move(session));

    FindingList findings(filePath);
    int status = kResultFailed;
    try {
        XmlCallContext xml;
        status = writeContentFile(layer->blockLayer(), state, xml, findings);
    } catch (const std::bad_alloc&) {
        findings.addFileError(kNoMemory);
    }
    if (status != platform::kOk || !findings.empty()) registry.removeWriteLayer(content);
    const std::uint32_t result = report(findings, errors, errorCount);
    return status == platform::kOk ? result : kResultFailed;
}

// Appends one request. A request that does not fit the file is refused before anything is
// written (result 2, no finding, the file stays open); any finding finishes the file as far as
// it was written and ends the write.
std::uint32_t writeData(MF4Content* content, MF4WriteRequest* request, MF4Error** errors, std::uint64_t* errorCount) {
    LayerRegistry& registry = LayerRegistry::instance();
    ZtCAppLayerCore* layer = registry.findWriteLayer(content);
    if (request == nullptr || layer == nullptr || layer->writeSession() == nullptr) return kResultFailed;
    WriteSession& session = *layer->writeSession();
    if (!isWritableRequest(session, *request)) return kResultFailed;

    FindingList findings(layer->GetFilePath());
    XmlCallContext xml;
    {
        // The stream stays cached in the layer between calls; this object only borrows it.
        ZtCMF4Stream stream(&layer->blockLayer());
        try {
            if (openForWriting(stream, OpenMode::Update, findings) == platform::kOk &&
                writeBatches(stream, session, *request, findings) == platform::kOk) {
                CommentRenderer comments(xml, session.version, findings);
                if (appendEvents(stream, session, comments, request->events, request->eventCount) != platform::kOk ||
                    stream.flush() != platform::kOk) {
                    if (!findings.hasErrors()) findings.addFileError(kDataNotWritten);
                }
            }
        } catch (const std::bad_alloc&) {
            findings.addFileError(kNoMemory);
        }
        if (request->closeFile) stream.close();
    }
    if (!findings.empty()) {
        try {
            finishFile(layer->blockLayer(), session, xml, findings);
        } catch (const std::bad_alloc&) {
            // The file stays unfinished; the write ends all the same.
        }
        registry.removeWriteLayer(content);
    }
    return report(findings, errors, errorCount);
}

// The calls that work on a file by its path alone: `change` gets the path and the findings and
// returns kOk or kFailed; the result is 2 for a null path or a failure, else the findings'.
template <typename Change>
std::uint32_t changeFileAt(const MF4Char* path, MF4Error** errors, std::uint64_t* errorCount, Change change) {
    return guarded([&] {
        if (path == nullptr) return kResultFailed;
        const std::u16string filePath = toString(path);
        FindingList findings(filePath);
        const int status = change(filePath, findings);
        const std::uint32_t result = report(findings, errors, errorCount);
        return status == platform::kOk ? result : kResultFailed;
    });
}

// UpdateBookmarks and UpdateProperties: the reading layer that holds `content` (result 2 when
// there is none), the file opened for update by `change` once it knows what to write, the
// findings of the call. A change that fails without saying why reports a write failure.
template <typename Change>
std::uint32_t updateFile(MF4Content* content, MF4Error** errors, std::uint64_t* errorCount, Change change) {
    ZtCAppLayerCore* layer = readingLayerOf(content);
    if (layer == nullptr || layer->blockLayer().hdRecord() == nullptr) return kResultFailed;
    FindingList findings(layer->GetFilePath());
    int status = kResultFailed;
    {
        XmlCallContext xml;
        FileUpdate update(layer->blockLayer(), *content, findings, xml);
        try {
            status = change(update);
        } catch (const std::bad_alloc&) {
            findings.addFileError(kNoMemory);
        }
    }
    if (status != platform::kOk && !findings.hasErrors()) findings.addFileError(kDataNotWritten);
    const std::uint32_t result = report(findings, errors, errorCount);
    return status == platform::kOk ? result : kResultFailed;
}

}  // namespace

extern "C" {

MF4_API std::uint32_t ReadContent(const MF4Char* path, MF4Content** content, MF4Error** errors,
                                  std::uint64_t* errorCount) {
    return guarded([&] { return readContent(path, 0, content, errors, errorCount); });
}

MF4_API std::uint32_t ReadFilteredContent(const MF4Char* path, std::uint64_t filter,
                                          MF4Content** content, MF4Error** errors,
                                          std::uint64_t* errorCount) {
    return guarded([&] { return readContent(path, filter, content, errors, errorCount); });
}

MF4_API std::uint32_t ReadData(MF4Content* content, MF4ReadRequest* request, MF4Error** errors,
                               std::uint64_t* errorCount) {
    return guarded([&] {
        ZtCAppLayerCore* layer = readingLayerOf(content);
        if (request == nullptr || layer == nullptr) return kResultFailed;
        FindingList findings(layer->GetFilePath());
        if (readData(*content, layer->blockLayer(), *request) != 0) return kResultFailed;
        return report(findings, errors, errorCount);
    });
}

MF4_API std::uint32_t WriteContent(const MF4Char* path, MF4Content* content, MF4Error** errors,
                                   std::uint64_t* errorCount) {
    return guarded([&] { return writeContent(path, content, errors, errorCount); });
}

MF4_API std::uint32_t WriteData(MF4Content* content, MF4WriteRequest* request, MF4Error** errors,
                                std::uint64_t* errorCount) {
    return guarded([&] { return writeData(content, request, errors, errorCount); });
}

MF4_API std::uint32_t FinishWriting(MF4Content* content, MF4Error** errors, std::uint64_t* errorCount) {
    return guarded([&] {
        ZtCAppLayerCore* layer = LayerRegistry::instance().findWriteLayer(content);
        if (layer == nullptr || layer->writeSession() == nullptr) return kResultFailed;
        FindingList findings(layer->GetFilePath());
        int status = kResultFailed;
        try {
            XmlCallContext xml;
            status = finishFile(layer->blockLayer(), *layer->writeSession(), xml, findings);
        } catch (const std::bad_alloc&) {
            findings.addFileError(kNoMemory);
        }
        // The write ends here whatever happened.
        LayerRegistry::instance().removeWriteLayer(content);
        const std::uint32_t result = report(findings, errors, errorCount);
        return status == platform::kOk ? result : kResultFailed;
    });
}

MF4_API void CloseUnfinished(MF4Content* content) {
    guardedVoid([&] {
        LayerRegistry& registry = LayerRegistry::instance();
        ZtCAppLayerCore* layer = registry.findWriteLayer(content);
        if (layer == nullptr) return;
        ZtCBlockLayerCore& blockLayer = layer->blockLayer();
        if (std::FILE* stream = blockLayer.GetStream()) {
            std::fclose(stream);
            blockLayer.SetStream(nullptr);
        }
        registry.removeWriteLayer(content);
    });
}

MF4_API std::uint32_t RecoverStreamingFile(const MF4Char* path, MF4Error** errors, std::uint64_t* errorCount) {
    return changeFileAt(path, errors, errorCount, [](const std::u16string& file, FindingList& findings) {
        std::vector<GroupRepair> groups;
        return recoverStreamingFile(file, findings, groups);
    });
}

MF4_API std::uint32_t AddReductionData(const MF4Char* path, MF4Error** errors, std::uint64_t* errorCount) {
    return changeFileAt(path, errors, errorCount, [](const std::u16string& file, FindingList& findings) {
        std::vector<GroupReduction> groups;
        return addReductionData(file, findings, groups);
    });
}

MF4_API std::uint32_t UpdateToolInformation(MF4Content* content, const char* programId,
                                            const MF4Char* toolVendor, const MF4Char* toolVersion) {
    return guarded([&] {
        if (readingLayerOf(content) == nullptr) return kResultFailed;
        // Copies first, so that a failed allocation leaves the tree as it was.
        MF4Char* vendor = toolVendor ? platform::newHostText(toolVendor) : nullptr;
        MF4Char* version = toolVersion ? platform::newHostText(toolVersion) : nullptr;
        if ((toolVendor && !vendor) || (toolVersion && !version)) {
            std::free(vendor);
            std::free(version);
            return kResultFailed;
        }
        if (programId != nullptr) std::memcpy(content->programId, programId, sizeof content->programId);
        if (toolVendor != nullptr) {
            std::free(content->toolVendor);
            content->toolVendor = vendor;
        }
        if (toolVersion != nullptr) {
            std::free(content->toolVersion);
            content->toolVersion = version;
        }
        return std::uint32_t{0};
    });
}

MF4_API std::uint32_t UpdateBookmarks(MF4Content* content, const MF4Event* bookmarks, std::uint64_t count,
                                      const MF4Char* historyText, MF4Error** errors, std::uint64_t* errorCount) {
    return guarded([&] {
        if (bookmarks == nullptr && count != 0) return kResultFailed;
        return updateFile(content, errors, errorCount, [&](FileUpdate& update) {
            return updateBookmarks(update, bookmarks, count, historyText);
        });
    });
}

MF4_API std::uint32_t UpdateProperties(MF4Content* content, const MF4Char* headerComment,
                                       const MF4Property* properties, std::uint64_t count,
                                       const MF4Char* historyText, MF4Error** errors, std::uint64_t* errorCount) {
    return guarded([&] {
        if (properties == nullptr && count != 0) return kResultFailed;
        return updateFile(content, errors, errorCount, [&](FileUpdate& update) {
            return updateProperties(update, headerComment, properties, count, historyText);
        });
    });
}

MF4_API void FreeContent(MF4Content* content) {
    guardedVoid([&] {
        if (content == nullptr) return;
        // A tree the host built has no reading layer; one without a path is never looked up.
        if (content->filePath != nullptr) LayerRegistry::instance().removeReadLayer(content);
        releaseContentTree(content);
    });
}

MF4_API void FreeErrors(MF4Error* errors, std::uint64_t count) { releaseErrorRecords(errors, count); }

MF4_API void FreeStrings(void** strings, std::uint64_t count, std::uint8_t) {
    // 8-bit and UTF-16 strings were allocated alike, so `wide` does not change the release.
    if (strings == nullptr) return;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::free(strings[i]);
        strings[i] = nullptr;
    }
}

MF4_API const MF4HDBlock* GetHDBlock(MF4Content* content) {
    try {
        ZtCAppLayerCore* layer = readingLayerOf(content);
        if (layer == nullptr) return nullptr;
        return reinterpret_cast<const MF4HDBlock*>(layer->blockLayer().hdRecord());
    } catch (...) {
        return nullptr;
    }
}

}  // extern "C"
