#include "staging/Paths.h"
#include "staging/Places.h"

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

// A continuation folder is one directly in the Windows directory, named as Windows compares
// names: a deeper folder of that name is someone else's.
TEST(Places, ContinuationAndStagingFoldersAreKnownByTheirPlaceCaseAside)
{
    const Places places = PlacesIn("C:\\WINDOWS");
    EXPECT_EQ(places.ContinuationFolder(2), "C:\\WINDOWS\\~tovra_uninstall.2");
    EXPECT_TRUE(places.IsContinuationFolder("C:\\WINDOWS\\~tovra_uninstall.2\\"));
    EXPECT_TRUE(places.IsContinuationFolder("c:\\windows\\~TOVRA_UNINSTALL.17\\"));
    EXPECT_FALSE(places.IsContinuationFolder("C:\\WINDOWS\\~tovra_uninstall.2\\inner\\"));
    EXPECT_FALSE(places.IsContinuationFolder("D:\\WINDOWS\\~tovra_uninstall.2\\"));
    EXPECT_FALSE(places.IsContinuationFolder("C:\\WINDOWS\\tovra_driver\\"));
    EXPECT_TRUE(places.IsStagingFolder("c:\\windows\\TOVRA_DRIVER\\"));
    EXPECT_FALSE(places.IsStagingFolder("C:\\WINDOWS\\tovra_driver\\sub\\"));
}

TEST(Places, AWindowsDirectoryAtADriveRootDoublesNoBackslash)
{
    const Places places = PlacesIn("C:\\");
    EXPECT_EQ(places.stagingFolder, "C:\\tovra_driver");
    EXPECT_EQ(places.keptCopy, "C:\\tovra_driver\\preinstall.exe");
    EXPECT_EQ(places.lock, "C:\\IcCardReaderUsbPreInstall.lock");
    EXPECT_EQ(places.infFolder, "C:\\inf\\");
}
