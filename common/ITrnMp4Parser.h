// What the info object and the transcoder learn about one MP4-family audio
// file. One parser serves one file: it is opened once and then only read.
#pragma once

#include <boost/shared_ptr.hpp>

#include <windows.h>

#include <string>

class ITrnMp4Parser {
public:
    virtual ~ITrnMp4Parser() {}

    // Reads the file. Raises log4tarn::Exception (already logged) when the
    // file or the MP4 library cannot be opened, and a bare HRESULT when the
    // header is short or its file-type box malformed. Track and codec
    // failures are not raised: they leave the codec values and duration 0.
    virtual void Open(const wchar_t* path) = 0;
    // The path given to a completed Open; empty before.
    virtual std::wstring GetFilePath() = 0;
    virtual ULONGLONG GetFileSize() = 0;
    virtual bool HasVideo() = 0;
    virtual bool Is3gppBrand() = 0;
    virtual bool IsMp4Brand() = 0;
    virtual DWORD GetSamplingFrequency() = 0;
    // Whole seconds times 1000.
    virtual DWORD GetDurationMs() = 0;
    virtual DWORD GetQuantizedBits() = 0;
    virtual DWORD GetChannelCount() = 0;
    // Bits per second, from the decoder configuration.
    virtual DWORD GetAvgBitRate() = 0;
    // AAC LC without parametric stereo, a common rate, mono or stereo.
    virtual bool IsSupportedAudio() = 0;
};

typedef boost::shared_ptr<ITrnMp4Parser> TrnMp4ParserPtr;

// A new, unopened parser. Throws E_OUTOFMEMORY as a bare HRESULT, or
// CAtlException when its lock cannot be initialised.
TrnMp4ParserPtr CreateMp4Parser();
