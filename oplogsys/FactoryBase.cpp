#include "FactoryBase.h"

#include <new>

#include "Log.h"

namespace opLogSys {
namespace Common {

ILog* COutputLogSystemFactoryBase::CreateLog(DWORD threadId, ILogIO* io) {
    return new (std::nothrow) CLog(threadId, io);
}

ILog* COutputLogSystemFactoryBase::CreateErrorLog(ILogIO* io) { return new (std::nothrow) CErrorLog(io); }

}  // namespace Common
}  // namespace opLogSys
