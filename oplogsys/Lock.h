// Locks of the logging library: the in-process critical section and the
// cross-process named mutex, plus a scope guard for either.
#pragma once

#include <windows.h>

#include <string>

#include "base/CriticalSection.h"

namespace opLogSys {

class ILockObject {
public:
    virtual int Lock() = 0;
    virtual int Unlock() = 0;

protected:
    ~ILockObject() {}
};

namespace Common {

// The module's critical section behind the library's lock interface;
// recursive for the owning thread.
class CCriticalSection : public ILockObject, public ::CriticalSection {
public:
    CCriticalSection() = default;
    virtual ~CCriticalSection() {}

    virtual int Lock() {
        Enter();
        return 1;
    }
    virtual int Unlock() {
        Leave();
        return 0;
    }
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
    explicit CLockGuard(TLock& lock) : m_rLock(lock) { m_rLock.Lock(); }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;
    ~CLockGuard() { m_rLock.Unlock(); }

private:
    TLock& m_rLock;
};

}  // namespace Common
}  // namespace opLogSys
