// Where trnhost writes: text on the standard streams, stream bytes to a
// file or standard output (raw, or as WAV), and the progress line.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/UniqueResource.h"

namespace trnhost {

// UTF-8 text on standard output / standard error (LF line ends, unbuffered
// by the C runtime so that it interleaves with stream data correctly).
void PrintOut(const std::string& utf8);
void PrintOut(const std::wstring& text);
void PrintErr(const std::wstring& text);

// True when the handle is a console or a terminal (not a file or a pipe).
bool IsTerminal(HANDLE handle);

// The bytes of a stream, as they leave the host.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // data may be changed in place (byte order).
    virtual void Write(uint8_t* data, size_t count) = 0;
    // Completes the output; before it the file is not whole.
    virtual void Finish() = 0;
};

// The output file ("-" is standard output); a file not finished is deleted.
class OutputFile {
public:
    explicit OutputFile(const std::wstring& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    void Write(const uint8_t* data, size_t count);
    // Rewrites bytes at the start; false when the output cannot seek.
    bool RewriteStart(const std::vector<uint8_t>& bytes);
    void Keep();
    bool isStdout() const { return m_stdout; }

private:
    std::wstring m_path;
    UniqueFileHandle m_owned;
    HANDLE m_handle;
    bool m_stdout;
    bool m_keep = false;
};

// Unchanged bytes: big-endian L16 or the source file.
class RawSink : public ByteSink {
public:
    explicit RawSink(OutputFile& file) : m_file(file) {}
    void Write(uint8_t* data, size_t count) override { m_file.Write(data, count); }
    void Finish() override { m_file.Keep(); }

private:
    OutputFile& m_file;
};

// Big-endian L16 turned into a little-endian PCM WAV file; the header is
// rewritten with the real size at the end when the output can seek.
class WavSink : public ByteSink {
public:
    WavSink(OutputFile& file, uint32_t rate, uint16_t channels);
    void Write(uint8_t* data, size_t count) override;
    void Finish() override;

private:
    OutputFile& m_file;
    uint32_t m_rate;
    uint16_t m_channels;
    uint64_t m_bytes = 0;
};

// "\r  bytes  position  speed" on standard error, at most a few times a second.
class ProgressLine {
public:
    explicit ProgressLine(bool enabled);
    // position/total in milliseconds of audio, or byte counts for pass-through.
    void Update(uint64_t bytes, int64_t positionMs, int64_t totalMs, bool final);
    void UpdateBytes(uint64_t bytes, int64_t totalBytes, bool final);
    bool enabled() const { return m_enabled; }

private:
    bool Due(bool final);
    void Show(const std::wstring& text, bool final);
    bool m_enabled;
    ULONGLONG m_started;
    ULONGLONG m_last = 0;
    size_t m_width = 0;
};

}  // namespace trnhost
