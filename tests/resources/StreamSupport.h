// Streaming a transcoder as a host does, for the fault, load and stability
// tests: whole streams, partial reads, the modules' unload answers, and
// rearranged copies of the samples.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "tests/host/HostSupport.h"

namespace streamtest {

typedef std::vector<unsigned char> Bytes;

ComPtr<ITrnMediaTranscoder> CreateTranscoder();
HRESULT Open(ITrnMediaTranscoder* transcoder, const std::wstring& path, const hosttest::FormatFacts& target);

// What a run of Reads gave: the first failure (S_OK if none), the bytes,
// whether the end of the stream was seen and how many Reads were made.
struct Stream {
    HRESULT hr = S_OK;
    Bytes bytes;
    bool ended = false;
    int reads = 0;
};
// Reads blocks until the end of the stream, a failure, or at least limit
// bytes; a stream that never ends fails with E_UNEXPECTED after many Reads.
Stream ReadStream(ITrnMediaTranscoder* transcoder, ULONG block = 65536, size_t limit = static_cast<size_t>(-1));
// A fresh transcoder, opened, started, read to the end and closed; hr is
// the first failing step's.
Stream TranscodeFile(const std::wstring& path, const hosttest::FormatFacts& target, ULONG block = 65536);

Bytes FileBytes(const std::wstring& path);

// DllCanUnloadNow of a loaded module, found by its path; E_UNEXPECTED when
// it is not loaded.
HRESULT CanUnloadNow(const std::wstring& modulePath);
std::wstring FolderOf(const std::wstring& path);

// Sets an environment variable for one scope and clears it afterwards.
class EnvironmentScope {
public:
    EnvironmentScope(const wchar_t* name, const wchar_t* value) : m_name(name) {
        ::SetEnvironmentVariableW(name, value);
    }
    ~EnvironmentScope() { ::SetEnvironmentVariableW(m_name, nullptr); }
    EnvironmentScope(const EnvironmentScope&) = delete;
    EnvironmentScope& operator=(const EnvironmentScope&) = delete;

private:
    const wchar_t* m_name;
};

// A file written for one scope in the temporary folder, deleted afterwards.
class ScratchFile {
public:
    ScratchFile(const Bytes& bytes, const wchar_t* extension);
    ~ScratchFile() { ::DeleteFileW(m_path.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const std::wstring& path() const { return m_path; }
    bool ok() const { return m_ok; }
    // Cuts the file to its first bytes, as a copy that stopped short would.
    bool Truncate(size_t bytes) const;

private:
    std::wstring m_path;
    bool m_ok = false;
};

// The file with its moov box moved before mdat and the chunk offsets
// shifted to match, as a streaming-friendly muxer writes it; empty when
// the layout is not ftyp, free, mdat, moov.
Bytes MoovFirst(const Bytes& file);
// Offsets of the entries of the first stco box (the one track's chunks).
std::vector<size_t> ChunkOffsetFields(const Bytes& file);

}  // namespace streamtest
