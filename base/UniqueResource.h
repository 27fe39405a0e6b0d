// One template for every non-COM handle; the invalid value belongs to the
// type, so callers never compare against NULL or INVALID_HANDLE_VALUE.
#pragma once

#include <objbase.h>
#include <oleauto.h>

#include <utility>

// Lock owners come with the handle owners.
#include "base/CriticalSection.h"

template <class T, class Close, T (*Invalid)()>
class UniqueResource {
public:
    UniqueResource() noexcept : m_h(Invalid()) {}
    explicit UniqueResource(T value) noexcept : m_h(value) {}
    UniqueResource(UniqueResource&& other) noexcept : m_h(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    T get() const noexcept { return m_h; }
    bool valid() const noexcept { return m_h != Invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    void reset(T value = Invalid()) noexcept {
        T old = m_h;
        m_h = value;
        if (old != Invalid()) Close()(old);
    }
    [[nodiscard]] T release() noexcept {
        T value = m_h;
        m_h = Invalid();
        return value;
    }
    T* put() noexcept {
        reset();
        return &m_h;
    }

private:
    T m_h;
};

namespace trn_detail {
template <class T>
inline T NullValue() {
    return T();
}
inline HANDLE InvalidFileHandle() { return INVALID_HANDLE_VALUE; }
struct CloseHandleFn {
    void operator()(HANDLE h) const { ::CloseHandle(h); }
};
struct RegCloseKeyFn {
    void operator()(HKEY h) const { ::RegCloseKey(h); }
};
struct FreeLibraryFn {
    void operator()(HMODULE h) const { ::FreeLibrary(h); }
};
struct SysFreeStringFn {
    void operator()(BSTR s) const { ::SysFreeString(s); }
};
struct SafeArrayDestroyFn {
    void operator()(SAFEARRAY* a) const { ::SafeArrayDestroy(a); }
};
struct CoTaskMemFreeFn {
    void operator()(void* p) const { ::CoTaskMemFree(p); }
};
}  // namespace trn_detail

typedef UniqueResource<HANDLE, trn_detail::CloseHandleFn, trn_detail::NullValue<HANDLE>> UniqueHandle;
typedef UniqueResource<HANDLE, trn_detail::CloseHandleFn, trn_detail::InvalidFileHandle> UniqueFileHandle;
typedef UniqueResource<HKEY, trn_detail::RegCloseKeyFn, trn_detail::NullValue<HKEY>> UniqueHkey;
typedef UniqueResource<HMODULE, trn_detail::FreeLibraryFn, trn_detail::NullValue<HMODULE>> UniqueHmodule;
typedef UniqueResource<BSTR, trn_detail::SysFreeStringFn, trn_detail::NullValue<BSTR>> UniqueBstr;
typedef UniqueResource<SAFEARRAY*, trn_detail::SafeArrayDestroyFn, trn_detail::NullValue<SAFEARRAY*>> UniqueSafeArray;
typedef UniqueResource<void*, trn_detail::CoTaskMemFreeFn, trn_detail::NullValue<void*>> UniqueCoTaskMem;

// A VARIANT that is cleared when it goes out of scope.
class UniqueVariant {
public:
    UniqueVariant() noexcept { ::VariantInit(&m_v); }
    ~UniqueVariant() { ::VariantClear(&m_v); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    VARIANT* get() noexcept { return &m_v; }
    const VARIANT* get() const noexcept { return &m_v; }
    VARIANT* put() noexcept {
        ::VariantClear(&m_v);
        return &m_v;
    }

private:
    VARIANT m_v;
};
