// Arranging format lists before they are handed to the host: entries with a
// profile come before those without, time-seekable ones last within each,
// and a format that appears twice is kept once.
#pragma once

#include <objbase.h>
#include <oaidl.h>

#include "base/ComPtr.h"
#include "module/TrnInterfaces.h"

namespace trn {

class CVariantList;

// True when all five properties of the two formats are equal (profile and
// MIME type as texts, null only equal to null; the three flags as values).
bool IsSameFormat(IMediaFormat* a, IMediaFormat* b);

// The IMediaFormat of one list element; a failed query is thrown as the bare
// status, an element that holds no object as E_INVALIDARG.
ComPtr<IMediaFormat> FormatOfElement(const VARIANT& element);

// Appends every entry of source that has no equal entry in destination at
// the moment it is examined, in source order.
void AppendUniqueFormats(const CVariantList& source, CVariantList& destination);

// Reads input (unchanged) and stores the arranged, unlocked new list in
// *output, which the caller owns. Failures are thrown; *output is then not
// written.
HRESULT ArrangeFormatList(SAFEARRAY* input, SAFEARRAY** output);

}  // namespace trn
