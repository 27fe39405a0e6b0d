#include "tests/transcoder/SinkRegistration.h"

#include "base/UniqueResource.h"

namespace sinktest {
namespace {

const wchar_t kClassKey[] = L"CLSID\\{540DFF74-7239-457A-970B-5ACA6921057B}";
const wchar_t kServerKey[] = L"CLSID\\{540DFF74-7239-457A-970B-5ACA6921057B}\\InprocServer32";
const wchar_t kUserClasses[] = L"Software\\Classes\\";

bool ReadText(HKEY root, const std::wstring& key, const wchar_t* name, std::wstring& value) {
    wchar_t text[1024] = {};
    DWORD bytes = sizeof text - sizeof text[0];
    if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS) return false;
    value = text;
    return true;
}

bool WriteText(HKEY key, const wchar_t* name, const std::wstring& value) {
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// Writes the server and the threading model (none when null) into key.
bool WriteServer(HKEY root, const std::wstring& key, const std::wstring& server, const wchar_t* threadingModel) {
    UniqueHkey handle;
    if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, handle.put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    if (!WriteText(handle.get(), nullptr, server)) return false;
    if (threadingModel) return WriteText(handle.get(), L"ThreadingModel", threadingModel);
    const LONG deleted = ::RegDeleteValueW(handle.get(), L"ThreadingModel");
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

// Whether HKEY_CLASSES_ROOT shows the server and threading model asked for.
bool Visible(const std::wstring& server, const wchar_t* threadingModel) {
    std::wstring seen, model;
    if (!ReadText(HKEY_CLASSES_ROOT, kServerKey, nullptr, seen) || seen != server) return false;
    const bool hasModel = ReadText(HKEY_CLASSES_ROOT, kServerKey, L"ThreadingModel", model);
    return threadingModel ? hasModel && model == threadingModel : !hasModel;
}

}  // namespace

CSinkRegistration::CSinkRegistration(const std::wstring& server, const wchar_t* threadingModel) {
    m_bUserKeyWritten = true;
    if (!WriteServer(HKEY_CURRENT_USER, std::wstring(kUserClasses) + kServerKey, server, threadingModel)) return;
    if (Visible(server, threadingModel)) {
        m_bOk = true;
        return;
    }
    const std::wstring machineKey = std::wstring(kUserClasses) + kServerKey;
    if (!ReadText(HKEY_LOCAL_MACHINE, machineKey, nullptr, m_strMachineServer)) return;
    m_bMachineHadModel = ReadText(HKEY_LOCAL_MACHINE, machineKey, L"ThreadingModel", m_strMachineModel);
    m_bMachineChanged = true;
    m_bOk = WriteServer(HKEY_LOCAL_MACHINE, machineKey, server, threadingModel) && Visible(server, threadingModel);
}

void CSinkRegistration::Restore() {
    if (::InterlockedExchange(&m_lRestored, 1) != 0) return;
    if (m_bMachineChanged) {
        WriteServer(HKEY_LOCAL_MACHINE, std::wstring(kUserClasses) + kServerKey, m_strMachineServer,
                    m_bMachineHadModel ? m_strMachineModel.c_str() : nullptr);
    }
    if (m_bUserKeyWritten) ::RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kUserClasses) + kClassKey).c_str());
}

std::wstring CSinkRegistration::RegisteredServer() {
    std::wstring server;
    ReadText(HKEY_CLASSES_ROOT, kServerKey, nullptr, server);
    return server;
}

}  // namespace sinktest
