// The test prefix provides the platform pieces the decoding graph will use:
// the graph manager, the asynchronous file source and the DirectSound
// renderer (which needs a default sound device even on a headless machine).
#include <gtest/gtest.h>

#include <dshow.h>

#include "base/ComPtr.h"

namespace {

TEST(Platform, DirectShowPiecesCanBeCreated) {
    const struct {
        const CLSID* clsid;
        const char* name;
    } classes[] = {{&CLSID_FilterGraph, "filter graph manager"},
                   {&CLSID_AsyncReader, "asynchronous file source"},
                   {&CLSID_DSoundRender, "DirectSound renderer"}};
    for (const auto& c : classes) {
        ComPtr<IBaseFilter> filter;
        ComPtr<IUnknown> unknown;
        const HRESULT hr =
            ::CoCreateInstance(*c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, unknown.put_void());
        EXPECT_EQ(S_OK, hr) << c.name;
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
