// The Windows Installer package, installed and removed with Wine's msiexec as a deployment
// tool does: its custom actions run the program laid beside it and turn the program's
// exit code into Windows Installer's.
#include "tests/win/CommandLineFixture.h"

#include <msi.h>
#include <msiquery.h>

namespace {

// A property of the package at `path`, read from its Property table.
std::wstring PackageProperty(const std::wstring& path, const std::wstring& name)
{
    PMSIHANDLE database, view, record;
    const std::wstring query = L"SELECT `Value` FROM `Property` WHERE `Property` = '" + name + L"'";
    if (MsiOpenDatabaseW(path.c_str(), MSIDBOPEN_READONLY, &database) != ERROR_SUCCESS ||
        MsiDatabaseOpenViewW(database, query.c_str(), &view) != ERROR_SUCCESS ||
        MsiViewExecute(view, 0) != ERROR_SUCCESS || MsiViewFetch(view, &record) != ERROR_SUCCESS)
        throw std::runtime_error("cannot read " + Utf8(name) + " of " + Utf8(path));
    wchar_t value[256] = L"";
    DWORD length = 256;
    MsiRecordGetStringW(record, 1, value, &length);
    return value;
}

class InstallerPackageTest : public CommandLineTest {
protected:
    const std::wstring package = folder.Path() + L"preinstall.msi";
    const std::wstring olderPackage = folder.Path() + L"preinstall-1.0.0.msi";
    const std::wstring productCode = PackageProperty(BuildUnderTest() + L"preinstall.msi", L"ProductCode");
    const std::wstring olderProductCode =
        PackageProperty(BuildUnderTest() + L"tests\\variants\\preinstall-1.0.0.msi", L"ProductCode");

    void SetUp() override
    {
        CommandLineTest::SetUp();
        CopyTestFile(BuildUnderTest() + L"preinstall.msi", package);
        CopyTestFile(BuildUnderTest() + L"tests\\variants\\preinstall-1.0.0.msi", olderPackage);
    }
    void TearDown() override
    {
        for (const std::wstring& code : {productCode, olderProductCode})
            if (Registered(code))
                MsiExec(L"/x " + code);
        CommandLineTest::TearDown();
    }

    // msiexec with `arguments`, quiet, logging verbosely beside the package; its exit code.
    DWORD MsiExec(const std::wstring& arguments)
    {
        return RunCommandLine(L"msiexec.exe " + arguments + L" /qn /l*v \"" + folder.Path() + L"msiexec.log\"", 240000);
    }
    DWORD Install(const std::wstring& path, const std::wstring& properties = L"")
    {
        return MsiExec(L"/i \"" + path + L"\" " + properties);
    }
    static bool Registered(const std::wstring& code)
    {
        return MsiQueryProductStateW(code.c_str()) == INSTALLSTATE_DEFAULT;
    }
    std::string MsiLog() const { return ReadWholeFile(folder.Path() + L"msiexec.log"); }
};

TEST_F(InstallerPackageTest, InstallRunsTheProgramWithTheSwitchesGivenAndUninstallRemovesIt)
{
    const std::wstring log = folder.Path() + L"preinstall.log";
    ASSERT_EQ(Install(package, L"PREINSTALL_ARGS=\"/LOG=" + log + L"\""), 0u) << MsiLog();
    EXPECT_TRUE(Registered(productCode));
    EXPECT_TRUE(MarkerSaysInstalled());
    EXPECT_TRUE(InDriverStore());
    EXPECT_TRUE(PathExists(staging + L"preinstall.exe")) << "no kept copy";
    EXPECT_FALSE(KeyExists(kProgramsEntryKey)) << "a second entry in Programs and Features";
    EXPECT_NE(ReadWholeFile(log).find("/NOARP"), std::string::npos) << "PREINSTALL_ARGS did not reach the program";

    ASSERT_EQ(MsiExec(L"/x \"" + package + L"\""), 0u) << MsiLog();
    EXPECT_FALSE(Registered(productCode));
    EXPECT_TRUE(MarkerValues().empty());
    EXPECT_FALSE(InDriverStore());
    EXPECT_FALSE(Staged());
}

TEST_F(InstallerPackageTest, FailedSetupFailsWith1603AndIsRolledBack)
{
    const ScopedVariable failing(L"TOVRA_STANDIN_EXIT_CODE", L"5");
    EXPECT_EQ(Install(package), static_cast<DWORD>(ERROR_INSTALL_FAILURE));
    EXPECT_NE(MsiLog().find(" 1603 (0x00000643)"), std::string::npos) << "the program's code is not in the log";
    EXPECT_FALSE(Registered(productCode));
    EXPECT_FALSE(Staged()) << "the rollback did not remove what the program staged";
    EXPECT_TRUE(MarkerValues().empty());
}

TEST_F(InstallerPackageTest, RestartCodeBecomesWindowsInstallers3010)
{
    const ScopedVariable restart(L"TOVRA_STANDIN_EXIT_CODE", L"3010");
    EXPECT_EQ(Install(package, L"REBOOT=ReallySuppress"), static_cast<DWORD>(ERROR_SUCCESS_REBOOT_REQUIRED))
        << MsiLog();
    EXPECT_TRUE(Registered(productCode));
    EXPECT_TRUE(MarkerSaysInstalled());
}

TEST_F(InstallerPackageTest, NewerPackageReplacesTheOlderAndTheDriverStays)
{
    ASSERT_EQ(Install(olderPackage), 0u) << MsiLog();
    ASSERT_TRUE(Registered(olderProductCode));
    ASSERT_EQ(Install(package), 0u) << MsiLog();
    EXPECT_TRUE(Registered(productCode));
    EXPECT_FALSE(Registered(olderProductCode));
    EXPECT_TRUE(MarkerSaysInstalled()) << "the older package's removal uninstalled the driver";
    EXPECT_TRUE(InDriverStore());
}

TEST_F(InstallerPackageTest, KeptCopyAlreadyGoneLetsTheProductBeRemoved)
{
    ASSERT_EQ(Install(package), 0u) << MsiLog();
    ClearStaging();
    EXPECT_EQ(MsiExec(L"/x \"" + package + L"\""), 0u) << MsiLog();
    EXPECT_FALSE(Registered(productCode));
}

} // namespace
