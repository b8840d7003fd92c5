#include "xml/schema_cache.h"

#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "xml/schema_resources.h"

namespace tarvik {

namespace {

struct SchemaDeleter {
    void operator()(xmlSchema* schema) const { xmlSchemaFree(schema); }
};
struct SchemaParserDeleter {
    void operator()(xmlSchemaParserCtxt* context) const { xmlSchemaFreeParserCtxt(context); }
};
struct DocumentDeleter {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};

// Compile problems would be our own schemas' fault; they are not the host's to see.
void ignoreSchemaProblem(void*, xmlErrorPtr) {}

std::unique_ptr<xmlSchema, SchemaDeleter> compile(std::uint16_t set, std::string_view fileName) {
    const std::string_view text = loadSchemaText(set, fileName);
    if (text.empty()) return nullptr;
    registerSchemaInput();
    // The document's address is the base against which its includes and imports resolve.
    const std::string address = schemaAddress(set, fileName);
    std::unique_ptr<xmlDoc, DocumentDeleter> document(
        xmlReadMemory(text.data(), static_cast<int>(text.size()), address.c_str(), nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!document) return nullptr;
    std::unique_ptr<xmlSchemaParserCtxt, SchemaParserDeleter> parser(
        xmlSchemaNewDocParserCtxt(document.get()));
    if (!parser) return nullptr;
    xmlSchemaSetParserStructuredErrors(parser.get(), ignoreSchemaProblem, nullptr);
    return std::unique_ptr<xmlSchema, SchemaDeleter>(xmlSchemaParse(parser.get()));
}

}  // namespace

const _xmlSchema* addSchema(std::uint16_t version, std::string_view fileName) {
    static std::mutex lock;
    static std::map<std::pair<std::uint16_t, std::string>, std::unique_ptr<xmlSchema, SchemaDeleter>>
        compiled;
    const std::uint16_t set = schemaSetOf(version);
    std::lock_guard guard(lock);
    auto [entry, inserted] = compiled.try_emplace({set, std::string(fileName)});
    if (inserted) entry->second = compile(set, fileName);
    return entry->second.get();
}

}  // namespace tarvik
