// Work done once when the library is loaded into a process.
#include <libxml/parser.h>

namespace tarvik {
namespace {

struct LibraryLifetime {
    // libxml2 wants its global state set up once, before threads start parsing.
    LibraryLifetime() { xmlInitParser(); }
};

const LibraryLifetime libraryLifetime;

}  // namespace
}  // namespace tarvik
