#pragma once

#include <pugixml.hpp>
#include <string>

namespace kestra {

// Serialises a document compactly, as the settings file has always been written:
// no declaration of our own, no indentation, empty elements as <name/>.
std::string serializeCompactXml(const pugi::xml_document& document);

// Parses text that must hold exactly one root element (comments and processing
// instructions around it are kept). Returns false when it is not such a document.
bool parseSingleRootXml(const std::string& utf8, pugi::xml_document& document);

}  // namespace kestra
