// The private filter loader against the real stand-in filter DLLs: load
// references, failures that must or must not unload a DLL, path limits and
// creations from several threads at once.
#include <gtest/gtest.h>

#define STRSAFE_NO_DEPRECATE
#include <dshow.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/ComPtr.h"
#include "base/UniqueResource.h"
#include "module/FilterLoader.h"
#include "tests/module/AllocationFault.h"
#include "transcoder/GraphInterfaces.h"

namespace {

// {0B1C5E7A-7C3D-4E55-9A41-1F2E3D4C5B6A}: served by none of the filter DLLs.
const CLSID kUnknownClass = {0x0B1C5E7A, 0x7C3D, 0x4E55, {0x9A, 0x41, 0x1F, 0x2E, 0x3D, 0x4C, 0x5B, 0x6A}};
// {5D2B0C4E-93A1-4F7E-B6D0-2A9C8E7F6B51}: an interface no filter answers.
const IID kUnknownInterface = {0x5D2B0C4E, 0x93A1, 0x4F7E, {0xB6, 0xD0, 0x2A, 0x9C, 0x8E, 0x7F, 0x6B, 0x51}};

std::wstring g_serverPath;   // Windows path of the server DLL
std::wstring g_moduleDir;    // its folder, with the trailing backslash
HMODULE g_server = nullptr;  // the server, loaded so that its folder can be named by handle

std::wstring FitterPath() { return g_moduleDir + L"KisoWaveFitterFilter.ax"; }
std::wstring DecoderPath() { return g_moduleDir + L"KisoMp4AacDecoderSubset.ax"; }

trn::CLoadedDllSet& Set() { return *trn::LoadedDllSet(); }

HMODULE Loaded(const std::wstring& path) { return ::GetModuleHandleW(path.c_str()); }

// Drops the set's reference on the DLL at path, if it holds one, so that
// each test starts with the DLL unloaded.
void Forget(const std::wstring& path) {
    const HMODULE module = Loaded(path);
    if (module && Set().Contains(module)) Set().Remove(module);
}

HRESULT CreateFilter(const std::wstring& path, REFCLSID clsid, ComPtr<IBaseFilter>& out) {
    return trn::CreateInstanceFromDll(path.c_str(), clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                      out.put_void());
}

CLSID ClassOf(IBaseFilter* filter) {
    CLSID clsid = GUID_NULL;
    filter->GetClassID(&clsid);
    return clsid;
}

class FilterLoader : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, trn::LoadedDllSet());
        Forget(FitterPath());
        Forget(DecoderPath());
        ASSERT_EQ(nullptr, Loaded(FitterPath()));
        ASSERT_EQ(nullptr, Loaded(DecoderPath()));
        m_sizeBefore = Set().Size();
    }
    void TearDown() override {
        Forget(FitterPath());
        Forget(DecoderPath());
    }
    size_t m_sizeBefore = 0;
};

TEST_F(FilterLoader, TwoCreationsFromOneDllLoadItOnce) {
    ComPtr<IBaseFilter> first, second, third;
    ASSERT_EQ(S_OK, CreateFilter(FitterPath(), trn::CLSID_KisoWaveFitter, first));
    ASSERT_EQ(S_OK, CreateFilter(FitterPath(), trn::CLSID_KisoWaveFitter, second));
    // The same DLL named as the neighbour of the server.
    ASSERT_EQ(S_OK, trn::CreateInstanceFromLocalDll(g_server, L"KisoWaveFitterFilter.ax", trn::CLSID_KisoWaveFitter,
                                                    nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, third.put_void()));
    ASSERT_TRUE(first && second && third);
    EXPECT_NE(first.get(), second.get());
    EXPECT_TRUE(IsEqualCLSID(trn::CLSID_KisoWaveFitter, ClassOf(third.get())));

    const HMODULE module = Loaded(FitterPath());
    ASSERT_NE(nullptr, module);
    EXPECT_TRUE(Set().Contains(module));
    EXPECT_EQ(m_sizeBefore + 1, Set().Size());

    // With the objects gone, the set's reference must be the only one left:
    // dropping it unloads the DLL.
    first.reset();
    second.reset();
    third.reset();
    Set().Remove(module);
    EXPECT_EQ(nullptr, Loaded(FitterPath())) << "more than one load reference was kept";
    EXPECT_EQ(m_sizeBefore, Set().Size());
}

TEST_F(FilterLoader, ARefusedCreationReturnsTheDllsStatusAndUnloadsIt) {
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, CreateFilter(FitterPath(), kUnknownClass, filter));
    EXPECT_FALSE(filter);
    EXPECT_EQ(m_sizeBefore, Set().Size());
    EXPECT_EQ(nullptr, Loaded(FitterPath()));

    // The class exists but the object refuses the interface: the class
    // object must be gone before the DLL is, which a few rounds show.
    for (int round = 0; round < 5; ++round) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, trn::CreateInstanceFromDll(DecoderPath().c_str(), trn::CLSID_KisoMp4AacDecoder,
                                                            nullptr, CLSCTX_INPROC_SERVER, kUnknownInterface, &object));
        EXPECT_EQ(nullptr, object);
        EXPECT_EQ(m_sizeBefore, Set().Size());
        EXPECT_EQ(nullptr, Loaded(DecoderPath()));
    }
}

TEST_F(FilterLoader, AFailureKeepsADllThatEarlierObjectsCameFrom) {
    ComPtr<IBaseFilter> alive;
    ASSERT_EQ(S_OK, CreateFilter(FitterPath(), trn::CLSID_KisoWaveFitter, alive));
    const HMODULE module = Loaded(FitterPath());
    ASSERT_NE(nullptr, module);

    ComPtr<IBaseFilter> refused;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, CreateFilter(FitterPath(), kUnknownClass, refused));
    EXPECT_TRUE(Set().Contains(module));
    EXPECT_EQ(module, Loaded(FitterPath()));
    EXPECT_EQ(m_sizeBefore + 1, Set().Size());

    // The earlier object still runs code of the DLL.
    EXPECT_TRUE(IsEqualCLSID(trn::CLSID_KisoWaveFitter, ClassOf(alive.get())));
    ComPtr<IEnumPins> pins;
    EXPECT_EQ(S_OK, alive->EnumPins(pins.put()));
    ComPtr<IPin> pin;
    EXPECT_EQ(S_OK, pins->Next(1, pin.put(), nullptr));

    // And the set still holds exactly one reference.
    pin.reset();
    pins.reset();
    alive.reset();
    Set().Remove(module);
    EXPECT_EQ(nullptr, Loaded(FitterPath()));
}

TEST_F(FilterLoader, FilesThatAreNoFilterDllAreEFail) {
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(E_FAIL, trn::CreateInstanceFromLocalDll(g_server, L"NoSuchFilter.ax", trn::CLSID_KisoWaveFitter, nullptr,
                                                      CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.put_void()));
    EXPECT_FALSE(filter);
    EXPECT_EQ(m_sizeBefore, Set().Size());

    // A file that is not an image at all.
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, temp));
    const std::wstring text = std::wstring(temp) + L"trn-loader-text.ax";
    {
        UniqueFileHandle file(
            ::CreateFileW(text.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.valid());
        DWORD written = 0;
        ::WriteFile(file.get(), "not a DLL", 9, &written, nullptr);
    }
    EXPECT_EQ(E_FAIL, CreateFilter(text, trn::CLSID_KisoWaveFitter, filter));
    ::DeleteFileW(text.c_str());
    EXPECT_EQ(m_sizeBefore, Set().Size());

    // A DLL without DllGetClassObject is let go again.
    wchar_t system[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetSystemDirectoryW(system, MAX_PATH));
    const std::wstring plain = std::wstring(system) + L"\\lz32.dll";
    const HMODULE before = Loaded(plain);
    EXPECT_EQ(E_FAIL, CreateFilter(plain, trn::CLSID_KisoWaveFitter, filter));
    EXPECT_EQ(m_sizeBefore, Set().Size());
    EXPECT_EQ(before, Loaded(plain));
}

TEST_F(FilterLoader, ASetThatCannotGrowFreesTheDllAndIsOutOfMemory) {
    const std::wstring path = FitterPath();
    void* object = reinterpret_cast<void*>(1);
    HRESULT hr = S_OK;
    long refused = 0;
    {
        // The DLL loads, but the set cannot take its handle.
        const alloctest::CAllocationFault fault;
        hr = trn::CreateInstanceFromDll(path.c_str(), trn::CLSID_KisoWaveFitter, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IBaseFilter, &object);
        refused = fault.Failed();
    }
    EXPECT_EQ(E_OUTOFMEMORY, hr);
    EXPECT_EQ(1, refused);
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(nullptr, Loaded(FitterPath())) << "the load reference was lost";
    EXPECT_EQ(m_sizeBefore, Set().Size());

    // With memory again, the same creation works.
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(S_OK, CreateFilter(FitterPath(), trn::CLSID_KisoWaveFitter, filter));
    EXPECT_EQ(m_sizeBefore + 1, Set().Size());
}

// A null module would name the host executable's folder: even with a filter
// there, nothing is loaded from it.
TEST_F(FilterLoader, NoModuleIsRefused) {
    wchar_t exe[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetModuleFileNameW(nullptr, exe, MAX_PATH));
    std::wstring besideExe(exe);
    besideExe = besideExe.substr(0, besideExe.rfind(L'\\') + 1) + L"KisoWaveFitterFilter.ax";
    ASSERT_TRUE(::CopyFileW(FitterPath().c_str(), besideExe.c_str(), FALSE));
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_INVALIDARG,
              trn::CreateInstanceFromLocalDll(nullptr, L"KisoWaveFitterFilter.ax", trn::CLSID_KisoWaveFitter, nullptr,
                                              CLSCTX_INPROC_SERVER, IID_IBaseFilter, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(nullptr, Loaded(besideExe));
    EXPECT_EQ(m_sizeBefore, Set().Size());
    Forget(besideExe);
    ::DeleteFileW(besideExe.c_str());
}

// A scratch folder whose path, with "KisoWaveFitterFilter.ax" appended,
// is exactly joinedChars long. It holds the wave fitter and, as the module
// that names the folder, a copy of the decoder under a short name.
class SizedFolder {
public:
    explicit SizedFolder(size_t joinedChars) {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        const size_t name = std::wcslen(L"KisoWaveFitterFilter.ax");
        m_dir = temp;
        m_dir += L"trn-loader-";
        if (m_dir.size() + 1 + name < joinedChars) m_dir.append(joinedChars - name - 1 - m_dir.size(), L'x');
        m_dir += L"\\";
        m_ok = m_dir.size() + name == joinedChars && ::CreateDirectoryW(m_dir.c_str(), nullptr) &&
               ::CopyFileW(FitterPath().c_str(), (m_dir + L"KisoWaveFitterFilter.ax").c_str(), FALSE) &&
               ::CopyFileW(DecoderPath().c_str(), (m_dir + L"m.ax").c_str(), FALSE);
        if (m_ok) m_module.reset(::LoadLibraryExW((m_dir + L"m.ax").c_str(), nullptr, 0));
    }
    ~SizedFolder() {
        m_module.reset();
        ::DeleteFileW((m_dir + L"KisoWaveFitterFilter.ax").c_str());
        ::DeleteFileW((m_dir + L"m.ax").c_str());
        ::RemoveDirectoryW(m_dir.c_str());
    }
    SizedFolder(const SizedFolder&) = delete;
    SizedFolder& operator=(const SizedFolder&) = delete;

    HMODULE module() const { return m_module.get(); }
    std::wstring fitter() const { return m_dir + L"KisoWaveFitterFilter.ax"; }

private:
    std::wstring m_dir;
    bool m_ok = false;
    UniqueHmodule m_module;
};

TEST_F(FilterLoader, JoinedPathsBeyondMaxPathAreRefused) {
    {
        // MAX_PATH - 1 characters and the terminator fit.
        const SizedFolder folder(MAX_PATH - 1);
        ASSERT_NE(nullptr, folder.module());
        ComPtr<IBaseFilter> filter;
        EXPECT_EQ(S_OK, trn::CreateInstanceFromLocalDll(folder.module(), L"KisoWaveFitterFilter.ax",
                                                        trn::CLSID_KisoWaveFitter, nullptr, CLSCTX_INPROC_SERVER,
                                                        IID_IBaseFilter, filter.put_void()));
        const HMODULE loaded = Loaded(folder.fitter());
        EXPECT_NE(nullptr, loaded);
        filter.reset();
        if (loaded) Set().Remove(loaded);
        EXPECT_EQ(nullptr, Loaded(folder.fitter()));
    }
    {
        // The file exists, but its joined path does not fit.
        const SizedFolder folder(MAX_PATH + 1);
        ASSERT_NE(nullptr, folder.module());
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_FAIL, trn::CreateInstanceFromLocalDll(folder.module(), L"KisoWaveFitterFilter.ax",
                                                          trn::CLSID_KisoWaveFitter, nullptr, CLSCTX_INPROC_SERVER,
                                                          IID_IBaseFilter, &object));
        EXPECT_EQ(nullptr, object);
        EXPECT_EQ(nullptr, Loaded(folder.fitter()));
        EXPECT_EQ(m_sizeBefore, Set().Size());
    }
    // A name far longer than any buffer.
    const std::wstring longName(4 * MAX_PATH, L'a');
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(E_FAIL, trn::CreateInstanceFromLocalDll(g_server, longName.c_str(), trn::CLSID_KisoWaveFitter, nullptr,
                                                      CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.put_void()));
    EXPECT_EQ(m_sizeBefore, Set().Size());
}

// One worker of the concurrent test: waits for the start signal, then mixes
// creations that succeed with creations that fail, from both DLLs.
struct Worker {
    HANDLE start = nullptr;
    std::vector<ComPtr<IBaseFilter>> filters;
    int unexpected = 0;
};

const int kRounds = 30;

DWORD WINAPI CreateMany(void* param) {
    Worker& worker = *static_cast<Worker*>(param);
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ::WaitForSingleObject(worker.start, INFINITE);
    for (int i = 0; i < kRounds; ++i) {
        ComPtr<IBaseFilter> filter;
        if (CreateFilter(FitterPath(), trn::CLSID_KisoWaveFitter, filter) == S_OK && filter)
            worker.filters.push_back(filter);
        else
            ++worker.unexpected;
        // The decoder mostly fails, so it is loaded and unloaded again and
        // again while other threads create from it.
        const bool valid = i % 5 == 4;
        const HRESULT hr = CreateFilter(DecoderPath(), valid ? trn::CLSID_KisoMp4AacDecoder : kUnknownClass, filter);
        if (hr != (valid ? S_OK : CLASS_E_CLASSNOTAVAILABLE)) ++worker.unexpected;
        if (valid && filter) worker.filters.push_back(filter);
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return 0;
}

TEST_F(FilterLoader, CreationsFromSeveralThreadsAreSerialised) {
    const UniqueHandle start(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(start.valid());
    const int kThreads = 8;
    std::vector<Worker> workers(kThreads);
    std::vector<UniqueHandle> threads;
    for (Worker& worker : workers) {
        worker.start = start.get();
        threads.emplace_back(::CreateThread(nullptr, 0, &CreateMany, &worker, 0, nullptr));
        ASSERT_TRUE(threads.back().valid());
    }
    ::SetEvent(start.get());
    for (const UniqueHandle& thread : threads) ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.get(), 60000));

    size_t created = 0;
    for (const Worker& worker : workers) {
        EXPECT_EQ(0, worker.unexpected);
        created += worker.filters.size();
        // Every object still runs code of its DLL.
        for (const ComPtr<IBaseFilter>& filter : worker.filters) {
            const CLSID clsid = ClassOf(filter.get());
            EXPECT_TRUE(IsEqualCLSID(clsid, trn::CLSID_KisoWaveFitter) ||
                        IsEqualCLSID(clsid, trn::CLSID_KisoMp4AacDecoder));
        }
    }
    EXPECT_EQ(size_t(kThreads * (kRounds + kRounds / 5)), created);

    const HMODULE fitter = Loaded(FitterPath());
    const HMODULE decoder = Loaded(DecoderPath());
    ASSERT_NE(nullptr, fitter);
    ASSERT_NE(nullptr, decoder);
    EXPECT_TRUE(Set().Contains(fitter));
    EXPECT_TRUE(Set().Contains(decoder));
    EXPECT_EQ(m_sizeBefore + 2, Set().Size());

    workers.clear();
    Set().Remove(fitter);
    Set().Remove(decoder);
    EXPECT_EQ(nullptr, Loaded(FitterPath())) << "the wave fitter kept more than one load reference";
    EXPECT_EQ(nullptr, Loaded(DecoderPath())) << "the decoder kept more than one load reference";
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: loader_tests SERVER_DLL\n");
        return 2;
    }
    const std::string unixPath = argv[1];
    g_serverPath = L"Z:" + std::wstring(unixPath.begin(), unixPath.end());
    for (wchar_t& c : g_serverPath)
        if (c == L'/') c = L'\\';
    g_moduleDir = g_serverPath.substr(0, g_serverPath.rfind(L'\\') + 1);
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const UniqueHmodule server(::LoadLibraryExW(g_serverPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!server) {
        std::fprintf(stderr, "cannot load the server\n");
        return 1;
    }
    g_server = server.get();
    const int result = RUN_ALL_TESTS();
    if (SUCCEEDED(com)) ::CoUninitialize();
    return result;
}
