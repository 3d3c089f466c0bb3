#pragma once

#include <gloox/stanzaextension.h>
#include <gloox/tag.h>

#include <string>

// The service's presence child <x xmlns='NAMESPACE' value='VALUE'/>: the position
// ("lumora:x:status") or the visibility told to a bot ("lumora:x:visibility").
class PresenceExtension : public gloox::StanzaExtension {
public:
    static const char* const NS_STATUS;
    static const char* const NS_VISIBILITY;
    enum { EXT_STATUS = gloox::ExtUser + 1, EXT_VISIBILITY = gloox::ExtUser + 2 };

    explicit PresenceExtension(const std::string& ns, const std::string& value = std::string());
    PresenceExtension(const std::string& ns, const gloox::Tag* tag);

    const std::string& value() const { return value_; }
    const std::string& filterString() const override { return filter_; }
    gloox::StanzaExtension* newInstance(const gloox::Tag* tag) const override;
    gloox::Tag* tag() const override;
    gloox::StanzaExtension* clone() const override;

private:
    std::string ns_;
    std::string value_;
    std::string filter_;
};
