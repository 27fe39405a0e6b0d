#include "standins/filterbase/CommandThread.h"

CCommandThread::CCommandThread() = default;

CCommandThread::~CCommandThread() { Join(); }

HRESULT CCommandThread::Start(LPTHREAD_START_ROUTINE proc, void* param) {
    if (m_thread) return E_UNEXPECTED;
    if (!m_requestPosted) m_requestPosted.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_replyPosted) m_replyPosted.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!m_requestPosted || !m_replyPosted) return HRESULT_FROM_WIN32(::GetLastError());
    ::ResetEvent(m_requestPosted.get());
    ::ResetEvent(m_replyPosted.get());
    DWORD id = 0;
    m_thread.reset(::CreateThread(nullptr, 0, proc, param, 0, &id));
    return m_thread ? S_OK : HRESULT_FROM_WIN32(::GetLastError());
}

DWORD CCommandThread::Call(DWORD command) {
    CriticalSectionGuard lock(m_cs.Get());
    if (!m_thread) return DWORD(E_UNEXPECTED);
    m_command = command;
    ::InterlockedExchange(&m_posted, 1);
    ::SetEvent(m_requestPosted.get());
    ::WaitForSingleObject(m_replyPosted.get(), INFINITE);
    return m_reply;
}

void CCommandThread::Join() {
    if (!m_thread) return;
    ::WaitForSingleObject(m_thread.get(), INFINITE);
    m_thread.reset();
}

DWORD CCommandThread::GetRequest() {
    ::WaitForSingleObject(m_requestPosted.get(), INFINITE);
    return m_command;
}

bool CCommandThread::CheckRequest(DWORD* command) {
    // Asked between every two frames: the flag spares a trip into the
    // system while nothing is posted.
    if (::InterlockedCompareExchange(&m_posted, 0, 0) == 0) return false;
    if (::WaitForSingleObject(m_requestPosted.get(), 0) != WAIT_OBJECT_0) return false;
    if (command) *command = m_command;
    return true;
}

void CCommandThread::Reply(DWORD result) {
    m_reply = result;
    ::InterlockedExchange(&m_posted, 0);
    ::ResetEvent(m_requestPosted.get());
    ::SetEvent(m_replyPosted.get());
}
