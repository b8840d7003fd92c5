// Picks one element's text out of a stored XML comment, for showing a history entry on one
// line. This is a look, not a parse: the library has already validated what it stored.
#pragma once

#include <string>
#include <string_view>

namespace mf4tool {

// Text of the first element named `element` in `xml`, with the five predefined entities and
// numeric character references resolved; empty when there is no such element.
std::string elementText(std::string_view xml, std::string_view element);

}  // namespace mf4tool
