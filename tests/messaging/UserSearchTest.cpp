#include <gtest/gtest.h>

#include <gloox/dataform.h>

#include <memory>

#include "client/messaging/UserSearch.h"

namespace {

SearchContactsPacket criteria() {
    SearchContactsPacket p;
    p.gender = 2;
    p.online = 1;
    p.distance = 0;
    return p;
}

}  // namespace

TEST(UserSearch, DirectoryFormCarriesTheTextCriteriaOrOnlyTheUser) {
    SearchContactsPacket p = criteria();
    p.nick = "bob";
    std::unique_ptr<gloox::Tag> tag(UserSearch::directoryFormTag(p));
    EXPECT_EQ(
        tag->xml(),
        "<x xmlns='jabber:x:data' type='submit'><field type='hidden' var='FORM_TYPE'>"
        "<value>jabber:iq:search</value></field><field var='nick'><value>bob</value></field></x>");
    gloox::DataForm form(gloox::TypeSubmit);
    EXPECT_TRUE(form.parse(tag.get()));

    p.user = "1001";
    p.first = "Ann";
    tag.reset(UserSearch::directoryFormTag(p));
    EXPECT_EQ(tag->findChildren("field").size(), 2u);
    EXPECT_NE(tag->xml().find("<field var='user'><value>1001</value></field>"), std::string::npos);
    EXPECT_EQ(tag->xml().find("first"), std::string::npos);
}

TEST(UserSearch, TheBotIsAskedOnlyForItsOwnCriteriaAndOnlyWhenThereIsOne) {
    SearchContactsPacket p = criteria();
    p.last = "Smith";
    EXPECT_FALSE(UserSearch::wantsBot(p, true));
    p.gender = 1;
    EXPECT_TRUE(UserSearch::wantsBot(p, true));
    EXPECT_FALSE(UserSearch::wantsBot(p, false));
    p.user = "1001";
    EXPECT_FALSE(UserSearch::wantsBot(p, true));
    SearchContactsPacket online = criteria();
    online.online = 0;
    EXPECT_TRUE(UserSearch::wantsBot(online, true));
    SearchContactsPacket near = criteria();
    near.distance = 5;
    EXPECT_TRUE(UserSearch::wantsBot(near, true));
}

TEST(UserSearch, BotQueryListsCriteriaInOrderAndTheDistanceOnlyWithAPosition) {
    SearchContactsPacket p = criteria();
    p.last = "Smith";
    p.gender = 1;
    p.online = 0;
    p.distance = 2.5;
    EXPECT_EQ(UserSearch::botQuery(p, false, 0, 0),
              "<query xmlns='jabberBot:search' version='1'>"
              "<field var='last'><value>Smith</value></field>"
              "<field var='gender'><value>female</value></field>"
              "<field var='status'><value>online</value></field></query>");
    const std::string withPosition = UserSearch::botQuery(p, true, 55.123456789, 37.5);
    EXPECT_NE(withPosition.find("<field var='gender'><value>female</value></field>"
                                "<field var='distance'><value>2.5</value></field>"
                                "<field var='latitude'><value>55.12346</value></field>"
                                "<field var='longitude'><value>37.5</value></field>"
                                "<field var='status'>"),
              std::string::npos)
        << withPosition;
}

TEST(UserSearch, BotAnswerItemsBecomeLowerCaseMaps) {
    const auto items = UserSearch::parseBotAnswer(
        "<?xml version='1.0'?>\n<result xmlns='jabberBot:search'>\n <items>\n"
        "  <item><field var='JID'><value>1001@localhost</value></field>"
        "<field var='Nick'><value>ann &amp; co</value></field></item>\n"
        "  <item><field var='jid'>1002@localhost</field></item>\n </items>\n</result>");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].at("jid"), "1001@localhost");
    EXPECT_EQ(items[0].at("nick"), "ann & co");
    EXPECT_EQ(items[1].at("jid"), "1002@localhost");
}

// Text is gathered from every depth, in order; a hostile answer nested 60 000 deep is
// read like any other.
TEST(UserSearch, FieldTextIsGatheredFromEveryDepthWithoutRecursion) {
    const auto mixed = UserSearch::parseBotAnswer(
        "<result><items><item><field var='nick'>a<b>b<c/>c<![CDATA[d]]></b><e>e</e>f</field>"
        "</item></items></result>");
    ASSERT_EQ(mixed.size(), 1u);
    EXPECT_EQ(mixed[0].at("nick"), "abcdef");

    constexpr int DEPTH = 60000;
    std::string deep = "<result><items><item><field var='nick'>";
    for (int i = 0; i < DEPTH; ++i)
        deep += "<v>";
    deep += "deep";
    for (int i = 0; i < DEPTH; ++i)
        deep += "</v>";
    deep += "tail</field></item></items></result>";
    const auto items = UserSearch::parseBotAnswer(deep);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].at("nick"), "deeptail");
}

TEST(UserSearch, BotAnswersWithoutItemsGiveNothing) {
    for (const char* body : {"nothing found", "<result><error code='1'>down</error></result>",
                             "<result><items><item>", "<result><status>busy</status></result>",
                             "result", "<result/>", "<result><items/></result>"}) {
        EXPECT_TRUE(UserSearch::parseBotAnswer(body).empty()) << body;
    }
}

TEST(UserSearch, DirectoryResultFormItemsDropEmptyValues) {
    gloox::Tag x("x");
    x.setXmlns("jabber:x:data");
    x.addAttribute("type", "result");
    gloox::Tag* item = new gloox::Tag(&x, "item");
    for (const auto& f : {std::make_pair("JID", "1001@localhost"), std::make_pair("nick", "ann"),
                          std::make_pair("email", "")}) {
        gloox::Tag* field = new gloox::Tag(item, "field", "var", f.first);
        new gloox::Tag(field, "value", f.second);
    }
    const gloox::DataForm form(&x);
    const auto results = UserSearch::directoryResults(form);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].size(), 2u);
    EXPECT_EQ(results[0].at("jid"), "1001@localhost");
    EXPECT_EQ(results[0].at("nick"), "ann");
}
