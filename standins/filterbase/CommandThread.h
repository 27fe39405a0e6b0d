// A worker thread driven by request/reply commands: the caller posts one
// command and waits for the worker's reply; the worker waits for commands
// when idle and peeks for them between units of work. Callers are
// serialised, so one command is in flight at a time.
#pragma once

#include "base/UniqueResource.h"
#include "standins/filterbase/DShow.h"

class CCommandThread {
public:
    CCommandThread();
    ~CCommandThread();  // the thread must have been joined
    CCommandThread(const CCommandThread&) = delete;
    CCommandThread& operator=(const CCommandThread&) = delete;

    // Starts `proc(param)`; fails when a thread is already running.
    HRESULT Start(LPTHREAD_START_ROUTINE proc, void* param);
    bool IsRunning() const noexcept { return m_thread.valid(); }
    // Posts a command and returns the worker's reply.
    DWORD Call(DWORD command);
    // Waits for the thread to end after a command that makes it return.
    void Join();

    // Worker side.
    DWORD GetRequest();
    // True (and the command) when one is waiting; it stays posted.
    bool CheckRequest(DWORD* command);
    void Reply(DWORD result);

private:
    UniqueHandle m_thread;
    UniqueHandle m_requestPosted;  // manual reset: set until the worker replies
    UniqueHandle m_replyPosted;    // auto reset
    CriticalSection m_cs;          // one caller at a time
    DWORD m_command = 0;
    DWORD m_reply = 0;
    volatile LONG m_posted = 0;  // a request is posted and not yet replied to
};
