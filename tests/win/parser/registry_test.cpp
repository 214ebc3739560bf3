// The registry path, for machines that use the filter without the program's manifest: this
// test program has no manifest, so the filter is found only while it is registered.
#include <gtest/gtest.h>

#include "graph_helpers.h"

namespace parser_test {
namespace {

using EntryPoint = HRESULT(WINAPI*)();

constexpr wchar_t kServerKey[] = L"CLSID\\{13CEBFE0-256B-44BA-A27B-9F85CBDB972D}\\InprocServer32";

std::wstring ModuleBesideExe() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring result = path;
    return result.substr(0, result.find_last_of(L'\\') + 1) + L"mp3parser.ax";
}

bool ReadServerValue(const wchar_t* name, std::wstring& value) {
    wchar_t buffer[MAX_PATH] = {};
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, kServerKey, name, RRF_RT_REG_SZ, nullptr, buffer, &bytes) != ERROR_SUCCESS)
        return false;
    value = buffer;
    return true;
}

HRESULT CreateParser(IBaseFilter** filter) {
    return CoCreateInstance(kParserClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                            reinterpret_cast<void**>(filter));
}

TEST(ParserRegistration, RegisterServesCoCreateInstanceAndUnregisterRemovesIt) {
    HMODULE module = LoadLibraryW(ModuleBesideExe().c_str());
    ASSERT_NE(nullptr, module);
    auto registerServer =
        reinterpret_cast<EntryPoint>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DllRegisterServer")));
    auto unregisterServer =
        reinterpret_cast<EntryPoint>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DllUnregisterServer")));
    ASSERT_NE(nullptr, registerServer);
    ASSERT_NE(nullptr, unregisterServer);

    // Start from a machine without the entry (a failed earlier run may have left one).
    ASSERT_EQ(S_OK, unregisterServer());
    IBaseFilter* filter = nullptr;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateParser(&filter));

    ASSERT_EQ(S_OK, registerServer());
    std::wstring server, threading;
    ASSERT_TRUE(ReadServerValue(nullptr, server));
    EXPECT_EQ(0, lstrcmpiW(ModuleBesideExe().c_str(), server.c_str()));
    ASSERT_TRUE(ReadServerValue(L"ThreadingModel", threading));
    EXPECT_EQ(L"Both", threading);

    ASSERT_EQ(S_OK, CreateParser(&filter));
    filter->Release();
    {
        // The registered filter works in a real graph as it does through the manifest.
        mp3::FrameIndex index;
        ASSERT_TRUE(IndexFixture("mpeg2.mp3", index));
        TestGraph graph;
        ASSERT_EQ(S_OK, graph.Build(WinePath(FixturePath("mpeg2.mp3"))));
        LONGLONG duration = 0;
        EXPECT_EQ(S_OK, graph.seeking->GetDuration(&duration));
        EXPECT_LE(std::llabs(duration - index.DurationUnits()), FrameUnits(index));
    }

    EXPECT_EQ(S_OK, unregisterServer());
    EXPECT_FALSE(ReadServerValue(nullptr, server));
    filter = nullptr;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateParser(&filter));
    if (filter) filter->Release();
    // Unregistering what is not registered is not an error.
    EXPECT_EQ(S_OK, unregisterServer());
    FreeLibrary(module);
}

}  // namespace
}  // namespace parser_test
