#include "staging/Paths.h"

#include <gtest/gtest.h>

TEST(ExtractFilePath, KeepsEverythingUpToTheLastSeparator)
{
    EXPECT_EQ(ExtractFilePath("C:\\Program Files\\Reader\\preinstall.exe"), "C:\\Program Files\\Reader\\");
    EXPECT_EQ(ExtractFilePath("C:preinstall.exe"), "C:");
    EXPECT_EQ(ExtractFilePath("\\\\server\\share\\preinstall.exe"), "\\\\server\\share\\");
    EXPECT_EQ(ExtractFilePath("C:\\驱动程序\\preinstall.exe"), "C:\\驱动程序\\");
    EXPECT_EQ(ExtractFilePath("preinstall.exe"), "");
    EXPECT_EQ(ExtractFilePath(""), "");
}

TEST(EnsureTrailingBackslash, AddsExactlyOne)
{
    EXPECT_EQ(EnsureTrailingBackslash("C:\\WINDOWS"), "C:\\WINDOWS\\");
    EXPECT_EQ(EnsureTrailingBackslash("C:\\"), "C:\\");
    EXPECT_EQ(EnsureTrailingBackslash(""), "\\");
}

TEST(EnsureTrailingBackslash, LooksAtWholeCharacters)
{
    // In GBK the second byte of 表 is 0x5C, the code of "\"; in UTF-8 no such clash exists.
    EXPECT_EQ(EnsureTrailingBackslash("C:\\表"), "C:\\表\\");
    EXPECT_EQ(EnsureTrailingBackslash("C:\\驱动\\"), "C:\\驱动\\");
}
