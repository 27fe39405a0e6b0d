#include "tests/resources/StreamSupport.h"

#include <cstdio>
#include <cstring>

using namespace hosttest;

namespace streamtest {
namespace {

typedef HRESULT(STDAPICALLTYPE* CanUnloadNowFn)();

const int kMaxReads = 100000;

struct Box {
    char type[5];
    size_t at;
    size_t size;
};

// The top-level boxes, in file order; empty when a size is impossible.
std::vector<Box> TopLevelBoxes(const Bytes& file) {
    std::vector<Box> boxes;
    for (size_t at = 0; at + 8 <= file.size();) {
        Box box = {};
        std::memcpy(box.type, &file[at + 4], 4);
        box.at = at;
        box.size = ReadBe32(file, at);
        if (box.size < 8 || box.size > file.size() - at) return std::vector<Box>();
        boxes.push_back(box);
        at += box.size;
    }
    return boxes;
}

}  // namespace

ComPtr<ITrnMediaTranscoder> CreateTranscoder() {
    ComPtr<ITrnMediaTranscoder> transcoder;
    ::CoCreateInstance(CLSID_M4aConverter, nullptr, CLSCTX_INPROC_SERVER, IID_ITrnMediaTranscoder,
                       transcoder.put_void());
    return transcoder;
}

HRESULT Open(ITrnMediaTranscoder* transcoder, const std::wstring& path, const FormatFacts& target) {
    const SourceVariant source(path);
    const ComPtr<IMediaFormat> format = MakeFormat(target);
    return transcoder->Open(source.get(), format.get());
}

Stream ReadStream(ITrnMediaTranscoder* transcoder, ULONG block, size_t limit) {
    Stream stream;
    while (stream.bytes.size() < limit) {
        if (++stream.reads > kMaxReads) {
            stream.hr = E_UNEXPECTED;
            break;
        }
        SAFEARRAY* array = nullptr;
        VARIANT_BOOL end = 0;
        stream.hr = transcoder->Read(block, &array, &end);
        if (FAILED(stream.hr)) break;
        const UniqueSafeArray owner(array);
        if (!array || ::SafeArrayGetDim(array) != 1 || array->rgsabound[0].cElements > block) {
            stream.hr = E_UNEXPECTED;
            break;
        }
        const unsigned char* data = static_cast<const unsigned char*>(array->pvData);
        stream.bytes.insert(stream.bytes.end(), data, data + array->rgsabound[0].cElements);
        if (end == VARIANT_TRUE) {
            stream.ended = true;
            break;
        }
        if (end != 0) {
            stream.hr = E_UNEXPECTED;  // neither flag value
            break;
        }
    }
    return stream;
}

Stream TranscodeFile(const std::wstring& path, const FormatFacts& target, ULONG block) {
    Stream stream;
    const ComPtr<ITrnMediaTranscoder> transcoder = CreateTranscoder();
    if (!transcoder) {
        stream.hr = REGDB_E_CLASSNOTREG;
        return stream;
    }
    if (FAILED(stream.hr = Open(transcoder.get(), path, target))) return stream;
    if (FAILED(stream.hr = transcoder->Start())) return stream;
    stream = ReadStream(transcoder.get(), block);
    const HRESULT closed = transcoder->Close();
    if (SUCCEEDED(stream.hr)) stream.hr = closed;
    return stream;
}

Bytes FileBytes(const std::wstring& path) {
    Bytes bytes;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return bytes;
    unsigned char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes;
}

HRESULT CanUnloadNow(const std::wstring& modulePath) {
    const HMODULE module = ::GetModuleHandleW(modulePath.c_str());
    if (!module) return E_UNEXPECTED;
    const CanUnloadNowFn canUnload =
        reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")));
    return canUnload ? canUnload() : E_UNEXPECTED;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\') + 1); }

ScratchFile::ScratchFile(const Bytes& bytes, const wchar_t* extension) {
    wchar_t folder[MAX_PATH];
    wchar_t name[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    ::GetTempFileNameW(folder, L"trn", 0, name);
    ::DeleteFileW(name);
    m_path = std::wstring(name) + extension;
    FILE* file = _wfopen(m_path.c_str(), L"wb");
    if (!file) return;
    m_ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    m_ok = std::fclose(file) == 0 && m_ok;
}

bool ScratchFile::Truncate(size_t bytes) const {
    const UniqueFileHandle file(::CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    LONG high = 0;
    if (::SetFilePointer(file.get(), static_cast<LONG>(bytes), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        ::GetLastError() != NO_ERROR)
        return false;
    return ::SetEndOfFile(file.get()) != FALSE;
}

Bytes MoovFirst(const Bytes& file) {
    const std::vector<Box> boxes = TopLevelBoxes(file);
    if (boxes.size() != 4 || std::strcmp(boxes[0].type, "ftyp") != 0 || std::strcmp(boxes[1].type, "free") != 0 ||
        std::strcmp(boxes[2].type, "mdat") != 0 || std::strcmp(boxes[3].type, "moov") != 0)
        return Bytes();
    const Box& mdat = boxes[2];
    const Box& moov = boxes[3];
    Bytes moved(file.begin(), file.begin() + mdat.at);
    moved.insert(moved.end(), file.begin() + moov.at, file.begin() + moov.at + moov.size);
    moved.insert(moved.end(), file.begin() + mdat.at, file.begin() + mdat.at + mdat.size);
    // mdat moved on by the size of the moov box; so did every chunk in it.
    for (size_t field : ChunkOffsetFields(moved)) WriteBe32(moved, field, ReadBe32(moved, field) + moov.size);
    return moved;
}

std::vector<size_t> ChunkOffsetFields(const Bytes& file) {
    std::vector<size_t> fields;
    const size_t stco = FindBox(file, "stco");
    if (stco == std::string::npos || stco + 16 > file.size()) return fields;
    const uint32_t count = ReadBe32(file, stco + 12);
    for (uint32_t i = 0; i < count && stco + 16 + 4 * (i + 1) <= file.size(); ++i) fields.push_back(stco + 16 + 4 * i);
    return fields;
}

}  // namespace streamtest
