#include "transcoder/FormatList.h"

#include "base/StatusException.h"
#include "base/UniqueResource.h"
#include "module/HostObjects.h"
#include "transcoder/VariantList.h"

namespace trn {

bool IsSameFormat(IMediaFormat* a, IMediaFormat* b) {
    const CHostMediaFormat first(a);
    const CHostMediaFormat second(b);
    return BstrEqual(first.GetProfileNameBstr().get(), second.GetProfileNameBstr().get()) &&
           BstrEqual(first.GetMimeTypeBstr().get(), second.GetMimeTypeBstr().get()) &&
           first.GetConverted() == second.GetConverted() && first.GetByteSeekable() == second.GetByteSeekable() &&
           first.GetTimeSeekable() == second.GetTimeSeekable();
}

ComPtr<IMediaFormat> FormatOfElement(const VARIANT& element) {
    // Only an element that holds an object can be asked for its format.
    IUnknown* object = (element.vt == VT_UNKNOWN || element.vt == VT_DISPATCH) ? element.punkVal : nullptr;
    TRN_THROW_HR_IF(E_INVALIDARG, object == nullptr);
    ComPtr<IMediaFormat> format;
    TRN_THROW_IF_FAILED(object->QueryInterface(IID_IMediaFormat, format.put_void()));
    TRN_THROW_HR_IF(E_NOINTERFACE, !format);
    return format;
}

void AppendUniqueFormats(const CVariantList& source, CVariantList& destination) {
    for (ULONG i = 0; i < source.Count(); ++i) {
        const ComPtr<IMediaFormat> candidate = FormatOfElement(source.At(i));
        bool known = false;
        for (ULONG k = 0; k < destination.Count() && !known; ++k) {
            known = IsSameFormat(FormatOfElement(destination.At(k)).get(), candidate.get());
        }
        if (!known) destination.Append(source.At(i));
    }
}

HRESULT ArrangeFormatList(SAFEARRAY* input, SAFEARRAY** output) {
    TRN_THROW_HR_IF(E_POINTER, input == nullptr || output == nullptr);
    VARTYPE type = VT_EMPTY;
    CheckArray(::SafeArrayGetVartype(input, &type));
    TRN_THROW_HR_IF(E_INVALIDARG, type != VT_VARIANT || ::SafeArrayGetDim(input) != 1);
    LONG lower = 0;
    LONG upper = -1;
    CheckArray(::SafeArrayGetLBound(input, 1, &lower));
    CheckArray(::SafeArrayGetUBound(input, 1, &upper));

    // Groups: with a profile and not time-seekable, with a profile and
    // time-seekable, then the same two without a profile.
    CVariantList groups[4];
    CVariantList result;
    for (LONG index = lower; index <= upper; ++index) {
        UniqueVariant element;
        CheckArray(::SafeArrayGetElement(input, &index, element.get()));
        const CHostMediaFormat format(FormatOfElement(*element.get()));
        const bool hasProfile = !format.GetProfileName().empty();
        const bool timeSeekable = format.GetTimeSeekable() == VARIANT_TRUE;
        groups[(hasProfile ? 0 : 2) + (timeSeekable ? 1 : 0)].Append(*element.get());
    }
    for (const CVariantList& group : groups) AppendUniqueFormats(group, result);
    *output = result.Detach();
    return S_OK;
}

}  // namespace trn
