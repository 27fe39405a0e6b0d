#include "Lock.h"

namespace opLogSys {
namespace Common {

CMutex::CMutex(const std::wstring& name) : m_strName(name), m_hMutex(nullptr), m_lHold(0) {}

CMutex::~CMutex() {
    // An owner that forgot its Unlock must not keep other processes waiting.
    if (m_hMutex) {
        ReleaseMutex(m_hMutex);
        CloseHandle(m_hMutex);
    }
}

int CMutex::Lock() {
    if (m_lHold++ == 0) {
        m_hMutex = CreateMutexW(nullptr, FALSE, m_strName.c_str());
        if (m_hMutex) {
            // An abandoned mutex is owned all the same; the previous owner
            // died between two whole entries or in the middle of one.
            const DWORD dwWait = WaitForSingleObject(m_hMutex, INFINITE);
            if (dwWait != WAIT_OBJECT_0 && dwWait != WAIT_ABANDONED) {
                CloseHandle(m_hMutex);
                m_hMutex = nullptr;
            }
        }
    }
    return 1;
}

int CMutex::Unlock() {
    if (m_lHold <= 0) return -1;
    if (--m_lHold == 0 && m_hMutex) {
        ReleaseMutex(m_hMutex);
        CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
    return 0;
}

}  // namespace Common
}  // namespace opLogSys
