#include "win32/DriverStore.h"

#include "win32/Architecture.h"
#include "win32/Errors.h"
#include "win32/OptionalFunction.h"
#include "win32/Text.h"

#include <windows.h>

#include <setupapi.h>

namespace {

// setupapi.dll from the system directory, for as long as it is needed.
class SetupApi {
public:
    SetupApi()
        : module_(LoadSystemLibrary(L"setupapi.dll"))
        , error_(module_ == nullptr ? GetLastError() : 0)
    {
    }
    ~SetupApi()
    {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
    SetupApi(const SetupApi&) = delete;
    SetupApi& operator=(const SetupApi&) = delete;

    // A function of it; nullptr with the reason in `error` when it is not there.
    template <class Function> Function Find(const char* name, unsigned long& error) const
    {
        const auto function = OptionalFunction<Function>(module_, name);
        if (function == nullptr)
            error = module_ == nullptr ? (error_ != 0 ? error_ : ERROR_MOD_NOT_FOUND) : ERROR_PROC_NOT_FOUND;
        return function;
    }

private:
    HMODULE module_;
    DWORD error_;
};

// One field of an INF line as text.
std::optional<std::wstring> InfField(decltype(&SetupGetStringFieldW) getField, INFCONTEXT& line, DWORD index)
{
    DWORD needed = 0;
    if (!getField(&line, index, nullptr, 0, &needed) || needed == 0)
        return std::nullopt;
    std::wstring field(needed, L'\0');
    if (!getField(&line, index, field.data(), needed, nullptr))
        return std::nullopt;
    field.resize(needed - 1);
    return field;
}

} // namespace

Result<PackageInf> ReadPackageInf(const std::string& infPath)
{
    const SetupApi setupApi;
    unsigned long error = 0;
    const auto open = setupApi.Find<decltype(&SetupOpenInfFileW)>("SetupOpenInfFileW", error);
    const auto findFirst = setupApi.Find<decltype(&SetupFindFirstLineW)>("SetupFindFirstLineW", error);
    const auto findNext = setupApi.Find<decltype(&SetupFindNextLine)>("SetupFindNextLine", error);
    const auto fieldCount = setupApi.Find<decltype(&SetupGetFieldCount)>("SetupGetFieldCount", error);
    const auto getField = setupApi.Find<decltype(&SetupGetStringFieldW)>("SetupGetStringFieldW", error);
    const auto lineCount = setupApi.Find<decltype(&SetupGetLineCountW)>("SetupGetLineCountW", error);
    const auto close = setupApi.Find<decltype(&SetupCloseInfFile)>("SetupCloseInfFile", error);
    if (!open || !findFirst || !findNext || !fieldCount || !getField || !lineCount || !close)
        return Failed{error};
    UINT errorLine = 0;
    const HINF inf = open(Widen(infPath).c_str(), nullptr, INF_STYLE_WIN4, &errorLine);
    if (inf == INVALID_HANDLE_VALUE)
        return Failed{LastError()};
    PackageInf read;
    INFCONTEXT line;
    for (BOOL more = findFirst(inf, L"Manufacturer", nullptr, &line); more; more = findNext(&line, &line)) {
        ManufacturerModels models;
        // Field 1 names the models section; the fields after it are its decorations, each
        // naming the section "name.decoration".
        const std::wstring section = InfField(getField, line, 1).value_or(L"");
        const auto modelsIn = [&](const std::wstring& name) {
            const LONG lines = section.empty() ? -1 : lineCount(inf, name.c_str());
            return lines > 0 ? static_cast<unsigned long>(lines) : 0ul;
        };
        models.section = Narrow(section);
        models.undecoratedModels = modelsIn(section);
        for (DWORD index = 2; index <= fieldCount(&line); ++index)
            if (const std::optional<std::wstring> field = InfField(getField, line, index); field && !field->empty())
                models.decorated.push_back({Narrow(*field), modelsIn(section + L"." + *field)});
        read.manufacturers.push_back(models);
    }
    // DriverVer = date[,version]
    if (findFirst(inf, L"Version", L"DriverVer", &line)) {
        read.driverDate = Narrow(InfField(getField, line, 1).value_or(L""));
        read.driverVersion = Narrow(InfField(getField, line, 2).value_or(L""));
    }
    if (findFirst(inf, L"Version", L"Provider", &line))
        read.provider = Narrow(InfField(getField, line, 1).value_or(L""));
    if (findFirst(inf, L"Version", L"ClassGuid", &line))
        read.classGuid = Narrow(InfField(getField, line, 1).value_or(L""));
    close(inf);
    return read;
}

unsigned long UninstallDriverPackage(const std::string& infName, bool force)
{
    const SetupApi setupApi;
    unsigned long error = 0;
    // Windows XP and later. Without SUOI_FORCEDELETE it refuses while a device uses the package.
    const auto uninstall = setupApi.Find<BOOL(WINAPI*)(PCWSTR, DWORD, PVOID)>("SetupUninstallOEMInfW", error);
    if (uninstall == nullptr)
        return error;
    constexpr DWORD kForceDelete = 0x0001; // SUOI_FORCEDELETE
    const std::wstring name = Widen(infName);
    // Whether the copy is gone is for the caller's second look at the store to say.
    return uninstall(name.c_str(), force ? kForceDelete : 0, nullptr) ? 0 : LastError();
}

namespace {

// How many devices of `devices` have `infName` as the InfPath of their driver key.
unsigned CountUsing(const SetupApi& setupApi, HDEVINFO devices, const std::wstring& infName, unsigned long& error)
{
    const auto enumerate = setupApi.Find<decltype(&SetupDiEnumDeviceInfo)>("SetupDiEnumDeviceInfo", error);
    const auto openKey = setupApi.Find<decltype(&SetupDiOpenDevRegKey)>("SetupDiOpenDevRegKey", error);
    if (!enumerate || !openKey)
        return 0;
    unsigned count = 0;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; enumerate(devices, index, &device); ++index) {
        const HKEY key = openKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_QUERY_VALUE);
        if (key == INVALID_HANDLE_VALUE)
            continue; // no driver installed
        wchar_t infPath[MAX_PATH] = L"";
        DWORD size = sizeof infPath - sizeof(wchar_t);
        DWORD type = 0;
        if (RegQueryValueExW(key, L"InfPath", nullptr, &type, reinterpret_cast<BYTE*>(infPath), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ && SameNameIgnoringCase(infPath, infName))
            ++count;
        RegCloseKey(key);
    }
    return count;
}

} // namespace

Result<DeviceUse> DevicesUsing(const std::string& infName)
{
    const SetupApi setupApi;
    unsigned long error = 0;
    const auto getDevices = setupApi.Find<decltype(&SetupDiGetClassDevsW)>("SetupDiGetClassDevsW", error);
    const auto destroy = setupApi.Find<decltype(&SetupDiDestroyDeviceInfoList)>("SetupDiDestroyDeviceInfoList", error);
    if (!getDevices || !destroy)
        return Failed{error};
    const std::wstring name = Widen(infName);
    DeviceUse use;
    for (const bool presentOnly : {false, true}) {
        const HDEVINFO devices =
            getDevices(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | (presentOnly ? DIGCF_PRESENT : 0));
        if (devices == INVALID_HANDLE_VALUE)
            return Failed{LastError()};
        (presentOnly ? use.present : use.installed) = CountUsing(setupApi, devices, name, error);
        destroy(devices);
        if (error != 0)
            return Failed{error};
    }
    return use;
}
