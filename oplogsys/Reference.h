// Reference counting shared by every counted object of the logging library.
#pragma once

#include <windows.h>

#include <utility>

namespace opLogSys {

class IReference {
public:
    virtual ~IReference() {}
    virtual LONG AddRef() = 0;
    virtual LONG Release() = 0;
};

namespace Common {

// Implementation base: the count starts at 1, so the creator owns the first
// reference. For interfaces that do not derive from IReference (ILogSysInfo)
// the three operations are appended after the interface's own.
template <class T>
class CReference : public T {
public:
    CReference() : m_lRef(1) {}
    CReference(const CReference&) = delete;
    CReference& operator=(const CReference&) = delete;
    virtual ~CReference() {}

    virtual LONG AddRef() { return InterlockedIncrement(&m_lRef); }

    virtual LONG Release() {
        const LONG lRef = InterlockedDecrement(&m_lRef);
        if (lRef == 0) {
            delete this;
            return 0;
        }
        return lRef;
    }

private:
    volatile LONG m_lRef;
};

// Owns one reference on a counted object.
template <class T>
class CRefPtr {
public:
    CRefPtr() : m_p(nullptr) {}
    // Takes over a reference the caller already owns (creating operations).
    explicit CRefPtr(T* p) : m_p(p) {}
    CRefPtr(const CRefPtr& other) : m_p(other.m_p) {
        if (m_p) m_p->AddRef();
    }
    CRefPtr(CRefPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ~CRefPtr() { reset(); }

    CRefPtr& operator=(CRefPtr other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }

    // Adds a reference for an object borrowed from someone else.
    static CRefPtr FromBorrowed(T* p) {
        if (p) p->AddRef();
        return CRefPtr(p);
    }

    void reset(T* p = nullptr) {
        T* old = m_p;
        m_p = p;
        if (old) old->Release();
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    [[nodiscard]] T* detach() {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

private:
    T* m_p;
};

}  // namespace Common
}  // namespace opLogSys
