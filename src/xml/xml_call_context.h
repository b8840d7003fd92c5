// The XML state of one exported call: the validating readers prepared during the call, one per
// (schema set, schema file), reused for every comment of that kind. libxml2 needs no per-thread
// initialisation (unlike the COM-based parsers of other platforms); the context lives on the
// call's stack and releases what it prepared when the call ends.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>

struct _xmlSchemaValidCtxt;

namespace tarvik {

struct SchemaValidationDeleter {
    void operator()(_xmlSchemaValidCtxt* context) const;
};
using SchemaValidation = std::unique_ptr<_xmlSchemaValidCtxt, SchemaValidationDeleter>;

// A reader prepared for one schema: its validation state, or none when the schema file is not
// one the library carries (the text is then parsed without validation).
struct ValidatingReader {
    SchemaValidation validation;
};

class XmlCallContext {
public:
    XmlCallContext() = default;
    XmlCallContext(const XmlCallContext&) = delete;
    XmlCallContext& operator=(const XmlCallContext&) = delete;

    // The reader for (schema set, file name), prepared on first use within this call.
    ValidatingReader& getValidatingReader(std::uint16_t version, const std::string& schemaFile);

private:
    std::map<std::pair<std::uint16_t, std::string>, ValidatingReader> readers_;
};

}  // namespace tarvik
