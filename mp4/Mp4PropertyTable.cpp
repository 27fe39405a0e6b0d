#include "mp4/Mp4PropertyTable.h"

#include <cwchar>

namespace {

const DWORD kTitl = MP4_FOURCC('t', 'i', 't', 'l');
const DWORD kDscp = MP4_FOURCC('d', 's', 'c', 'p');
const DWORD kCprt = MP4_FOURCC('c', 'p', 'r', 't');
const DWORD kPerf = MP4_FOURCC('p', 'e', 'r', 'f');
const DWORD kAuth = MP4_FOURCC('a', 'u', 't', 'h');
const DWORD kGnre = MP4_FOURCC('g', 'n', 'r', 'e');
const DWORD kRtng = MP4_FOURCC('r', 't', 'n', 'g');
const DWORD kClsf = MP4_FOURCC('c', 'l', 's', 'f');
const DWORD kKywd = MP4_FOURCC('k', 'y', 'w', 'd');
const DWORD kLoci = MP4_FOURCC('l', 'o', 'c', 'i');
const DWORD kAlbm = MP4_FOURCC('a', 'l', 'b', 'm');
const DWORD kYrrc = MP4_FOURCC('y', 'r', 'r', 'c');
const DWORD kGeob = MP4_FOURCC('G', 'E', 'O', 'B');
const DWORD kUfid = MP4_FOURCC('U', 'F', 'I', 'D');
const DWORD kTxxx = MP4_FOURCC('T', 'X', 'X', 'X');
const DWORD kTcom = MP4_FOURCC('T', 'C', 'O', 'M');
const DWORD kTpub = MP4_FOURCC('T', 'P', 'U', 'B');
const DWORD kTsrc = MP4_FOURCC('T', 'S', 'R', 'C');
const DWORD kTdat = MP4_FOURCC('T', 'D', 'A', 'T');
const DWORD kWxxx = MP4_FOURCC('W', 'X', 'X', 'X');
const DWORD kApic = MP4_FOURCC('A', 'P', 'I', 'C');
const DWORD kUslt = MP4_FOURCC('U', 'S', 'L', 'T');

const Mp4PropertyRow kRows[] = {
    {0x1001, MP4_KIND_STRING_3GPP, kTitl, L"", false, L"", 1},
    {0x1002, MP4_KIND_STRING_3GPP, kDscp, L"", false, L"", 1},
    {0x1003, MP4_KIND_STRING_3GPP, kCprt, L"", false, L"", 1},
    {0x1004, MP4_KIND_STRING_3GPP, kPerf, L"", false, L"", 1},
    {0x1005, MP4_KIND_STRING_3GPP, kAuth, L"", false, L"", 1},
    {0x1006, MP4_KIND_STRING_3GPP, kGnre, L"", false, L"", 1},
    {0x1007, MP4_KIND_RATING_3GPP, kRtng, L"", false, L"", 1},
    {0x1008, MP4_KIND_CLASSIFICATION_3GPP, kClsf, L"", false, L"", 1},
    {0x1009, MP4_KIND_KEYWORDS_3GPP, kKywd, L"", true, L"", 1},
    {0x100A, MP4_KIND_LOCATION_3GPP, kLoci, L"", false, L"", 1},
    {0x100B, MP4_KIND_ALBUM_3GPP, kAlbm, L"", false, L"", 1},
    {0x100C, MP4_KIND_ALBUM_3GPP, kAlbm, L"", false, L"", 1},
    {0x100D, MP4_KIND_YEAR_3GPP, kYrrc, L"", false, L"", 0},
    {0x2001, MP4_KIND_BINARY, kGeob, L"E_TCID", false, L"application/x-cp-mm-meta", 0},
    {0x2002, MP4_KIND_BINARY, kUfid, L"", false, L"", 0},
    {0x2003, MP4_KIND_BINARY, kGeob, L"PQZ_BKLSI", false, L"binary", 0},
    {0x2004, MP4_KIND_STRING_ID3V2, kTxxx, L"E_TIT2S", false, L"", 1},
    {0x2005, MP4_KIND_STRING_ID3V2, kTxxx, L"E_TPE1S", false, L"", 1},
    {0x200A, MP4_KIND_STRING_ID3V2, kTcom, L"", false, L"", 1},
    {0x2006, MP4_KIND_STRING_ID3V2, kTxxx, L"E_ALBMS", false, L"", 1},
    {0x2007, MP4_KIND_STRING_ID3V2, kTxxx, L"E_ATPE1", false, L"", 1},
    {0x2008, MP4_KIND_STRING_ID3V2, kTxxx, L"E_ATPE1S", false, L"", 1},
    {0x2009, MP4_KIND_STRING_ID3V2, kTxxx, L"E_ATP1I", false, L"", 1},
    {0x200B, MP4_KIND_STRING_ID3V2, kTpub, L"", false, L"", 1},
    {0x200C, MP4_KIND_STRING_ID3V2, kTsrc, L"", false, L"", 1},
    {0x200D, MP4_KIND_STRING_ID3V2, kTdat, L"", false, L"", 0},
    {0x2012, MP4_KIND_STRING_ID3V2, kWxxx, L"BBPUB", false, L"", 0},
    {0x2013, MP4_KIND_STRING_ID3V2, kWxxx, L"BBOAR", false, L"", 0},
    {0x200E, MP4_KIND_BINARY, kApic, L"FTHBL", true, L"", 1},
    {0x2014, MP4_KIND_STRING_ID3V2, kTxxx, L"E_FPRTH", true, L"", 1},
    {0x2015, MP4_KIND_STRING_ID3V2, kTxxx, L"E_FCRTH", true, L"", 1},
    {0x200F, MP4_KIND_BINARY, kApic, L"FAECA", true, L"", 1},
    {0x2016, MP4_KIND_STRING_ID3V2, kTxxx, L"E_FPRCA", true, L"", 1},
    {0x2017, MP4_KIND_STRING_ID3V2, kTxxx, L"E_FCRCA", true, L"", 1},
    {0x2010, MP4_KIND_BINARY, kApic, L"LYRIC", true, L"", 1},
    {0x2018, MP4_KIND_STRING_ID3V2, kTxxx, L"E_FPRLR", true, L"", 1},
    {0x2019, MP4_KIND_STRING_ID3V2, kTxxx, L"E_FCRLR", true, L"", 1},
    {0x2011, MP4_KIND_STRING_ID3V2, kUslt, L"", false, L"", 1},
    {0x201A, MP4_KIND_BINARY, kGeob, L"USR_MTDID", false, L"binary", 1},
    {0x201B, MP4_KIND_BINARY, kGeob, L"USR_SMFMF", false, L"application/SMFMF", 1},
};

const size_t kRowCount = sizeof(kRows) / sizeof(kRows[0]);

bool DescriptionMatches(const Mp4PropertyRow& row, const wchar_t* pszDescription) {
    if (row.pszDescription[0] == L'\0') return true;
    if (pszDescription == nullptr) return false;
    if (row.bMultiValued) {
        size_t cch = std::wcslen(row.pszDescription);
        return std::wcsncmp(row.pszDescription, pszDescription, cch) == 0;
    }
    return std::wcscmp(row.pszDescription, pszDescription) == 0;
}

}  // namespace

const Mp4PropertyRow* Mp4PropertyRows(size_t* pcRows) {
    if (pcRows) *pcRows = kRowCount;
    return kRows;
}

const Mp4PropertyRow* Mp4FindPropertyById(DWORD dwPropertyId) {
    for (const Mp4PropertyRow& row : kRows)
        if (row.dwPropertyId == dwPropertyId) return &row;
    return nullptr;
}

const Mp4PropertyRow* Mp4FindPropertyByBoxId(DWORD dwBoxId) {
    for (const Mp4PropertyRow& row : kRows)
        if (row.dwBoxId == dwBoxId) return &row;
    return nullptr;
}

const Mp4PropertyRow* Mp4FindPropertyByFrame(DWORD dwFrameId, const wchar_t* pszDescription) {
    for (const Mp4PropertyRow& row : kRows)
        if (row.dwBoxId == dwFrameId && DescriptionMatches(row, pszDescription)) return &row;
    return nullptr;
}

bool Mp4IsMultiValued(DWORD dwPropertyId) {
    const Mp4PropertyRow* pRow = Mp4FindPropertyById(dwPropertyId);
    return pRow != nullptr && pRow->bMultiValued;
}
