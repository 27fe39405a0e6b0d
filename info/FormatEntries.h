// The four format entries the info object offers, as host format objects.
#pragma once

#include "base/ComPtr.h"
#include "module/TrnInterfaces.h"

namespace trn {

class CHostClass;

enum class FormatEntry { Lpcm44100, Lpcm48000, Native3gpp, NativeMp4 };

// A new host format object of formats (the host's format class) filled for
// entry. Setters run in the order profile (LPCM only), MIME type, converted,
// byte-seekable, time-seekable.
ComPtr<IMediaFormat> CreateFormatEntry(CHostClass& formats, FormatEntry entry);

}  // namespace trn
