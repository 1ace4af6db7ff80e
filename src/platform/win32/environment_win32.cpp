#include "platform/win32/environment_win32.h"

// clang-format off
#include "platform/win32/win.h"
#include <objbase.h>
#include <oleauto.h>
#include <wbemcli.h>
// clang-format on

#include "core/failure.h"
#include "platform/win32/runtime_win32.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"

namespace tav::win32 {

namespace {

HWND ToHwnd(WindowHandle w) { return reinterpret_cast<HWND>(w); }

class Bstr {
public:
    explicit Bstr(const std::wstring& text) : b_(::SysAllocString(text.c_str())) {
        if (!b_) throw err::Make(err::kOutOfMemory);
    }
    ~Bstr() { ::SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }

private:
    BSTR b_;
};

class Variant {
public:
    Variant() { ::VariantInit(&v_); }
    ~Variant() { ::VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &v_; }

private:
    VARIANT v_;
};

// A slow or broken management service must not hold the window forever.
constexpr long kNextObjectTimeoutMs = 30000;

}  // namespace

WindowHandle Win32Environment::OwnerWindow(WindowHandle window) {
    return reinterpret_cast<WindowHandle>(::GetWindow(ToHwnd(window), GW_OWNER));
}

int32_t Win32Environment::SystemMetric(int32_t index) { return ::GetSystemMetrics(index); }

IconHandle Win32Environment::LoadSharedIcon(const std::string& name, int32_t width,
                                            int32_t height) {
    // Shared images belong to the system, which frees them; nobody here must.
    return reinterpret_cast<IconHandle>(::LoadImageW(
        ::GetModuleHandleW(nullptr), Widen(name).c_str(), IMAGE_ICON, width, height, LR_SHARED));
}

intptr_t Win32Environment::SendWindowMessage(WindowHandle window, uint32_t message,
                                             uintptr_t wParam, intptr_t lParam) {
    return static_cast<intptr_t>(::SendMessageW(
        ToHwnd(window), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)));
}

std::vector<std::optional<std::string>> Win32Environment::ManagementQuery(
    const std::string& wql, const std::string& property) {
    const ComApartment com;
    if (!com.usable()) throw err::Make(err::kCantCreateObject);
    // Through the locator: the "winmgmts:" moniker is not complete everywhere.
    ComPtr<IWbemLocator> locator;
    if (FAILED(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void**>(locator.put()))))
        throw err::Make(err::kCantCreateObject);
    ComPtr<IWbemServices> services;
    if (FAILED(locator->ConnectServer(Bstr(L"ROOT\\CIMV2").get(), nullptr, nullptr, nullptr, 0,
                                      nullptr, nullptr, services.put())))
        throw err::Make(err::kAutomationError);
    // Impersonation is what the service expects of a local caller; where
    // the blanket cannot be set the defaults serve.
    ::CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                        RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    ComPtr<IEnumWbemClassObject> objects;
    if (FAILED(services->ExecQuery(Bstr(L"WQL").get(), Bstr(Widen(wql)).get(),
                                   WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                   objects.put())))
        throw err::Make(err::kAutomationError);

    std::vector<std::optional<std::string>> values;
    const std::wstring name = Widen(property);
    for (;;) {
        ComPtr<IWbemClassObject> object;
        ULONG returned = 0;
        const HRESULT hr = objects->Next(kNextObjectTimeoutMs, 1, object.put(), &returned);
        if (FAILED(hr) || returned == 0) break;
        Variant value;
        std::optional<std::string> text;
        if (SUCCEEDED(object->Get(name.c_str(), 0, value.get(), nullptr, nullptr)) &&
            V_VT(value.get()) != VT_NULL && V_VT(value.get()) != VT_EMPTY &&
            SUCCEEDED(::VariantChangeType(value.get(), value.get(), 0, VT_BSTR))) {
            text = Narrow(std::wstring(V_BSTR(value.get()), ::SysStringLen(V_BSTR(value.get()))));
        }
        values.push_back(std::move(text));
    }
    return values;
}

std::string Win32Environment::SystemFolder() { return win32::SystemFolder(); }

}  // namespace tav::win32
