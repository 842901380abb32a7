// Functions that older Windows lack, looked up at run time so that the program still
// starts there.
#pragma once

#include <windows.h>

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
