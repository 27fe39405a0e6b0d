// Reads the configuration file through the platform's XML DOM:
//   <anyRoot>
//     <FACTORY name="IOutputLogSystemFactory" class="opLogSys::File::COutputLogSystemFactory"
//              autoflush="true" location=".\logs"/>
//     <FILTERLIST><FILTER subject="Default" minLevel="0" maxLevel="4"/></FILTERLIST>
//   </anyRoot>
// The calling thread must have COM initialised; a file that cannot be read
// leaves the defaults (null back-end, no filters).
#pragma once

#include <string>

#include "LogSysInfo.h"

struct IXMLDOMNode;

namespace opLogSys {

class CLogSysInfoFromXML : public Common::CReference<ILogSysInfo> {
public:
    // Loads the file only if it exists.
    explicit CLogSysInfoFromXML(const wchar_t* path);
    virtual ~CLogSysInfoFromXML();

    virtual IOutputLogSystemFactory* GetFactory();
    virtual ILogFilter* GetFilter();

    virtual HRESULT ParseFactory(IXMLDOMNode* node);
    virtual HRESULT ParseFilter(IXMLDOMNode* node);
    virtual HRESULT ParseFilterList(IXMLDOMNode* node);
    virtual HRESULT ParseNode(IXMLDOMNode* node);
    virtual HRESULT Load();

private:
    std::wstring m_strPath;
    Common::CRefPtr<CLogSysInfo> m_pInfo;
};

// Where the configuration of a module is looked for, beside the host executable.
struct SLogConfigLocation {
    std::wstring m_strConfigPath;    // the file to read (may not exist)
    std::wstring m_strErrorLogPath;  // "tarn.log" beside it, or empty
};

// baseDirectory ends in a backslash. The file named after configName wins
// over "l4t.applog.xml"; the error log is set only when one of them exists.
SLogConfigLocation LocateLogConfiguration(const std::wstring& baseDirectory, const std::wstring& configName);

}  // namespace opLogSys
