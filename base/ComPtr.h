// One owning smart pointer for every COM interface: no member or local is
// ever a raw interface pointer that must be released by hand. Portable, so
// that the MP4 library's stream owners use it too.
#pragma once

#include "base/PortableTypes.h"

#include <cstddef>
#include <utility>

template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes a new reference on p.
    explicit ComPtr(T* p) noexcept : m_p(p) {
        if (m_p) m_p->AddRef();
    }
    ComPtr(const ComPtr& other) noexcept : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ~ComPtr() { reset(); }

    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }

    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    void reset() noexcept {
        T* p = m_p;
        m_p = nullptr;
        if (p) p->Release();
    }
    // Releases first, then hands out the slot for an out parameter.
    T** put() noexcept {
        reset();
        return &m_p;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    IUnknown** put_unknown() noexcept { return reinterpret_cast<IUnknown**>(put()); }
    // Adopts a reference the caller already owns.
    void attach(T* p) noexcept {
        reset();
        m_p = p;
    }
    [[nodiscard]] T* detach() noexcept {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    // Hands a new reference to an out parameter (which may be null).
    void copy_to(T** out) const noexcept {
        if (out == nullptr) return;
        *out = m_p;
        if (m_p) m_p->AddRef();
    }

    // QueryInterface; the HRESULT is returned, the result lands in out.
    template <class U>
    HRESULT query_to(REFIID iid, ComPtr<U>& out) const noexcept {
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(iid, out.put_void());
    }
    // The interface, or a null pointer when it is not answered.
    template <class U>
    ComPtr<U> try_query(REFIID iid) const noexcept {
        ComPtr<U> out;
        if (m_p && FAILED(m_p->QueryInterface(iid, out.put_void()))) out.reset();
        return out;
    }
    // The interface; a failure is thrown as the bare HRESULT.
    template <class U>
    ComPtr<U> query(REFIID iid) const {
        ComPtr<U> out;
        const HRESULT hr = query_to(iid, out);
        if (FAILED(hr)) throw hr;
        if (!out) throw HRESULT(E_NOINTERFACE);
        return out;
    }

#ifdef _WIN32
    template <class U>
    HRESULT query_to(ComPtr<U>& out) const noexcept {
        return query_to(__uuidof(U), out);
    }
    template <class U>
    ComPtr<U> try_query() const noexcept {
        return try_query<U>(__uuidof(U));
    }
    template <class U>
    ComPtr<U> query() const {
        return query<U>(__uuidof(U));
    }
#endif

private:
    T* m_p = nullptr;
};

// Adopts a reference the caller already owns.
template <class T>
ComPtr<T> AdoptComPtr(T* p) noexcept {
    ComPtr<T> out;
    out.attach(p);
    return out;
}
