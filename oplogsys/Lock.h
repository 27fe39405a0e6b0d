// Locks of the logging library: the in-process critical section and the
// cross-process named mutex, plus a scope guard for either.
#pragma once

#include <windows.h>

#include <string>

namespace opLogSys {

class ILockObject {
public:
    virtual int Lock() = 0;
    virtual int Unlock() = 0;

protected:
    ~ILockObject() {}
};

namespace Common {

// Recursive for the owning thread.
class CCriticalSection : public ILockObject {
public:
    CCriticalSection() { InitializeCriticalSection(&m_cs); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;
    virtual ~CCriticalSection() { DeleteCriticalSection(&m_cs); }

    virtual int Lock() {
        EnterCriticalSection(&m_cs);
        return 1;
    }
    virtual int Unlock() {
        LeaveCriticalSection(&m_cs);
        return 0;
    }

private:
    CRITICAL_SECTION m_cs;
};

// Named mutex shared by every process that uses the same name. The system
// object exists only while the lock is held; nested Lock calls just count.
class CMutex : public ILockObject {
public:
    explicit CMutex(const std::wstring& name);
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;
    virtual ~CMutex();

    virtual int Lock();
    virtual int Unlock();

    const std::wstring& GetName() const { return m_strName; }

private:
    std::wstring m_strName;
    HANDLE m_hMutex;
    LONG m_lHold;
};

// Holds any lock object for one scope.
template <class TLock>
class CLockGuard {
public:
    explicit CLockGuard(TLock& lock) : m_lock(lock) { m_lock.Lock(); }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;
    ~CLockGuard() { m_lock.Unlock(); }

private:
    TLock& m_lock;
};

}  // namespace Common
}  // namespace opLogSys
