// The debugger back-end. It takes no lock: pieces of entries from different
// threads may interleave in the debugger's output.
#pragma once

#include "FactoryBase.h"

namespace opLogSys {
namespace Ods {

class COutputLogSystemFactory : public Common::COutputLogSystemFactoryBase {
public:
    class COutputDebugStringIO : public Common::CReference<ILogIO> {
    public:
        virtual int Lock() { return 0; }
        virtual int Unlock() { return 0; }
        virtual int WriteLine(const wchar_t* text);
        virtual int Write(const wchar_t* text);
        virtual void Flush() {}
    };

    virtual ILogIO* CreateLogIO(const wchar_t* channelName);
};

}  // namespace Ods
}  // namespace opLogSys
