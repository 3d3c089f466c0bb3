#include "kestra/SettingsDocument.h"

namespace kestra {
namespace {

void escapeInto(std::string& out, const char* text, bool attribute) {
    for (const char* p = text; *p != '\0'; ++p) {
        switch (*p) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += attribute ? "&quot;" : "\"";
                break;
            case '\n':
                out += attribute ? "&#10;" : "\n";  // attributes would turn it into a space
                break;
            case '\r':
                out += "&#13;";
                break;
            case '\t':
                out += attribute ? "&#9;" : "\t";
                break;
            default:
                out.push_back(*p);
        }
    }
}

void writeNode(std::string& out, const pugi::xml_node& node) {
    switch (node.type()) {
        case pugi::node_element: {
            out += '<';
            out += node.name();
            for (const pugi::xml_attribute& a : node.attributes()) {
                out += ' ';
                out += a.name();
                out += "=\"";
                escapeInto(out, a.value(), true);
                out += '"';
            }
            if (node.first_child().empty()) {
                out += "/>";
                return;
            }
            out += '>';
            for (const pugi::xml_node& child : node.children()) {
                writeNode(out, child);
            }
            out += "</";
            out += node.name();
            out += '>';
            return;
        }
        case pugi::node_pcdata:
            escapeInto(out, node.value(), false);
            return;
        case pugi::node_cdata:
            out += "<![CDATA[";
            out += node.value();
            out += "]]>";
            return;
        case pugi::node_comment:
            out += "<!--";
            out += node.value();
            out += "-->";
            return;
        case pugi::node_pi:
            out += "<?";
            out += node.name();
            if (*node.value() != '\0') {
                out += ' ';
                out += node.value();
            }
            out += "?>";
            return;
        default:
            return;  // declarations and doctypes of a loaded file are not written back
    }
}

}  // namespace

std::string serializeCompactXml(const pugi::xml_document& document) {
    std::string out;
    for (const pugi::xml_node& child : document.children()) {
        writeNode(out, child);
    }
    return out;
}

bool parseSingleRootXml(const std::string& utf8, pugi::xml_document& document) {
    const unsigned int flags = pugi::parse_default | pugi::parse_comments | pugi::parse_pi;
    const pugi::xml_parse_result result =
        document.load_buffer(utf8.data(), utf8.size(), flags, pugi::encoding_utf8);
    if (!result) {
        return false;
    }
    int elements = 0;
    for (const pugi::xml_node& child : document.children()) {
        if (child.type() == pugi::node_element) {
            ++elements;
        } else if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
            return false;  // text outside the root element
        }
    }
    return elements == 1;
}

}  // namespace kestra
