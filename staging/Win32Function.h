// Looks up a Windows function at run time, for functions that older Windows lacks or
// DLLs that are loaded only when needed.
#pragma once

#include <windows.h>

template <class Function> Function FunctionFrom(HMODULE module, const char* name)
{
    if (module == nullptr)
        return nullptr;
    // Through a generic function pointer: a direct cast between function types warns.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
