#include "xml/schema_resources.h"

#include <libxml/xmlIO.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <string>

#include "xml/embedded_files.h"

namespace tarvik {

namespace {

struct SchemaResource {
    std::string_view fileName;
    int id400;
    int id410;
};

constexpr std::array<SchemaResource, 16> kResources{{
    {"xml.xsd", 107, 123},           {"at_comment.xsd", 108, 124},
    {"cc_comment.xsd", 109, 125},    {"cc_unit.xsd", 110, 126},
    {"cg_comment.xsd", 111, 127},    {"ch_comment.xsd", 112, 128},
    {"cn_comment.xsd", 113, 129},    {"cn_unit.xsd", 114, 130},
    {"dg_comment.xsd", 115, 131},    {"ev_comment.xsd", 116, 132},
    {"fh_comment.xsd", 117, 133},    {"harmonizedObjects.xsd", 118, 134},
    {"hd_comment.xsd", 119, 135},    {"mdf_base.xsd", 120, 136},
    {"mdf_schema.xsd", 121, 137},    {"si_comment.xsd", 122, 138},
}};

constexpr std::string_view kScheme = "tarvik-schema:/";

std::string embeddedPath(std::uint16_t setVersion, std::string_view fileName) {
    return "schemas/" + std::to_string(setVersion) + "/" + std::string(fileName);
}

// Input callbacks of the XML parser for the schema addresses. The parser reads through the
// context, a cursor over the embedded bytes.
struct EmbeddedReader {
    std::string_view bytes;
};

int matchesSchemaAddress(const char* address) {
    return address != nullptr && std::strncmp(address, kScheme.data(), kScheme.size()) == 0;
}

void* openSchemaAddress(const char* address) {
    const std::string_view path = std::string_view(address).substr(kScheme.size());
    const std::string_view bytes = embeddedFile("schemas/" + std::string(path));
    if (bytes.empty()) return nullptr;
    return new (std::nothrow) EmbeddedReader{bytes};
}

int readSchemaAddress(void* context, char* buffer, int length) {
    auto* reader = static_cast<EmbeddedReader*>(context);
    const std::size_t count = std::min(reader->bytes.size(), static_cast<std::size_t>(length));
    std::memcpy(buffer, reader->bytes.data(), count);
    reader->bytes.remove_prefix(count);
    return static_cast<int>(count);
}

int closeSchemaAddress(void* context) {
    delete static_cast<EmbeddedReader*>(context);
    return 0;
}

}  // namespace

std::uint16_t schemaSetOf(std::uint16_t version) { return version >= 410 ? 410 : 400; }

int schemaResourceId(std::uint16_t setVersion, std::string_view fileName) {
    for (const SchemaResource& resource : kResources)
        if (resource.fileName == fileName)
            return setVersion == 400 ? resource.id400 : setVersion == 410 ? resource.id410 : 0;
    return 0;
}

std::string_view loadSchemaText(std::uint16_t version, std::string_view fileName) {
    const std::uint16_t set = schemaSetOf(version);
    if (schemaResourceId(set, fileName) == 0) return {};
    return embeddedFile(embeddedPath(set, fileName));
}

std::string schemaAddress(std::uint16_t setVersion, std::string_view fileName) {
    return std::string(kScheme) + std::to_string(setVersion) + "/" + std::string(fileName);
}

void registerSchemaInput() {
    // The parser keeps one process-wide list of input sources; ours answers only to its own
    // scheme, so hosts that use the same XML library are not affected.
    static std::once_flag registered;
    std::call_once(registered, [] {
        xmlRegisterInputCallbacks(matchesSchemaAddress, openSchemaAddress, readSchemaAddress,
                                  closeSchemaAddress);
    });
}

}  // namespace tarvik
