#include "StreamCommand.h"

#include <functional>
#include <memory>

#include "BlockPump.h"
#include "Output.h"
#include "Server.h"

namespace trnhost {
namespace {

// The stream's blocks into the output, and the progress after every read.
class OutputBlocks : public BlockSink {
public:
    typedef std::function<void(uint64_t total, bool end)> Progress;
    OutputBlocks(ByteSink& sink, Progress progress) : m_sink(sink), m_progress(std::move(progress)) {}

    bool Take(uint8_t* data, size_t size, bool end) override {
        if (size) m_sink.Write(data, size);
        m_total += size;
        m_progress(m_total, end);
        return true;
    }

private:
    ByteSink& m_sink;
    Progress m_progress;
    uint64_t m_total = 0;
};

}  // namespace

int RunStream(const Arguments& args) {
    const std::wstring& path = args.operands[0];
    FormatOperand(args.operands[1]);
    const ComApartment apartment;
    Server server(args.progid);
    const std::vector<OfferedFormat> offered = server.FormatsFor(path);
    const OfferedFormat& format = ChooseFormat(server, path, offered, args.operands[1]);
    const bool lpcm = format.profile == L"LPCM";
    const std::wstring name = format.ShortName().empty() ? format.mimeType : format.ShortName();
    if (args.wav && !lpcm) {
        HostError error(FailureKind::BadFormat, E_INVALIDARG, L"--wav with " + name);
        error.hint = L"WAV holds decoded PCM: choose lpcm44 or lpcm48";
        throw error;
    }
    const PcmFacts pcm = ParsePcmMime(format.mimeType);

    const ComPtr<ITrnMediaTranscoder> transcoder = server.CreateTranscoder();
    {
        const PathVariant source(path);
        Check(transcoder->Open(source.get(), format.object.get()), L"Open(" + path + L", " + format.mimeType + L")");
    }
    int64_t startMs = 0;
    if (args.startMs >= 0) {
        LONG actual = 0;
        LONGLONG bytePosition = 0;
        const HRESULT hr = transcoder->SetTimePosition(static_cast<LONG>(args.startMs), &actual, &bytePosition);
        if (FAILED(hr)) {
            try {
                ThrowCall(hr, L"SetTimePosition(" + std::to_wstring(args.startMs) + L")");
            } catch (HostError& error) {
                if (format.timeSeekable != VARIANT_TRUE) error.hint = name + L" is not time-seekable; use --start-byte";
                throw;
            }
        }
        startMs = actual;
    }
    if (args.startByte >= 0) {
        const HRESULT hr = transcoder->SetBytePosition(args.startByte);
        if (FAILED(hr)) {
            try {
                ThrowCall(hr, L"SetBytePosition(" + std::to_wstring(args.startByte) + L")");
            } catch (HostError& error) {
                if (format.byteSeekable != VARIANT_TRUE) error.hint = name + L" is not byte-seekable; use --start-ms";
                throw;
            }
        }
    }
    LONG durationMs = -1;
    LONGLONG length = -1;
    Check(transcoder->GetDuration(&durationMs), L"GetDuration");
    Check(transcoder->GetLength(&length), L"GetLength");

    OutputFile output(args.output);
    std::unique_ptr<ByteSink> sink;
    if (args.wav)
        sink.reset(new WavSink(output, pcm.rate, static_cast<uint16_t>(pcm.channels)));
    else
        sink.reset(new RawSink(output));
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    ProgressLine progress(!args.quiet && IsTerminal(err));

    Check(transcoder->Start(), L"Start");
    OutputBlocks blocks(*sink, [&](uint64_t total, bool end) {
        if (lpcm)
            progress.Update(total, startMs + PcmBytesToMs(total, pcm.rate, pcm.channels), durationMs, end);
        else
            progress.UpdateBytes(total + (args.startByte > 0 ? args.startByte : 0), length, end);
    });
    PumpResult pumped;
    try {
        pumped = PumpBlocks(transcoder.get(), args.block, ~uint64_t(0), blocks);
    } catch (...) {
        transcoder->Stop();
        throw;
    }
    const uint64_t total = pumped.bytes;
    switch (pumped.outcome) {
        case PumpResult::Outcome::ReadFailed:
            transcoder->Stop();
            ThrowCall(pumped.hr, L"Read after " + std::to_wstring(total) + L" bytes");
        case PumpResult::Outcome::NotBytes:
            transcoder->Stop();
            throw HostError(FailureKind::Failure, E_UNEXPECTED, L"Read returned an array that is not of bytes");
        case PumpResult::Outcome::AccessFailed:
            Check(pumped.hr, L"SafeArrayAccessData");
            break;
        case PumpResult::Outcome::Stalled:
            // Roughly a minute without a byte and without an end.
            transcoder->Stop();
            throw HostError(FailureKind::Failure, HRESULT_FROM_WIN32(ERROR_TIMEOUT),
                            L"Read: no data and no end of stream after " + std::to_wstring(total) + L" bytes");
        case PumpResult::Outcome::End:
        case PumpResult::Outcome::Limit:
        case PumpResult::Outcome::SinkStopped:
            break;
    }
    Check(transcoder->Stop(), L"Stop");
    transcoder->Close();
    sink->Finish();

    if (!output.isStdout()) {
        std::wstring summary = args.output + L": " + std::to_wstring(total + (args.wav ? 44 : 0)) + L" bytes, ";
        if (lpcm) {
            const std::string plays = ClockText(PcmBytesToMs(total, pcm.rate, pcm.channels));
            summary += L"plays " + std::wstring(plays.begin(), plays.end()) + L", " + std::to_wstring(pcm.rate) +
                       L" Hz " + std::to_wstring(pcm.channels) + L" channels 16 bit" +
                       (args.wav ? L" WAV" : L" big-endian L16");
            if (startMs) summary += L" from " + std::to_wstring(startMs) + L" ms";
        } else {
            const std::string plays = ClockText(durationMs);
            summary += format.mimeType + L" unchanged";
            if (args.startByte > 0)
                summary += L" from byte " + std::to_wstring(args.startByte);
            else
                summary += L", plays " + std::wstring(plays.begin(), plays.end());
        }
        PrintOut(summary + L"\n");
    }
    return 0;
}

}  // namespace trnhost
