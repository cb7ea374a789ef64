#include "fs/win32_path_text.h"

#include <gtest/gtest.h>

TEST(Win32PathText, DriveRootsAreTwoOrThreeCharactersWithAColonSecond) {
  EXPECT_EQ(u"C:\\", driveRootOf(u"C:"));
  EXPECT_EQ(u"C:\\", driveRootOf(u"C:\\"));
  EXPECT_EQ(u"d:\\", driveRootOf(u"d:/"));
  EXPECT_EQ(u"", driveRootOf(u"C:\\x"));
  EXPECT_EQ(u"", driveRootOf(u"C"));
  EXPECT_EQ(u"", driveRootOf(u"CC:"));
  EXPECT_EQ(u"", driveRootOf(u""));
}

TEST(Win32PathText, SharesAndParentsAreRecognisedByTheirStart) {
  EXPECT_TRUE(startsWithShareOrParent(u"\\\\server\\share"));
  EXPECT_TRUE(startsWithShareOrParent(u"//server/share"));
  EXPECT_TRUE(startsWithShareOrParent(u"..\\up"));
  EXPECT_FALSE(startsWithShareOrParent(u"\\single"));
  EXPECT_FALSE(startsWithShareOrParent(u".\\here"));
  EXPECT_FALSE(startsWithShareOrParent(u"C:\\"));
}

TEST(Win32PathText, LongPathPrefixIsRemovedForDrivesAndShares) {
  EXPECT_EQ(u"C:\\tools\\app.exe", withoutLongPathPrefix(u"\\\\?\\C:\\tools\\app.exe"));
  EXPECT_EQ(u"\\\\srv\\share\\app.exe", withoutLongPathPrefix(u"\\\\?\\UNC\\srv\\share\\app.exe"));
  EXPECT_EQ(u"C:\\tools\\app.exe", withoutLongPathPrefix(u"C:\\tools\\app.exe"));
  EXPECT_EQ(u"\\\\srv\\share", withoutLongPathPrefix(u"\\\\srv\\share"));
}

TEST(Win32PathText, LongFormIsLiteralAndRoundTrips) {
  EXPECT_EQ(u"\\\\?\\C:\\a\\b\\", longPathForm(u"C:/a//b\\"));
  EXPECT_EQ(u"\\\\?\\UNC\\srv\\share\\x", longPathForm(u"\\\\srv\\share\\\\x"));
  EXPECT_EQ(u"\\\\?\\UNC\\srv\\share\\x", longPathForm(u"//srv/share/x"));
  // Already literal, or relative: nothing can be added safely.
  EXPECT_EQ(u"\\\\?\\C:\\a", longPathForm(u"\\\\?\\C:\\a"));
  EXPECT_EQ(u"\\\\.\\pipe\\x", longPathForm(u"\\\\.\\pipe\\x"));
  EXPECT_EQ(u"a\\b", longPathForm(u"a\\b"));
  EXPECT_EQ(u"C:a", longPathForm(u"C:a"));
  // A name past 260 characters keeps every character.
  Text deep = u"C:\\" + Text(300, u'x') + u"\\材料.txt";
  EXPECT_EQ(u"\\\\?\\" + deep, longPathForm(deep));
  EXPECT_EQ(deep, withoutLongPathPrefix(longPathForm(deep)));
  Text share = u"\\\\srv\\share\\" + Text(300, u'y');
  EXPECT_EQ(share, withoutLongPathPrefix(longPathForm(share)));
}

TEST(Win32PathText, InsideComparesWholeComponentsIgnoringCase) {
  EXPECT_TRUE(isSameOrInside(u"C:\\Sync\\0-材料\\A01", u"c:\\sync\\0-材料\\a01\\"));
  EXPECT_TRUE(isSameOrInside(u"C:\\Sync\\A01\\2023\\G1\\", u"C:\\Sync\\A01"));
  EXPECT_TRUE(isSameOrInside(u"\\\\?\\C:\\Sync\\A01\\x", u"C:/Sync/A01"));
  EXPECT_TRUE(isSameOrInside(u"C:\\anything", u"C:\\"));
  EXPECT_TRUE(isSameOrInside(u"\\\\?\\UNC\\srv\\share\\a\\b", u"\\\\SRV\\share\\a"));
  EXPECT_FALSE(isSameOrInside(u"C:\\Sync\\A012", u"C:\\Sync\\A01"));
  EXPECT_FALSE(isSameOrInside(u"C:\\Sync", u"C:\\Sync\\A01"));
  EXPECT_FALSE(isSameOrInside(u"D:\\Sync\\A01", u"C:\\Sync\\A01"));
  EXPECT_FALSE(isSameOrInside(u"C:\\x", u""));
}

TEST(Win32PathText, TrimTrailingRemovesAnyMixOfTheCharacters) {
  EXPECT_EQ(u"C:\\dir\\new", trimTrailing(u"C:\\dir\\new\\ /\\ ", u" \\/"));
  EXPECT_EQ(u"", trimTrailing(u"\\\\\\", u"\\/"));
  EXPECT_EQ(u"a b", trimTrailing(u"a b", u"\\"));
}
