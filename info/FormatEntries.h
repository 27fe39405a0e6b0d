// The four format entries the info object offers, as host format objects.
#pragma once

#include "base/ComPtr.h"
#include "module/TrnInterfaces.h"

namespace trn {

enum class FormatEntry { Lpcm44100, Lpcm48000, Native3gpp, NativeMp4 };

// A new host format object filled for entry. Setters run in the order
// profile (LPCM only), MIME type, converted, byte-seekable, time-seekable.
ComPtr<IMediaFormat> CreateFormatEntry(FormatEntry entry);

}  // namespace trn
