// What the program carries besides its code: the type library that
// publishes the error logger, and the version record.
#include <gtest/gtest.h>

#include "platform/win32/win.h"

#include <oleauto.h>

#include <set>
#include <vector>

#include "platform/win32/text.h"
#include "win_test_support.h"

namespace tav {
namespace {

const std::wstring kExe = win32::Widen(wintest::HostPath(TAV_EXE_PATH));

TEST(ResourcesTest, TypeLibraryPublishesTheLoggerWithLogAndDebugPrintOnly) {
    ITypeLib* lib = nullptr;
    ASSERT_EQ(::LoadTypeLibEx(kExe.c_str(), REGKIND_NONE, &lib), S_OK);
    BSTR name = nullptr;
    ASSERT_EQ(lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::wstring(name), L"TAVUpdate");
    ::SysFreeString(name);

    ITypeInfo* info = nullptr;
    MEMBERID id = 0;
    USHORT found = 1;
    wchar_t interfaceName[] = L"_CErrorUpdate";
    ASSERT_EQ(lib->FindName(interfaceName, 0, &info, &id, &found), S_OK);
    ASSERT_EQ(found, 1);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    std::set<std::wstring> methods;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
        BSTR fn = nullptr;
        info->GetDocumentation(f->memid, &fn, nullptr, nullptr, nullptr);
        // A dual interface also lists what it inherits from IDispatch.
        static const std::set<std::wstring> inherited{L"QueryInterface", L"AddRef", L"Release",
                                                      L"GetTypeInfoCount", L"GetTypeInfo",
                                                      L"GetIDsOfNames", L"Invoke"};
        if (!inherited.count(fn)) methods.insert(fn);
        if (std::wstring(fn) == L"Log") {
            EXPECT_EQ(f->cParams, 2);
        } else if (std::wstring(fn) == L"DebugPrint") {
            EXPECT_EQ(f->cParams, 1);
        }
        ::SysFreeString(fn);
        info->ReleaseFuncDesc(f);
    }
    info->ReleaseTypeAttr(attr);
    info->Release();
    lib->Release();
    EXPECT_EQ(methods, (std::set<std::wstring>{L"Log", L"DebugPrint"}));
}

TEST(ResourcesTest, VersionRecordReads7_6_0_10) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(kExe.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(::GetFileVersionInfoW(kExe.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &len));
    EXPECT_EQ(HIWORD(info->dwFileVersionMS), 7);
    EXPECT_EQ(LOWORD(info->dwFileVersionMS), 6);
    EXPECT_EQ(HIWORD(info->dwFileVersionLS), 0);
    EXPECT_EQ(LOWORD(info->dwFileVersionLS), 10);
}

}  // namespace
}  // namespace tav
