#include "NullOutput.h"

#include <new>

namespace opLogSys {
namespace Null {

ILogIO* COutputLogSystemFactory::CreateLogIO(const wchar_t*) { return new (std::nothrow) CNullIO(); }

}  // namespace Null
}  // namespace opLogSys
