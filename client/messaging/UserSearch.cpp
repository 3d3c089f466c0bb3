#include "client/messaging/UserSearch.h"

#include <gloox/dataformitem.h>

#include <algorithm>
#include <cctype>
#include <pugixml.hpp>

#include "kestra/Lexical.h"
#include "kestra/Log.h"

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void addField(gloox::Tag* parent, const std::string& var, const std::string& value) {
    gloox::Tag* field = new gloox::Tag(parent, "field", "var", var);
    new gloox::Tag(field, "value", value);
}

void addIfSet(gloox::Tag* parent, const std::string& var, const std::string& value) {
    if (!value.empty())
        addField(parent, var, value);
}

// All text below node, in document order. Walked without recursion: the answer comes
// from the network, and a deep nesting must not exhaust the thread's stack.
std::string textContent(const pugi::xml_node& node) {
    std::string text;
    pugi::xml_node at = node.first_child();
    while (at && at != node) {
        if (at.type() == pugi::node_pcdata || at.type() == pugi::node_cdata) {
            text += at.value();
        } else if (at.type() == pugi::node_element && at.first_child()) {
            at = at.first_child();
            continue;
        }
        while (at != node && !at.next_sibling()) {
            at = at.parent();
        }
        if (at != node) {
            at = at.next_sibling();
        }
    }
    return text;
}

pugi::xml_node firstElement(const pugi::xml_node& parent) {
    for (const pugi::xml_node& child : parent.children()) {
        if (child.type() == pugi::node_element)
            return child;
    }
    return pugi::xml_node();
}

}  // namespace

bool UserSearch::wantsBot(const SearchContactsPacket& p, bool botPresent) {
    const bool botCriterion = p.gender == 0 || p.gender == 1 || p.online == 0 || p.distance != 0;
    return p.user.empty() && botPresent && botCriterion;
}

gloox::Tag* UserSearch::directoryFormTag(const SearchContactsPacket& p) {
    auto* x = new gloox::Tag("x");
    x->setXmlns("jabber:x:data");
    x->addAttribute("type", "submit");
    gloox::Tag* formType = new gloox::Tag(x, "field", "type", "hidden");
    formType->addAttribute("var", "FORM_TYPE");
    new gloox::Tag(formType, "value", "jabber:iq:search");
    if (!p.user.empty()) {
        addField(x, "user", p.user);
        return x;
    }
    addIfSet(x, "first", p.first);
    addIfSet(x, "last", p.last);
    addIfSet(x, "nick", p.nick);
    addIfSet(x, "email", p.email);
    return x;
}

std::string UserSearch::botQuery(const SearchContactsPacket& p, bool hasPosition, double latitude,
                                 double longitude) {
    gloox::Tag query("query");
    query.setXmlns("jabberBot:search");
    query.addAttribute("version", "1");
    addIfSet(&query, "user", p.user);
    addIfSet(&query, "first", p.first);
    addIfSet(&query, "last", p.last);
    addIfSet(&query, "nick", p.nick);
    addIfSet(&query, "email", p.email);
    if (p.gender == 0 || p.gender == 1)
        addField(&query, "gender", p.gender == 0 ? "male" : "female");
    if (p.distance != 0 && hasPosition) {
        addField(&query, "distance", kestra::toNarrowText(p.distance));
        addField(&query, "latitude", kestra::toNarrowText(static_cast<float>(latitude)));
        addField(&query, "longitude", kestra::toNarrowText(static_cast<float>(longitude)));
    }
    if (p.online == 0)
        addField(&query, "status", "online");
    return query.xml();
}

std::vector<SearchResultFields> UserSearch::directoryResults(const gloox::DataForm& form) {
    std::vector<SearchResultFields> results;
    for (const gloox::DataFormItem* item : form.items()) {
        SearchResultFields fields;
        for (const gloox::DataFormField* field : item->fields()) {
            if (!field->value().empty())
                fields[lower(field->name())] = field->value();
        }
        results.push_back(fields);
    }
    return results;
}

std::vector<SearchResultFields> UserSearch::parseBotAnswer(const std::string& body) {
    std::vector<SearchResultFields> results;
    if (body.find("result") == std::string::npos) {
        kestra::Log::error("parseSearchXML ::-1 == xmlWContent.find(result).");
        return results;
    }
    pugi::xml_document document;
    if (!document.load_string(body.c_str())) {
        kestra::Log::error("parseSearchXML ::(S_OK != res) || (VARIANT_TRUE != succeeded).");
        return results;
    }
    const pugi::xml_node root = document.document_element();
    if (!root) {
        kestra::Log::error("parseSearchXML ::(S_OK != res).");
        return results;
    }
    const pugi::xml_node first = firstElement(root);
    if (std::string(first.name()) == "error") {
        kestra::Log::error("Jabber bot error");
        return results;
    }
    if (std::string(first.name()) != "items") {
        kestra::Log::error("parseSearchXML tag != items.");
        return results;
    }
    for (const pugi::xml_node& item : first.children("item")) {
        SearchResultFields fields;
        for (const pugi::xml_node& field : item.children("field")) {
            fields[lower(field.attribute("var").value())] = textContent(field);
        }
        results.push_back(fields);
    }
    return results;
}
