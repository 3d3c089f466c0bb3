#include <gtest/gtest.h>

#include <type_traits>

#include "kestra/Exceptions.h"

namespace {

template <class E>
void expectBasicShape() {
    static_assert(std::is_base_of_v<kestra::BasicException, E>);
    const E empty;
    EXPECT_STREQ(empty.what(), "");
    const E full("Place::function", "condition");
    const E copy(full);
    EXPECT_STREQ(copy.what(), "condition");
    EXPECT_EQ(copy.place(), "Place::function");
}

TEST(Exceptions, EveryClassHasThePlaceAndConditionShape) {
    expectBasicShape<kestra::NullPointerException>();
    expectBasicShape<kestra::IOStreamException>();
    expectBasicShape<kestra::GUICreateException>();
    expectBasicShape<kestra::GUIModifyException>();
    expectBasicShape<kestra::SettingsException>();
    expectBasicShape<kestra::SettingsCorruptException>();
    expectBasicShape<kestra::SettingsSavingException>();
    expectBasicShape<kestra::CacheException>();
    expectBasicShape<kestra::CacheIsCorruptException>();
    expectBasicShape<kestra::CacheLoadingException>();
    expectBasicShape<kestra::CacheSavingException>();
    expectBasicShape<kestra::CanNotLoadCacheException>();
    expectBasicShape<kestra::NotFoundCacheDirectoryException>();
    expectBasicShape<kestra::MapLoaderException>();
    expectBasicShape<kestra::HTTPException>();
    expectBasicShape<kestra::SocketException>();
    expectBasicShape<kestra::GPSException>();
}

TEST(Exceptions, SiblingsDoNotCatchEachOther) {
    // The settings and cache failures derive from the base directly, so a handler for one
    // class never swallows another.
    static_assert(!std::is_base_of_v<kestra::SettingsException, kestra::SettingsCorruptException>);
    static_assert(!std::is_base_of_v<kestra::CacheException, kestra::CacheSavingException>);
    try {
        throw kestra::IOStreamException("Settings::getStringValue", "fullName.length() == 0");
    } catch (const kestra::SettingsException&) {
        FAIL() << "caught by the wrong class";
    } catch (const kestra::BasicException& e) {
        EXPECT_STREQ(e.what(), "fullName.length() == 0");
    }
}

TEST(Exceptions, ThreadCreationIsARuntimeError) {
    static_assert(std::is_base_of_v<std::runtime_error, kestra::ThreadCreationException>);
    static_assert(!std::is_base_of_v<kestra::BasicException, kestra::ThreadCreationException>);
    EXPECT_STREQ(kestra::ThreadCreationException().what(), "thread not created");
}

}  // namespace
