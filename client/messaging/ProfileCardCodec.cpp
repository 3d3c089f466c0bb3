#include "client/messaging/ProfileCardCodec.h"

#include <gloox/tag.h>

std::unique_ptr<gloox::VCard> ProfileCardCodec::toVCard(const ProfileCard& card) {
    auto vcard = std::make_unique<gloox::VCard>();
    if (!card.givenName.empty() || !card.familyName.empty())
        vcard->setName(card.familyName, card.givenName);
    if (!card.nick.empty())
        vcard->setNickname(card.nick);
    if (!card.email.empty())
        vcard->addEmail(card.email, gloox::VCard::AddrTypeHome);
    if (!card.telephone.empty())
        vcard->addTelephone(card.telephone, gloox::VCard::AddrTypeHome);
    if (!card.gender.empty())
        vcard->setRole(card.gender);
    if (!card.about.empty())
        vcard->setDesc(card.about);
    if (!card.birthday.empty())
        vcard->setBday(card.birthday);
    if (!card.photo.empty())
        vcard->setPhoto(card.photoType, card.photo);
    return vcard;
}

ProfileCard ProfileCardCodec::fromVCard(const gloox::VCard& vcard) {
    ProfileCard card;
    card.nick = vcard.nickname();
    card.givenName = vcard.name().given;
    card.familyName = vcard.name().family;
    if (!vcard.emailAddresses().empty())
        card.email = vcard.emailAddresses().front().userid;
    if (!vcard.telephone().empty())
        card.telephone = vcard.telephone().front().number;
    card.gender = vcard.role();
    card.about = vcard.desc();
    card.birthday = vcard.bday();
    card.photoType = vcard.photo().type;
    card.photo = vcard.photo().binval;
    return card;
}

std::string ProfileCardCodec::updateInfoMessage(const std::string& gender) {
    gloox::Tag message("serviceMessage");
    message.setXmlns("jabberBot:updateInfo");
    message.addAttribute("version", "1");
    gloox::Tag* field = new gloox::Tag(&message, "field", "var", "gender");
    new gloox::Tag(field, "value", gender);
    return message.xml();
}
