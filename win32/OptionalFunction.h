// Functions that older Windows lack, looked up at run time so that the program still
// starts there.
#pragma once

#include <windows.h>

#include <string>

// `name` in `module` as a `Function` pointer; nullptr where the module or function is absent.
template <class Function> Function OptionalFunction(HMODULE module, const char* name)
{
    if (module == nullptr)
        return nullptr;
    // Through a generic function pointer: a direct cast between function types warns.
    const auto address = reinterpret_cast<void (*)()>(GetProcAddress(module, name));
    return reinterpret_cast<Function>(address);
}

inline HMODULE Kernel32()
{
    return GetModuleHandleW(L"kernel32.dll");
}

// A library of the system directory, loaded by its full path: never one that a bare name
// would find elsewhere first. The caller frees it; nullptr when it cannot be loaded.
inline HMODULE LoadSystemLibrary(const wchar_t* fileName)
{
    wchar_t directory[MAX_PATH + 1];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        return nullptr;
    const std::wstring path = std::wstring(directory, length) + L"\\" + fileName;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
