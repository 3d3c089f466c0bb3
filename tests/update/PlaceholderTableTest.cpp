#include <gtest/gtest.h>

#include "UpdateSandbox.h"
#include "kestra/Exceptions.h"
#include "update/PlaceholderTable.h"

using updater::PlaceholderTable;

namespace {

PlaceholderTable sampleTable() {
    return PlaceholderTable({{L"%CE1%", L"/opt"},
                             {L"%CE19%", L"/home/u/.local/share"},
                             {L"%CE2%", L"/home/u/.local/lib"},
                             {L"%AppName%", L"Lumora"}});
}

}  // namespace

TEST(PlaceholderTableTest, ProgramFilesAndProductNameResolveToTheInstallationFolder) {
    std::wstring resolved;
    ASSERT_TRUE(sampleTable().replaceIdInPath(L"%CE1%\\%AppName%\\", resolved));
    EXPECT_EQ(resolved, L"/opt/Lumora/");
    ASSERT_TRUE(sampleTable().replaceIdInPath(L"%CE19%\\%AppName%\\locale", resolved));
    EXPECT_EQ(resolved, L"/home/u/.local/share/Lumora/locale");
    // "%CE1%" must not be taken for the start of "%CE19%".
    ASSERT_TRUE(sampleTable().replaceIdInPath(L"%CE19%/%CE1%/%CE2%", resolved));
    EXPECT_EQ(resolved, L"/home/u/.local/share//opt//home/u/.local/lib");
}

TEST(PlaceholderTableTest, UnknownPlaceholdersAndRelativeResultsAreRejected) {
    std::wstring resolved = L"untouched";
    EXPECT_FALSE(sampleTable().replaceIdInPath(L"%CE3%\\%AppName%", resolved));
    EXPECT_FALSE(sampleTable().replaceIdInPath(L"%CE1%\\100%", resolved));
    EXPECT_FALSE(sampleTable().replaceIdInPath(L"Program Files\\Lumora", resolved));
    EXPECT_FALSE(sampleTable().replaceIdInPath(L"%AppName%", resolved));
    EXPECT_EQ(resolved, L"untouched");
}

TEST(PlaceholderTableTest, FolderValuesMayHoldPercentSignsAndTheirOwnPlaceholder) {
    const PlaceholderTable table({{L"%CE1%", L"/srv/100%/%CE1%"}, {L"%AppName%", L"Lumora"}});
    std::wstring resolved;
    ASSERT_TRUE(table.replaceIdInPath(L"%CE1%/%AppName%/", resolved));
    EXPECT_EQ(resolved, L"/srv/100%/%CE1%/Lumora/");
}

TEST(PlaceholderTableTest, SystemTableMapsToTheUsersFolders) {
    updatetest::UpdateSandbox sandbox;
    const PlaceholderTable table = PlaceholderTable::fromSystem(sandbox.programFolder().wstring());
    const std::wstring home = (sandbox.root() / "home").wstring();
    const auto& e = table.entries();
    ASSERT_EQ(e.size(), 7U);
    EXPECT_EQ(e.at(L"%CE1%"), sandbox.programFiles().wstring());
    EXPECT_EQ(e.at(L"%CE2%"), home + L"/.local/lib");
    EXPECT_EQ(e.at(L"%CE4%"), home + L"/.config/autostart");
    EXPECT_EQ(e.at(L"%CE15%"), home + L"/.local/share/fonts");
    EXPECT_EQ(e.at(L"%CE17%"), home + L"/.local/share/applications");
    EXPECT_EQ(e.at(L"%CE19%"), home + L"/.local/share");
    EXPECT_EQ(e.at(L"%AppName%"), L"Lumora");
}

TEST(PlaceholderTableTest, SystemTableFailsWithoutAProgramFolder) {
    updatetest::UpdateSandbox sandbox;
    EXPECT_THROW(PlaceholderTable::fromSystem(L""), kestra::UpdateException);
}
