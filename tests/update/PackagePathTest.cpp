#include <gtest/gtest.h>

#include "update/PackagePath.h"

using updater::PackagePath;

TEST(PackagePathTest, KeepsOrdinaryNamesAndTurnsBackslashesIntoFolders) {
    EXPECT_EQ(PackagePath::normalize(L"Lumora"), L"Lumora");
    EXPECT_EQ(PackagePath::normalize(L"locale/de.xml"), L"locale/de.xml");
    EXPECT_EQ(PackagePath::normalize(L"locale\\de.xml"), L"locale/de.xml");
    EXPECT_EQ(PackagePath::normalize(L"a//b/./c"), L"a/b/c");
    EXPECT_EQ(PackagePath::normalize(L"name..with..dots"), L"name..with..dots");
}

TEST(PackagePathTest, TakesOutDrivesLeadingSeparatorsAndParentSteps) {
    EXPECT_EQ(PackagePath::normalize(L"..\\..\\name"), L"name");
    EXPECT_EQ(PackagePath::normalize(L"../../name"), L"name");
    EXPECT_EQ(PackagePath::normalize(L"/etc/passwd"), L"etc/passwd");
    EXPECT_EQ(PackagePath::normalize(L"\\\\server\\share\\x"), L"server/share/x");
    EXPECT_EQ(PackagePath::normalize(L"C:\\Windows\\evil.dll"), L"Windows/evil.dll");
    // Only a leading drive is one; further on "D:" is an ordinary folder name.
    EXPECT_EQ(PackagePath::normalize(L"C:/..\\D:/x"), L"D:/x");
    EXPECT_EQ(PackagePath::normalize(L"a/b/../../../x"), L"x");
    EXPECT_EQ(PackagePath::normalize(L"a\\..\\..\\b/../c"), L"c");
    EXPECT_EQ(PackagePath::normalize(L"dir/.."), L"dir");
}

TEST(PackagePathTest, NamesOfNothingButStepsBecomeEmpty) {
    EXPECT_EQ(PackagePath::normalize(L""), L"");
    EXPECT_EQ(PackagePath::normalize(L".."), L"");
    EXPECT_EQ(PackagePath::normalize(L"../"), L"");
    EXPECT_EQ(PackagePath::normalize(L"/"), L"");
    EXPECT_EQ(PackagePath::normalize(L"C:"), L"");
    EXPECT_EQ(PackagePath::normalize(L"./."), L"");
}
