// One owning smart pointer for every COM interface: no member or local is
// ever a raw interface pointer that must be released by hand.
#pragma once

#include <objbase.h>

#include <utility>

template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes a new reference on p.
    explicit ComPtr(T* p) noexcept : m_p(p) { if (m_p) m_p->AddRef(); }
    ComPtr(const ComPtr& other) noexcept : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ~ComPtr() { reset(); }

    ComPtr& operator=(ComPtr other) noexcept { std::swap(m_p, other.m_p); return *this; }

    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    void reset() noexcept {
        T* p = m_p;
        m_p = nullptr;
        if (p) p->Release();
    }
    // Releases first, then hands out the slot for an out parameter.
    T** put() noexcept { reset(); return &m_p; }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    // Adopts a reference the caller already owns.
    void attach(T* p) noexcept { reset(); m_p = p; }
    [[nodiscard]] T* detach() noexcept { T* p = m_p; m_p = nullptr; return p; }

    // QueryInterface; the HRESULT is returned, the result lands in out.
    template <class U>
    HRESULT query_to(REFIID iid, ComPtr<U>& out) const noexcept {
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(iid, out.put_void());
    }
    template <class U>
    HRESULT query_to(ComPtr<U>& out) const noexcept {
        return query_to(__uuidof(U), out);
    }

private:
    T* m_p = nullptr;
};
