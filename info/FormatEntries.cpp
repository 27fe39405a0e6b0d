#include "info/FormatEntries.h"

#include "module/HostObjects.h"

namespace trn {
namespace {

struct FormatEntryRow {
    FormatEntry entry;
    const wchar_t* profile;  // null: not set
    const wchar_t* mimeType;
    bool converted;  // LPCM: converted and time-seekable; native: byte-seekable
};

const FormatEntryRow kRows[] = {
    {FormatEntry::Lpcm44100, L"LPCM", L"audio/L16;rate=44100;channels=2", true},
    {FormatEntry::Lpcm48000, L"LPCM", L"audio/L16;rate=48000;channels=2", true},
    {FormatEntry::Native3gpp, nullptr, L"audio/3gpp", false},
    {FormatEntry::NativeMp4, nullptr, L"audio/mp4", false},
};

VARIANT_BOOL Flag(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

}  // namespace

ComPtr<IMediaFormat> CreateFormatEntry(CHostClass& formats, FormatEntry entry) {
    const FormatEntryRow* row = kRows;
    while (row->entry != entry) ++row;
    const CHostMediaFormat format = CHostMediaFormat::Create(formats);
    if (row->profile) format.PutProfileName(row->profile);
    format.PutMimeType(row->mimeType);
    format.PutConverted(Flag(row->converted));
    format.PutByteSeekable(Flag(!row->converted));
    format.PutTimeSeekable(Flag(row->converted));
    return ComPtr<IMediaFormat>(format.get());
}

}  // namespace trn
