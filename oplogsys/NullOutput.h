// The null back-end: swallows everything.
#pragma once

#include "FactoryBase.h"

namespace opLogSys {
namespace Null {

class COutputLogSystemFactory : public Common::COutputLogSystemFactoryBase {
public:
    class CNullIO : public Common::CReference<ILogIO> {
    public:
        virtual int Lock() { return 0; }
        virtual int Unlock() { return 0; }
        virtual int WriteLine(const wchar_t*) { return 0; }
        virtual int Write(const wchar_t*) { return 0; }
        virtual void Flush() {}
    };

    virtual ILogIO* CreateLogIO(const wchar_t* channelName);
};

}  // namespace Null
}  // namespace opLogSys
