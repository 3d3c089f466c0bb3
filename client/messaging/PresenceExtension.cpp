#include "client/messaging/PresenceExtension.h"

const char* const PresenceExtension::NS_STATUS = "lumora:x:status";
const char* const PresenceExtension::NS_VISIBILITY = "lumora:x:visibility";

PresenceExtension::PresenceExtension(const std::string& ns, const std::string& value)
    : StanzaExtension(ns == NS_VISIBILITY ? EXT_VISIBILITY : EXT_STATUS),
      ns_(ns),
      value_(value),
      filter_("/presence/x[@xmlns='" + ns + "']") {
    m_valid = true;
}

PresenceExtension::PresenceExtension(const std::string& ns, const gloox::Tag* tag)
    : PresenceExtension(ns, tag ? tag->findAttribute("value") : std::string()) {}

gloox::StanzaExtension* PresenceExtension::newInstance(const gloox::Tag* tag) const {
    return new PresenceExtension(ns_, tag);
}

gloox::Tag* PresenceExtension::tag() const {
    auto* t = new gloox::Tag("x");
    t->setXmlns(ns_);
    t->addAttribute("value", value_);
    return t;
}

gloox::StanzaExtension* PresenceExtension::clone() const {
    return new PresenceExtension(*this);
}
