#include "Output.h"

#include <cstdio>

#include "Errors.h"
#include "Media.h"
#include "tools/common/Utf8.h"

namespace trnhost {

using trntools::Utf8;

namespace {

void WriteAll(HANDLE handle, const void* data, size_t count) {
    const char* p = static_cast<const char*>(data);
    while (count) {
        const DWORD chunk = count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!::WriteFile(handle, p, chunk, &written, nullptr) || written == 0) {
            const DWORD error = ::GetLastError();
            throw HostError(FailureKind::Failure, HRESULT_FROM_WIN32(error ? error : ERROR_WRITE_FAULT),
                            L"writing the output");
        }
        p += written;
        count -= written;
    }
}

void PrintTo(DWORD which, const std::string& utf8) {
    const HANDLE handle = ::GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || utf8.empty()) return;
    DWORD written = 0;
    // Text lost on a closed stream is not worth a failure of its own.
    ::WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace

void PrintOut(const std::string& utf8) { PrintTo(STD_OUTPUT_HANDLE, utf8); }
void PrintOut(const std::wstring& text) { PrintTo(STD_OUTPUT_HANDLE, Utf8(text)); }
void PrintErr(const std::wstring& text) { PrintTo(STD_ERROR_HANDLE, Utf8(text)); }

bool IsTerminal(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    if (::GetConsoleMode(handle, &mode)) return true;
    // Wine hands a Unix terminal over as a character device, not a console.
    if (::GetFileType(handle) == FILE_TYPE_CHAR) return true;
    // The scripts/trnhost wrapper pipes standard error through a filter and
    // says so when the pipe ends on a terminal.
    wchar_t flag[2] = {};
    return handle == ::GetStdHandle(STD_ERROR_HANDLE) &&
           ::GetEnvironmentVariableW(L"TRN_STDERR_TERMINAL", flag, 2) == 1 && flag[0] == L'1';
}

OutputFile::OutputFile(const std::wstring& path)
    : m_path(path), m_handle(INVALID_HANDLE_VALUE), m_stdout(path == L"-") {
    if (m_stdout) {
        m_handle = ::GetStdHandle(STD_OUTPUT_HANDLE);
        if (m_handle == nullptr || m_handle == INVALID_HANDLE_VALUE)
            throw HostError(FailureKind::Failure, E_HANDLE, L"standard output");
        return;
    }
    m_owned.reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_owned) {
        const DWORD error = ::GetLastError();
        throw HostError(FailureKind::Failure, HRESULT_FROM_WIN32(error), L"creating " + path);
    }
    m_handle = m_owned.get();
}

OutputFile::~OutputFile() {
    if (m_stdout || m_keep) return;
    // Half a stream must not pass for a whole one.
    m_owned.reset();
    ::DeleteFileW(m_path.c_str());
}

void OutputFile::Write(const uint8_t* data, size_t count) { WriteAll(m_handle, data, count); }

bool OutputFile::RewriteStart(const std::vector<uint8_t>& bytes) {
    if (m_stdout || ::GetFileType(m_handle) != FILE_TYPE_DISK) return false;
    LARGE_INTEGER zero = {}, end = {}, here = {};
    if (!::SetFilePointerEx(m_handle, zero, &end, FILE_CURRENT)) return false;
    if (!::SetFilePointerEx(m_handle, zero, &here, FILE_BEGIN)) return false;
    WriteAll(m_handle, bytes.data(), bytes.size());
    return ::SetFilePointerEx(m_handle, end, nullptr, FILE_BEGIN) != 0;
}

void OutputFile::Keep() { m_keep = true; }

WavSink::WavSink(OutputFile& file, uint32_t rate, uint16_t channels)
    : m_file(file), m_rate(rate), m_channels(channels) {
    // Until the end is known the header claims the largest size, which is
    // also what a reader of a pipe gets.
    const std::vector<uint8_t> header = WavHeader(m_rate, m_channels, 16, ~0ull);
    m_file.Write(header.data(), header.size());
}

void WavSink::Write(uint8_t* data, size_t count) {
    SwapPairs(data, count);
    m_file.Write(data, count);
    m_bytes += count;
}

void WavSink::Finish() {
    m_file.RewriteStart(WavHeader(m_rate, m_channels, 16, m_bytes));
    m_file.Keep();
}

ProgressLine::ProgressLine(bool enabled) : m_enabled(enabled), m_started(::GetTickCount64()) {}

bool ProgressLine::Due(bool final) {
    if (!m_enabled) return false;
    const ULONGLONG now = ::GetTickCount64();
    if (!final && now - m_last < 250) return false;
    m_last = now;
    return true;
}

void ProgressLine::Show(const std::wstring& text, bool final) {
    std::wstring line = L"\r" + text;
    // Blank out what a longer previous line left behind.
    if (text.size() < m_width) line.append(m_width - text.size(), L' ');
    m_width = text.size();
    if (final) line += L"\n";
    PrintErr(line);
}

void ProgressLine::Update(uint64_t bytes, int64_t positionMs, int64_t totalMs, bool final) {
    if (!Due(final)) return;
    const double seconds = (::GetTickCount64() - m_started) / 1000.0;
    wchar_t text[160];
    const std::string atText = ClockText(positionMs);
    const std::string totalText = totalMs > 0 ? ClockText(totalMs) : std::string("?");
    const std::wstring at(atText.begin(), atText.end()), total(totalText.begin(), totalText.end());
    const double speed = seconds > 0 ? positionMs / 1000.0 / seconds : 0;
    std::swprintf(text, 160, L"%12llu bytes  %ls / %ls  %.1fx", static_cast<unsigned long long>(bytes), at.c_str(),
                  total.c_str(), speed);
    Show(text, final);
}

void ProgressLine::UpdateBytes(uint64_t bytes, int64_t totalBytes, bool final) {
    if (!Due(final)) return;
    const double seconds = (::GetTickCount64() - m_started) / 1000.0;
    const double percent = totalBytes > 0 ? 100.0 * bytes / totalBytes : 0;
    const double rate = seconds > 0 ? bytes / seconds / 1e6 : 0;
    wchar_t text[160];
    std::swprintf(text, 160, L"%12llu of %lld bytes  %5.1f%%  %.1f MB/s", static_cast<unsigned long long>(bytes),
                  static_cast<long long>(totalBytes), percent, rate);
    Show(text, final);
}

}  // namespace trnhost
