#include "tests/transcoder/SinkRegistration.h"

#include "base/UniqueResource.h"

namespace sinktest {
namespace {

const wchar_t kClassKey[] = L"CLSID\\{540DFF74-7239-457A-970B-5ACA6921057B}";
const wchar_t kUserClasses[] = L"Software\\Classes\\";
const wchar_t kModel[] = L"ThreadingModel";

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

// Writes the key's value and its threading model (removed when null).
bool WriteKey(HKEY root, const std::wstring& key, const std::wstring& value, const wchar_t* threadingModel) {
    UniqueHkey handle;
    if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, handle.put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    if (!WriteText(handle.get(), nullptr, value)) return false;
    if (threadingModel) return WriteText(handle.get(), kModel, threadingModel);
    const LONG deleted = ::RegDeleteValueW(handle.get(), kModel);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

// Whether HKEY_CLASSES_ROOT shows the value and threading model asked for.
bool Visible(const std::wstring& key, const std::wstring& value, const wchar_t* threadingModel) {
    std::wstring seen, model;
    if (!ReadText(HKEY_CLASSES_ROOT, key, nullptr, seen) || seen != value) return false;
    const bool hasModel = ReadText(HKEY_CLASSES_ROOT, key, kModel, model);
    return threadingModel ? hasModel && model == threadingModel : !hasModel;
}

std::wstring GuidText(REFCLSID clsid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(clsid, text, 40);
    return text;
}

}  // namespace

CSinkRegistration::CSinkRegistration(const std::wstring& server, const wchar_t* threadingModel) {
    Apply(L"InprocServer32", server, threadingModel);
}

CSinkRegistration::CSinkRegistration(REFCLSID other) { Apply(L"TreatAs", GuidText(other), nullptr); }

void CSinkRegistration::Apply(const wchar_t* subkey, const std::wstring& value, const wchar_t* threadingModel) {
    m_strSubkey = subkey;
    const std::wstring key = std::wstring(kClassKey) + L"\\" + subkey;
    m_bUserKeyWritten = true;
    if (!WriteKey(HKEY_CURRENT_USER, kUserClasses + key, value, threadingModel)) return;
    if (Visible(key, value, threadingModel)) {
        m_bOk = true;
        return;
    }
    m_bMachineHadKey = ReadText(HKEY_LOCAL_MACHINE, kUserClasses + key, nullptr, m_strMachineValue);
    m_bMachineHadModel = ReadText(HKEY_LOCAL_MACHINE, kUserClasses + key, kModel, m_strMachineModel);
    m_bMachineChanged = true;
    m_bOk =
        WriteKey(HKEY_LOCAL_MACHINE, kUserClasses + key, value, threadingModel) && Visible(key, value, threadingModel);
}

void CSinkRegistration::Restore() {
    if (::InterlockedExchange(&m_lRestored, 1) != 0) return;
    const std::wstring machineKey = kUserClasses + (std::wstring(kClassKey) + L"\\" + m_strSubkey);
    if (m_bMachineChanged && m_bMachineHadKey) {
        WriteKey(HKEY_LOCAL_MACHINE, machineKey, m_strMachineValue,
                 m_bMachineHadModel ? m_strMachineModel.c_str() : nullptr);
    } else if (m_bMachineChanged) {
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, machineKey.c_str());
    }
    if (m_bUserKeyWritten) ::RegDeleteTreeW(HKEY_CURRENT_USER, (kUserClasses + std::wstring(kClassKey)).c_str());
}

std::wstring CSinkRegistration::RegisteredServer() {
    std::wstring server;
    ReadText(HKEY_CLASSES_ROOT, std::wstring(kClassKey) + L"\\InprocServer32", nullptr, server);
    return server;
}

}  // namespace sinktest
