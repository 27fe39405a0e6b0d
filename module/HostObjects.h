// The host's format and property objects as this module uses them. Every
// failed host call is raised as a _com_error carrying the host's status and
// the error information it left on the thread, which the COM boundary logs
// and hands back to the caller.
#pragma once

#include <objbase.h>
#include <oaidl.h>

#include <string>

#include "base/ComPtr.h"
#include "base/UniqueResource.h"
#include "module/TrnInterfaces.h"

namespace trn {

// Raises hr as a _com_error with the thread's error information, if any.
[[noreturn]] void ThrowHostError(HRESULT hr);

// Throws through ThrowHostError when hr failed.
inline void CheckHost(HRESULT hr) {
    if (FAILED(hr)) ThrowHostError(hr);
}

// One host class, as the info object creates its objects. The class is
// looked up the way CoCreateInstance does it (its TreatAs, then its class
// object with CLSCTX_ALL), but not per object: every CoCreateInstance reads
// the class's registration again, about sixteen server round trips under
// Wine, which were most of an info call's time. A class object that is
// free-threaded (its marshaler is the FTM's) serves every later call from any
// apartment; any other one serves the rest of its call only (EndCall).
class CHostClass {
public:
    explicit CHostClass(REFCLSID clsid) noexcept : m_clsid(clsid) {}
    CHostClass(const CHostClass&) = delete;
    CHostClass& operator=(const CHostClass&) = delete;

    // A new object of the class, asked for IUnknown, OleRun, then
    // QueryInterface for iid into *object. E_NOINTERFACE leaves it null; any
    // other failure is raised, the lookup's as CoCreateInstance's would be.
    void Create(REFIID iid, void** object);

    // Drops the class object unless any apartment may use it.
    void EndCall() noexcept;

private:
    const CLSID m_clsid;
    ComPtr<IClassFactory> m_factory;
    bool m_agile = false;
};

// A BSTR as text; a null BSTR is empty.
std::wstring BstrToString(BSTR text);

// Equal length and characters; a null text equals only a null text.
bool BstrEqual(BSTR a, BSTR b) noexcept;

// A format object. A wrapper around a null pointer raises E_POINTER on its
// first call, as a host object that answered no IMediaFormat.
class CHostMediaFormat {
public:
    // A new object of the host's format class (formats: CLSID_HostMediaFormat).
    static CHostMediaFormat Create(CHostClass& formats);
    // Takes a new reference on an object the caller holds.
    explicit CHostMediaFormat(IMediaFormat* format) : m_p(format) {}
    explicit CHostMediaFormat(ComPtr<IMediaFormat> format) : m_p(std::move(format)) {}

    UniqueBstr GetMimeTypeBstr() const;
    UniqueBstr GetProfileNameBstr() const;
    std::wstring GetMimeType() const;
    std::wstring GetProfileName() const;
    VARIANT_BOOL GetTimeSeekable() const;
    VARIANT_BOOL GetConverted() const;
    VARIANT_BOOL GetByteSeekable() const;

    void PutMimeType(const wchar_t* text) const;
    void PutProfileName(const wchar_t* text) const;
    void PutTimeSeekable(VARIANT_BOOL value) const;
    void PutConverted(VARIANT_BOOL value) const;
    void PutByteSeekable(VARIANT_BOOL value) const;

    IMediaFormat* get() const noexcept { return m_p.get(); }

private:
    IMediaFormat* Checked() const;
    ComPtr<IMediaFormat> m_p;
};

// A property object; only its setters are called by the module.
class CHostMediaProperty {
public:
    // A new object of the host's property class (CLSID_HostMediaProperty).
    static CHostMediaProperty Create(CHostClass& properties);
    explicit CHostMediaProperty(ComPtr<IMediaProperty> property) : m_p(std::move(property)) {}

    void PutName(const wchar_t* text) const;
    void PutValue(const wchar_t* text) const;

    IMediaProperty* get() const noexcept { return m_p.get(); }

private:
    IMediaProperty* Checked() const;
    ComPtr<IMediaProperty> m_p;
};

}  // namespace trn
