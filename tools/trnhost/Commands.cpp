#include "Commands.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>

#include "Errors.h"
#include "Media.h"
#include "Output.h"
#include "Server.h"
#include "base/UniqueResource.h"

namespace trnhost {
namespace {

const char* Flag(VARIANT_BOOL value) {
    if (value == VARIANT_TRUE) return "true";
    if (value == VARIANT_FALSE) return "false";
    return "other";
}

std::wstring WideFlag(VARIANT_BOOL value) {
    const std::string text = Flag(value);
    return std::wstring(text.begin(), text.end());
}

std::wstring Padded(const std::wstring& text, size_t width) {
    return text.size() >= width ? text + L" " : text + std::wstring(width - text.size(), L' ');
}

std::string FormatJson(size_t index, const OfferedFormat& f) {
    return "{\"index\":" + std::to_string(index) + ",\"name\":" + JsonString(f.ShortName()) +
           ",\"profile\":" + JsonString(f.profile) + ",\"mimeType\":" + JsonString(f.mimeType) +
           ",\"timeSeekable\":" + Flag(f.timeSeekable) + ",\"converted\":" + Flag(f.converted) +
           ",\"byteSeekable\":" + Flag(f.byteSeekable);
}

std::string PropertiesJson(const PropertyList& properties) {
    std::string out = "{";
    for (size_t i = 0; i < properties.size(); ++i)
        out += (i ? "," : "") + JsonString(properties[i].first) + ":" + JsonString(properties[i].second);
    return out + "}";
}

std::string ErrorJson(const HostError& error) {
    return "\"hr\":" + JsonString(HresultHex(error.hr())) + ",\"message\":" + JsonString(HresultText(error.hr())) +
           ",\"exit\":" + std::to_string(static_cast<int>(error.kind()));
}

std::wstring PropertiesText(const PropertyList& properties) {
    std::wstring out;
    for (const auto& p : properties) out += L" " + p.first + L"=" + p.second;
    return out;
}

// Remembers the first failure's kind while a command goes on with others.
struct Outcome {
    int code = 0;
    void Fail(const HostError& error) {
        PrintErr(FailureLine(error) + L"\n");
        if (!code) code = static_cast<int>(error.kind());
    }
};

void RejectBadFormatName(const std::wstring& operand) {
    FormatChoice choice;
    if (!ParseFormatChoice(operand, choice)) {
        HostError error(FailureKind::BadFormat, E_INVALIDARG, L"bad format name \"" + operand + L"\"");
        error.hint = L"use lpcm44, lpcm48, mp4, 3gpp or an index";
        throw error;
    }
}

bool HasMp4AudioExtension(const std::wstring& path) {
    if (path.size() < 4) return false;
    const std::wstring tail = path.substr(path.size() - 4);
    for (const wchar_t* ext : {L".mp4", L".m4a", L".m4b", L".3gp"})
        if (::_wcsicmp(tail.c_str(), ext) == 0) return true;
    return false;
}

}  // namespace

void ListFiles(const std::wstring& folder, std::vector<std::wstring>& out) {
    WIN32_FIND_DATAW data;
    const HANDLE raw = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                          nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (raw == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return;
        throw HostError(KindOf(HRESULT_FROM_WIN32(error)), HRESULT_FROM_WIN32(error), L"listing " + folder);
    }
    struct FindCloser {
        void operator()(HANDLE h) const { ::FindClose(h); }
    };
    const UniqueResource<HANDLE, FindCloser, trn_detail::InvalidFileHandle> find(raw);
    std::vector<std::wstring> files, folders;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // Links to folders could loop; a library scan follows none.
        if (isFolder && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        (isFolder ? folders : files).push_back(folder + L"\\" + name);
    } while (::FindNextFileW(find.get(), &data));
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    out.insert(out.end(), files.begin(), files.end());
    for (const std::wstring& sub : folders) ListFiles(sub, out);
}

std::wstring StripTrailingSlashes(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

int RunFormats(const Arguments& args) {
    const ComApartment apartment;
    Server server(args.progid);
    Outcome outcome;
    for (const std::wstring& path : args.operands) {
        try {
            const std::vector<OfferedFormat> offered = server.FormatsFor(path);
            if (offered.empty()) throw NothingOffered(server, path);
            if (args.json) {
                std::string line = "{\"file\":" + JsonString(path) + ",\"formats\":[";
                for (size_t i = 0; i < offered.size(); ++i) line += (i ? "," : "") + FormatJson(i, offered[i]) + "}";
                PrintOut(line + "]}\n");
                continue;
            }
            std::wstring text = path + L"\n  #  name    profile  " + Padded(L"MIME type", 33) +
                                L"TimeSeekable  Converted  ByteSeekable\n";
            for (size_t i = 0; i < offered.size(); ++i) {
                const OfferedFormat& f = offered[i];
                text += L"  " + Padded(std::to_wstring(i), 3) +
                        Padded(f.ShortName().empty() ? L"-" : f.ShortName(), 8) +
                        Padded(f.profile.empty() ? L"-" : f.profile, 9) + Padded(f.mimeType, 33) +
                        Padded(WideFlag(f.timeSeekable), 14) + Padded(WideFlag(f.converted), 11) +
                        WideFlag(f.byteSeekable) + L"\n";
            }
            PrintOut(text);
        } catch (const HostError& error) {
            if (args.json) PrintOut("{\"file\":" + JsonString(path) + "," + ErrorJson(error) + "}\n");
            outcome.Fail(error);
        }
    }
    return outcome.code;
}

int RunProps(const Arguments& args) {
    const std::wstring& path = args.operands[0];
    RejectBadFormatName(args.operands[1]);
    const ComApartment apartment;
    Server server(args.progid);
    const std::vector<OfferedFormat> offered = server.FormatsFor(path);
    const OfferedFormat& format = ChooseFormat(server, path, offered, args.operands[1]);
    const PropertyList properties = server.PropertiesFor(path, format);
    if (args.json) {
        PrintOut("{\"file\":" + JsonString(path) + ",\"format\":" + JsonString(format.ShortName()) + ",\"mimeType\":" +
                 JsonString(format.mimeType) + ",\"properties\":" + PropertiesJson(properties) + "}\n");
        return 0;
    }
    std::wstring text;
    for (const auto& p : properties) text += Padded(p.first, 17) + p.second + L"\n";
    PrintOut(text);
    return 0;
}

namespace {

// What the library scan learns of one file.
struct ScanResult {
    std::vector<OfferedFormat> offered;
    std::vector<PropertyList> properties;
    std::wstring reason;  // empty unless refused
    HRESULT failure = S_OK;
};

ScanResult ScanOne(Server& server, const std::wstring& path) {
    ScanResult r;
    HRESULT hr = server.TryFormatsFor(path, r.offered);
    if (FAILED(hr)) {
        r.failure = hr;
        r.reason = L"GetFormatsForSource " + HresultHex(hr) + L" " + HresultText(hr);
    } else if (r.offered.empty()) {
        r.reason = L"no format offered";
    } else {
        for (const OfferedFormat& f : r.offered) {
            r.properties.emplace_back();
            hr = server.TryPropertiesFor(path, f, r.properties.back());
            if (FAILED(hr)) {
                r.failure = hr;
                r.reason = L"GetProperties " + HresultHex(hr) + L" " + HresultText(hr);
                break;
            }
        }
    }
    // Host objects are not needed once read.
    for (OfferedFormat& f : r.offered) f.object.reset();
    return r;
}

// Files are handed out one at a time to workers, each with its own info
// object (one object serialises its calls); results are printed in order.
class ScanQueue {
public:
    ScanQueue(const std::vector<std::wstring>& files, bool progid)
        : m_files(files), m_results(files.size()), m_done(files.size(), false), m_progid(progid) {
        ::InitializeConditionVariable(&m_changed);
    }
    ScanQueue(const ScanQueue&) = delete;
    ScanQueue& operator=(const ScanQueue&) = delete;

    static DWORD WINAPI Worker(void* context) {
        static_cast<ScanQueue*>(context)->Work();
        return 0;
    }

    // Waits for result i; false when a worker failed before it (see error()).
    bool Wait(size_t i) {
        CriticalSectionGuard guard(m_lock.Get());
        while (!m_done[i] && !m_failed) ::SleepConditionVariableCS(&m_changed, &m_lock.Get(), INFINITE);
        return m_done[i];
    }
    ScanResult& result(size_t i) { return m_results[i]; }
    const HostError* error() const { return m_error.get(); }

private:
    void Work() {
        try {
            const ComApartment apartment;
            Server server(m_progid);
            for (;;) {
                size_t i;
                {
                    CriticalSectionGuard guard(m_lock.Get());
                    if (m_next >= m_files.size() || m_failed) return;
                    i = m_next++;
                }
                ScanResult r = ScanOne(server, m_files[i]);
                CriticalSectionGuard guard(m_lock.Get());
                m_results[i] = std::move(r);
                m_done[i] = true;
                ::WakeAllConditionVariable(&m_changed);
            }
        } catch (const HostError& error) {
            Fail(new HostError(error));
        } catch (...) {
            Fail(new HostError(FailureKind::Failure, E_OUTOFMEMORY, L"scan worker"));
        }
    }
    void Fail(HostError* error) {
        CriticalSectionGuard guard(m_lock.Get());
        if (!m_error)
            m_error.reset(error);
        else
            delete error;
        m_failed = true;
        ::WakeAllConditionVariable(&m_changed);
    }

    const std::vector<std::wstring>& m_files;
    std::vector<ScanResult> m_results;
    std::vector<bool> m_done;
    bool m_progid;
    CriticalSection m_lock;
    CONDITION_VARIABLE m_changed;
    size_t m_next = 0;
    bool m_failed = false;
    std::unique_ptr<HostError> m_error;
};

unsigned DefaultJobs() {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    const unsigned n = info.dwNumberOfProcessors;
    return n < 1 ? 1 : n > 8 ? 8 : n;
}

}  // namespace

int RunScan(const Arguments& args) {
    const std::wstring folder = StripTrailingSlashes(args.operands[0]);
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
        throw HostError(KindOf(hr) == FailureKind::MissingFile ? FailureKind::MissingFile : FailureKind::Failure, hr,
                        folder);
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw HostError(FailureKind::Usage, HRESULT_FROM_WIN32(ERROR_DIRECTORY), folder);

    const ComApartment apartment;
    {
        // Fails early, with its own message, when the server is not registered.
        Server probe(args.progid);
    }
    LARGE_INTEGER frequency, started, ended;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&started);
    std::vector<std::wstring> found;
    ListFiles(folder, found);
    // As a media server does, only the MP4 audio extensions are considered;
    // the rest of the folder is counted in the summary.
    std::vector<std::wstring> files;
    for (std::wstring& path : found)
        if (HasMp4AudioExtension(path)) files.push_back(std::move(path));
    const size_t others = found.size() - files.size();
    found.clear();

    ScanQueue queue(files, args.progid);
    const unsigned jobs = args.jobs ? args.jobs : DefaultJobs();
    std::vector<UniqueHandle> workers;
    for (unsigned j = 0; j < jobs && j < files.size(); ++j) {
        UniqueHandle thread(::CreateThread(nullptr, 0, &ScanQueue::Worker, &queue, 0, nullptr));
        if (!thread) {
            if (workers.empty()) Check(HRESULT_FROM_WIN32(::GetLastError()), L"CreateThread");
            break;
        }
        workers.push_back(std::move(thread));
    }
    struct Joiner {
        std::vector<UniqueHandle>& threads;
        ~Joiner() {
            for (const UniqueHandle& t : threads) ::WaitForSingleObject(t.get(), INFINITE);
        }
    } joiner{workers};

    size_t supported = 0, nativeOnly = 0, refused = 0;
    std::map<std::wstring, size_t> reasons;
    for (size_t n = 0; n < files.size(); ++n) {
        if (!queue.Wait(n)) throw *queue.error();
        const std::wstring& path = files[n];
        ScanResult& r = queue.result(n);
        const bool lpcm = r.reason.empty() && std::any_of(r.offered.begin(), r.offered.end(),
                                                          [](const OfferedFormat& f) { return f.profile == L"LPCM"; });
        const char* status = !r.reason.empty() ? "refused" : lpcm ? "supported" : "native-only";
        if (!r.reason.empty()) {
            ++refused;
            ++reasons[r.reason];
        } else if (lpcm) {
            ++supported;
        } else {
            ++nativeOnly;
        }
        if (args.json) {
            std::string line = "{\"file\":" + JsonString(path) + ",\"status\":\"" + status + "\"";
            if (!r.reason.empty()) {
                line += ",\"reason\":" + JsonString(r.reason);
                if (FAILED(r.failure))
                    line += ",\"hr\":" + JsonString(HresultHex(r.failure)) +
                            ",\"message\":" + JsonString(HresultText(r.failure));
            } else {
                line += ",\"formats\":[";
                for (size_t i = 0; i < r.offered.size(); ++i)
                    line += (i ? "," : "") + FormatJson(i, r.offered[i]) +
                            ",\"properties\":" + PropertiesJson(r.properties[i]) + "}";
                line += "]";
            }
            PrintOut(line + "}\n");
        } else {
            std::wstring text = path + L"\n";
            if (!r.reason.empty()) {
                text += L"  refused: " + r.reason + L"\n";
            } else {
                for (size_t i = 0; i < r.offered.size(); ++i)
                    text +=
                        L"  " +
                        Padded(r.offered[i].ShortName().empty() ? r.offered[i].mimeType : r.offered[i].ShortName(), 7) +
                        PropertiesText(r.properties[i]) + L"\n";
            }
            PrintOut(text);
        }
        r = ScanResult();
    }
    ::QueryPerformanceCounter(&ended);
    const double seconds = double(ended.QuadPart - started.QuadPart) / double(frequency.QuadPart);
    const double rate = seconds > 0 ? files.size() / seconds : 0;

    size_t width = 28;
    for (const auto& r : reasons) width = std::max(width, r.first.size() + 3);
    std::wstring table = L"\nsummary of " + folder + L"\n";
    const auto row = [&](const std::wstring& label, size_t count) {
        const std::wstring number = std::to_wstring(count);
        table += L"  " + Padded(label, width) + std::wstring(number.size() < 6 ? 6 - number.size() : 0, L' ') + number +
                 L"\n";
    };
    row(L"files", files.size());
    row(L"supported (LPCM offered)", supported);
    row(L"native only", nativeOnly);
    row(L"refused", refused);
    for (const auto& r : reasons) row(L"  " + r.first, r.second);
    row(L"other files, not considered", others);
    wchar_t line[200];
    std::swprintf(line, 200, L"  %u files in %.3f s: %.1f files/s (%u workers)\n", static_cast<unsigned>(files.size()),
                  seconds, rate, jobs);
    table += line;
    // Standard output carries only the JSON lines in --json mode.
    if (args.json)
        PrintErr(table);
    else
        PrintOut(table);
    return 0;
}

int RunStream(const Arguments& args) {
    const std::wstring& path = args.operands[0];
    RejectBadFormatName(args.operands[1]);
    const ComApartment apartment;
    Server server(args.progid);
    const std::vector<OfferedFormat> offered = server.FormatsFor(path);
    const OfferedFormat& format = ChooseFormat(server, path, offered, args.operands[1]);
    const bool lpcm = format.profile == L"LPCM";
    const std::wstring name = format.ShortName().empty() ? format.mimeType : format.ShortName();
    if (args.wav && !lpcm) {
        HostError error(FailureKind::BadFormat, E_INVALIDARG, L"--wav with " + name);
        error.hint = L"WAV holds decoded PCM: choose lpcm44 or lpcm48";
        throw error;
    }
    const PcmFacts pcm = ParsePcmMime(format.mimeType);

    const ComPtr<ITrnMediaTranscoder> transcoder = server.CreateTranscoder();
    {
        const PathVariant source(path);
        Check(transcoder->Open(source.get(), format.object.get()), L"Open(" + path + L", " + format.mimeType + L")");
    }
    int64_t startMs = 0;
    if (args.startMs >= 0) {
        LONG actual = 0;
        LONGLONG bytePosition = 0;
        const HRESULT hr = transcoder->SetTimePosition(static_cast<LONG>(args.startMs), &actual, &bytePosition);
        if (FAILED(hr)) {
            try {
                ThrowCall(hr, L"SetTimePosition(" + std::to_wstring(args.startMs) + L")");
            } catch (HostError& error) {
                if (format.timeSeekable != VARIANT_TRUE) error.hint = name + L" is not time-seekable; use --start-byte";
                throw;
            }
        }
        startMs = actual;
    }
    if (args.startByte >= 0) {
        const HRESULT hr = transcoder->SetBytePosition(args.startByte);
        if (FAILED(hr)) {
            try {
                ThrowCall(hr, L"SetBytePosition(" + std::to_wstring(args.startByte) + L")");
            } catch (HostError& error) {
                if (format.byteSeekable != VARIANT_TRUE) error.hint = name + L" is not byte-seekable; use --start-ms";
                throw;
            }
        }
    }
    LONG durationMs = -1;
    LONGLONG length = -1;
    Check(transcoder->GetDuration(&durationMs), L"GetDuration");
    Check(transcoder->GetLength(&length), L"GetLength");

    OutputFile output(args.output);
    std::unique_ptr<ByteSink> sink;
    if (args.wav)
        sink.reset(new WavSink(output, pcm.rate, static_cast<uint16_t>(pcm.channels)));
    else
        sink.reset(new RawSink(output));
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    ProgressLine progress(!args.quiet && IsTerminal(err));

    Check(transcoder->Start(), L"Start");
    uint64_t total = 0;
    unsigned idleReads = 0;
    for (;;) {
        SAFEARRAY* raw = nullptr;
        VARIANT_BOOL end = 0;
        const HRESULT hr = transcoder->Read(args.block, &raw, &end);
        const UniqueSafeArray data(raw);
        if (FAILED(hr)) {
            transcoder->Stop();
            ThrowCall(hr, L"Read after " + std::to_wstring(total) + L" bytes");
        }
        size_t count = 0;
        if (data.get()) {
            if (::SafeArrayGetDim(data.get()) != 1 || ::SafeArrayGetElemsize(data.get()) != 1) {
                transcoder->Stop();
                throw HostError(FailureKind::Failure, E_UNEXPECTED, L"Read returned an array that is not of bytes");
            }
            count = data.get()->rgsabound[0].cElements;
        }
        if (count) {
            void* bytes = nullptr;
            Check(::SafeArrayAccessData(data.get(), &bytes), L"SafeArrayAccessData");
            try {
                sink->Write(static_cast<uint8_t*>(bytes), count);
            } catch (...) {
                ::SafeArrayUnaccessData(data.get());
                transcoder->Stop();
                throw;
            }
            ::SafeArrayUnaccessData(data.get());
            total += count;
            idleReads = 0;
        } else if (!end && ++idleReads > 60000) {
            // Roughly a minute without a byte and without an end.
            transcoder->Stop();
            throw HostError(FailureKind::Failure, HRESULT_FROM_WIN32(ERROR_TIMEOUT),
                            L"Read: no data and no end of stream after " + std::to_wstring(total) + L" bytes");
        } else if (!end) {
            ::Sleep(1);
        }
        if (lpcm)
            progress.Update(total, startMs + PcmBytesToMs(total, pcm.rate, pcm.channels), durationMs, end != 0);
        else
            progress.UpdateBytes(total + (args.startByte > 0 ? args.startByte : 0), length, end != 0);
        if (end) break;
    }
    Check(transcoder->Stop(), L"Stop");
    transcoder->Close();
    sink->Finish();

    if (!output.isStdout()) {
        std::wstring summary = args.output + L": " + std::to_wstring(total + (args.wav ? 44 : 0)) + L" bytes, ";
        if (lpcm) {
            const std::string plays = ClockText(PcmBytesToMs(total, pcm.rate, pcm.channels));
            summary += L"plays " + std::wstring(plays.begin(), plays.end()) + L", " + std::to_wstring(pcm.rate) +
                       L" Hz " + std::to_wstring(pcm.channels) + L" channels 16 bit" +
                       (args.wav ? L" WAV" : L" big-endian L16");
            if (startMs) summary += L" from " + std::to_wstring(startMs) + L" ms";
        } else {
            const std::string plays = ClockText(durationMs);
            summary += format.mimeType + L" unchanged";
            if (args.startByte > 0)
                summary += L" from byte " + std::to_wstring(args.startByte);
            else
                summary += L", plays " + std::wstring(plays.begin(), plays.end());
        }
        PrintOut(summary + L"\n");
    }
    return 0;
}

int RunRegister(const Arguments& args, bool unregister) {
    std::wstring dll;
    if (!args.operands.empty()) {
        dll = args.operands[0];
    } else {
        wchar_t exe[MAX_PATH * 2];
        const DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH * 2);
        std::wstring folder(exe, n);
        folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
        dll = folder + L"TrnM4aTranscoder.dll";
        if (::GetFileAttributesW(dll.c_str()) == INVALID_FILE_ATTRIBUTES)
            dll = folder + L"..\\module\\TrnM4aTranscoder.dll";
    }
    wchar_t full[MAX_PATH * 2];
    const DWORD n = ::GetFullPathNameW(dll.c_str(), MAX_PATH * 2, full, nullptr);
    if (n && n < MAX_PATH * 2) dll = full;

    const ComApartment apartment;
    const UniqueHmodule module(::LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module) {
        const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
        throw HostError(KindOf(hr) == FailureKind::MissingFile ? FailureKind::MissingFile : FailureKind::Failure, hr,
                        L"loading " + dll);
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    typedef HRESULT(STDAPICALLTYPE * EntryPoint)();
    const EntryPoint call =
        reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(::GetProcAddress(module.get(), entry)));
    const std::wstring entryName(entry, entry + std::strlen(entry));
    if (!call)
        throw HostError(FailureKind::Failure, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), entryName + L" in " + dll);
    Check(call(), entryName + L" of " + dll);
    PrintOut((unregister ? L"unregistered " : L"registered ") + dll + L"\n");
    return 0;
}

}  // namespace trnhost
