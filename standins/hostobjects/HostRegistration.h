// Registration of the host classes under HKCR\CLSID: a readable name and
// InprocServer32 = this DLL's full path with ThreadingModel "Both".
#pragma once

#include <objbase.h>

namespace hostobj {

HRESULT RegisterHostClasses() noexcept;
HRESULT UnregisterHostClasses() noexcept;

}  // namespace hostobj
