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
#include "common/UniqueResource.h"

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

// Files under a folder, depth first, names sorted within each folder.
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

}  // namespace

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
                text += L"  " + Padded(std::to_wstring(i), 3) + Padded(f.ShortName().empty() ? L"-" : f.ShortName(), 8) +
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
        PrintOut("{\"file\":" + JsonString(path) + ",\"format\":" + JsonString(format.ShortName()) +
                 ",\"mimeType\":" + JsonString(format.mimeType) + ",\"properties\":" + PropertiesJson(properties) +
                 "}\n");
        return 0;
    }
    std::wstring text;
    for (const auto& p : properties) text += Padded(p.first, 17) + p.second + L"\n";
    PrintOut(text);
    return 0;
}

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
    Server server(args.progid);
    LARGE_INTEGER frequency, started, ended;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&started);
    std::vector<std::wstring> files;
    ListFiles(folder, files);

    size_t supported = 0, nativeOnly = 0, refused = 0;
    std::map<std::wstring, size_t> reasons;
    for (const std::wstring& path : files) {
        std::vector<OfferedFormat> offered;
        std::vector<PropertyList> properties;
        std::wstring reason;
        HRESULT failure = S_OK;
        HRESULT hr = server.TryFormatsFor(path, offered);
        if (FAILED(hr)) {
            failure = hr;
            reason = L"GetFormatsForSource " + HresultHex(hr) + L" " + HresultText(hr);
        } else if (offered.empty()) {
            reason = HasMp4AudioExtension(path) ? L"no format offered" : L"not an MP4 audio extension";
        } else {
            for (const OfferedFormat& f : offered) {
                properties.emplace_back();
                hr = server.TryPropertiesFor(path, f, properties.back());
                if (FAILED(hr)) {
                    failure = hr;
                    reason = L"GetProperties " + HresultHex(hr) + L" " + HresultText(hr);
                    break;
                }
            }
        }
        const bool lpcm = reason.empty() && std::any_of(offered.begin(), offered.end(), [](const OfferedFormat& f) {
                              return f.profile == L"LPCM";
                          });
        const char* status = !reason.empty() ? "refused" : lpcm ? "supported" : "native-only";
        if (!reason.empty()) {
            ++refused;
            ++reasons[reason];
        } else if (lpcm) {
            ++supported;
        } else {
            ++nativeOnly;
        }
        if (args.json) {
            std::string line = "{\"file\":" + JsonString(path) + ",\"status\":\"" + status + "\"";
            if (!reason.empty()) {
                line += ",\"reason\":" + JsonString(reason);
                if (FAILED(failure))
                    line += ",\"hr\":" + JsonString(HresultHex(failure)) + ",\"message\":" +
                            JsonString(HresultText(failure));
            } else {
                line += ",\"formats\":[";
                for (size_t i = 0; i < offered.size(); ++i)
                    line += (i ? "," : "") + FormatJson(i, offered[i]) + ",\"properties\":" +
                            PropertiesJson(properties[i]) + "}";
                line += "]";
            }
            PrintOut(line + "}\n");
            continue;
        }
        std::wstring text = path + L"\n";
        if (!reason.empty()) {
            text += L"  refused: " + reason + L"\n";
        } else {
            for (size_t i = 0; i < offered.size(); ++i)
                text += L"  " + Padded(offered[i].ShortName().empty() ? offered[i].mimeType : offered[i].ShortName(), 7) +
                        PropertiesText(properties[i]) + L"\n";
        }
        PrintOut(text);
    }
    ::QueryPerformanceCounter(&ended);
    const double seconds = double(ended.QuadPart - started.QuadPart) / double(frequency.QuadPart);
    const double rate = seconds > 0 ? files.size() / seconds : 0;

    wchar_t line[200];
    std::wstring table = L"\nsummary of " + folder + L"\n";
    const auto row = [&](const std::wstring& label, size_t count) {
        std::swprintf(line, 200, L"  %-52ls %6zu\n", label.c_str(), count);
        table += line;
    };
    row(L"files", files.size());
    row(L"supported (LPCM offered)", supported);
    row(L"native only", nativeOnly);
    row(L"refused", refused);
    for (const auto& r : reasons) row(L"  " + r.first, r.second);
    std::swprintf(line, 200, L"  %zu files in %.3f s: %.1f files/s\n", files.size(), seconds, rate);
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
            if (args.startByte > 0) summary += L" from byte " + std::to_wstring(args.startByte);
            else summary += L", plays " + std::wstring(plays.begin(), plays.end());
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
    const EntryPoint call = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(::GetProcAddress(module.get(), entry)));
    const std::wstring entryName(entry, entry + std::strlen(entry));
    if (!call) throw HostError(FailureKind::Failure, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), entryName + L" in " + dll);
    Check(call(), entryName + L" of " + dll);
    PrintOut((unregister ? L"unregistered " : L"registered ") + dll + L"\n");
    return 0;
}

}  // namespace trnhost
