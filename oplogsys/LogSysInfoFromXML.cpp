#include "LogSysInfoFromXML.h"

#include <msxml.h>

#include <cwchar>
#include <new>

#include "FileOutput.h"
#include "NullOutput.h"
#include "OdsOutput.h"
#include "base/ComPtr.h"
#include "base/UniqueResource.h"

namespace opLogSys {

namespace {

// Version-independent DOM document and the two interfaces read from it.
const CLSID kClsidDomDocument = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidXmlDomDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidXmlDomNode = {0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

const wchar_t kFactoryInterface[] = L"IOutputLogSystemFactory";
const wchar_t kFileFactory[] = L"opLogSys::File::COutputLogSystemFactory";
const wchar_t kNullFactory[] = L"opLogSys::Null::COutputLogSystemFactory";
const wchar_t kOdsFactory[] = L"opLogSys::Ods::COutputLogSystemFactory";

bool NodeNameIs(IXMLDOMNode* node, const wchar_t* name) {
    UniqueBstr nodeName;
    if (FAILED(node->get_nodeName(nodeName.put())) || !nodeName.get()) return false;
    return wcscmp(nodeName.get(), name) == 0;
}

// Missing attributes and non-string values read as the empty string.
std::wstring ReadAttribute(IXMLDOMNamedNodeMap* attributes, const wchar_t* name) {
    if (!attributes) return std::wstring();
    const UniqueBstr attributeName(::SysAllocString(name));
    if (!attributeName) throw static_cast<HRESULT>(E_OUTOFMEMORY);
    ComPtr<IXMLDOMNode> attribute;
    if (attributes->getNamedItem(attributeName.get(), attribute.put()) != S_OK || !attribute) return std::wstring();
    UniqueVariant value;
    if (FAILED(attribute->get_nodeValue(value.get())) || value.get()->vt != VT_BSTR || !value.get()->bstrVal)
        return std::wstring();
    return std::wstring(value.get()->bstrVal, SysStringLen(value.get()->bstrVal));
}

template <class Visit>
void ForEachChild(IXMLDOMNode* parent, Visit visit) {
    ComPtr<IXMLDOMNodeList> children;
    if (FAILED(parent->get_childNodes(children.put())) || !children) return;
    children->reset();
    for (;;) {
        ComPtr<IXMLDOMNode> child;
        if (children->nextNode(child.put()) != S_OK || !child) break;
        visit(child.get());
    }
}

IOutputLogSystemFactory* CreateFactory(const std::wstring& name, const std::wstring& className,
                                       const std::wstring& autoFlush, const std::wstring& location) {
    if (name == kFactoryInterface) {
        if (className == kFileFactory) return new File::COutputLogSystemFactory(autoFlush == L"true", location.c_str());
        if (className == kOdsFactory) return new Ods::COutputLogSystemFactory();
    }
    return new Null::COutputLogSystemFactory();
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

CLogSysInfoFromXML::CLogSysInfoFromXML(const wchar_t* path) : m_strPath(path ? path : L""), m_pInfo(new CLogSysInfo()) {
    if (!m_strPath.empty() && FileExists(m_strPath)) Load();
}

CLogSysInfoFromXML::~CLogSysInfoFromXML() {}

IOutputLogSystemFactory* CLogSysInfoFromXML::GetFactory() { return m_pInfo->GetFactory(); }

ILogFilter* CLogSysInfoFromXML::GetFilter() { return m_pInfo->GetFilter(); }

HRESULT CLogSysInfoFromXML::ParseFactory(IXMLDOMNode* node) {
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    node->get_attributes(attributes.put());
    const std::wstring name = ReadAttribute(attributes.get(), L"name");
    const std::wstring className = ReadAttribute(attributes.get(), L"class");
    const std::wstring autoFlush = ReadAttribute(attributes.get(), L"autoflush");
    const std::wstring location = ReadAttribute(attributes.get(), L"location");
    m_pInfo->SetFactory(CreateFactory(name, className, autoFlush, location));
    return S_OK;
}

HRESULT CLogSysInfoFromXML::ParseFilter(IXMLDOMNode* node) {
    if (!NodeNameIs(node, L"FILTER")) return E_FAIL;
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    node->get_attributes(attributes.put());
    const std::wstring subject = ReadAttribute(attributes.get(), L"subject");
    const int minLevel = _wtoi(ReadAttribute(attributes.get(), L"minLevel").c_str());
    const int maxLevel = _wtoi(ReadAttribute(attributes.get(), L"maxLevel").c_str());
    return m_pInfo->GetOutputLogState()->AddFilter(subject.c_str(), minLevel, maxLevel);
}

HRESULT CLogSysInfoFromXML::ParseFilterList(IXMLDOMNode* node) {
    ForEachChild(node, [this](IXMLDOMNode* child) { ParseFilter(child); });
    return S_OK;
}

HRESULT CLogSysInfoFromXML::ParseNode(IXMLDOMNode* node) {
    if (NodeNameIs(node, L"FACTORY")) return ParseFactory(node);
    if (NodeNameIs(node, L"FILTERLIST")) return ParseFilterList(node);
    return S_FALSE;
}

HRESULT CLogSysInfoFromXML::Load() {
    try {
        ComPtr<IXMLDOMDocument> document;
        HRESULT hr =
            CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument, document.put_void());
        if (FAILED(hr) || !document) return FAILED(hr) ? hr : E_FAIL;

        UniqueVariant source;
        source.get()->vt = VT_BSTR;
        source.get()->bstrVal = SysAllocString(m_strPath.c_str());
        if (!source.get()->bstrVal) return E_OUTOFMEMORY;
        VARIANT_BOOL loaded = VARIANT_FALSE;
        hr = document->load(*source.get(), &loaded);
        if (hr != S_OK || loaded != VARIANT_TRUE) return E_FAIL;

        ComPtr<IXMLDOMElement> element;
        if (FAILED(document->get_documentElement(element.put())) || !element) return E_FAIL;
        ComPtr<IXMLDOMNode> root;
        if (FAILED(element->QueryInterface(kIidXmlDomNode, root.put_void())) || !root) return E_FAIL;
        ForEachChild(root.get(), [this](IXMLDOMNode* child) { ParseNode(child); });
        return S_OK;
    } catch (HRESULT hr) {
        // Whatever was read before stays; logging must not fail its host.
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

SLogConfigLocation LocateLogConfiguration(const std::wstring& baseDirectory, const std::wstring& configName) {
    SLogConfigLocation location;
    const std::wstring first = baseDirectory + configName + L".applog.xml";
    if (FileExists(first)) {
        location.m_strConfigPath = first;
        location.m_strErrorLogPath = baseDirectory + L"tarn.log";
        return location;
    }
    location.m_strConfigPath = baseDirectory + L"l4t.applog.xml";
    if (FileExists(location.m_strConfigPath)) location.m_strErrorLogPath = baseDirectory + L"tarn.log";
    return location;
}

}  // namespace opLogSys
