// Binding a system function that older systems may lack.
#pragma once

#include "platform/win32/win.h"

namespace tav::win32 {

// The function NAME of MODULE, or null. Use TAV_SYSTEM_FUNCTION, which takes
// the type from the SDK's own declaration: a hand-written pointer type that
// lacks WINAPI works in the x86_64 build and corrupts the stack in the
// 32-bit one, and the cast from FARPROC is the one place the compiler
// cannot check the type.
template <class Fn>
Fn LoadSystemFunction(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)))
                  : nullptr;
}

}  // namespace tav::win32

#define TAV_SYSTEM_FUNCTION(module, name) \
    ::tav::win32::LoadSystemFunction<decltype(&::name)>(module, #name)
