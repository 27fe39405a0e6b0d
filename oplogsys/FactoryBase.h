// What every back-end factory shares: the log objects are the same for all.
#pragma once

#include "Interfaces.h"

namespace opLogSys {
namespace Common {

class COutputLogSystemFactoryBase : public CReference<IOutputLogSystemFactory> {
public:
    virtual ILog* CreateLog(DWORD threadId, ILogIO* io);
    virtual ILog* CreateErrorLog(ILogIO* io);
};

}  // namespace Common
}  // namespace opLogSys
