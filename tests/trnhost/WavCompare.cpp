// trn_wav_compare REF.wav GOT.wav BELOW_HZ: how closely a streamed WAV file
// follows a reference decode of the same source, for the trnhost spectrum
// test. Prints one figure per line for the script to judge:
//   ref RATE CHANNELS FRAMES / got RATE CHANNELS FRAMES
//   lag FRAMES       GOT's offset against REF that lines them up best
//   snr DB           sample-level, all channels, over the aligned overlap
//   band-snr DB      the complex spectra below BELOW_HZ, worst channel
//   level-worst DB   largest level difference of a 250 Hz band below
//                    BELOW_HZ among those within 50 dB of the strongest
//   peak REF_HZ GOT_HZ  the strongest frequency of the first channel
// Exit code 2 for a file that is not 16-bit PCM WAV.
#include "Spectrum.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

struct Wav {
    unsigned rate = 0;
    unsigned channels = 0;
    std::vector<int16_t> pcm;  // interleaved
    size_t Frames() const { return channels ? pcm.size() / channels : 0; }
};

uint32_t Le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
unsigned Le16(const unsigned char* p) { return p[0] | (p[1] << 8); }

// The "fmt " and "data" chunks; a data size beyond the file (a stream to a
// pipe claims the largest) means up to the end.
bool ReadWav(const char* path, Wav& wav) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), {});
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4)) return false;
    size_t at = 12;
    bool haveFormat = false;
    while (at + 8 <= b.size()) {
        const uint32_t size = Le32(&b[at + 4]);
        const size_t body = at + 8;
        if (!std::memcmp(&b[at], "fmt ", 4) && size >= 16 && body + 16 <= b.size()) {
            if (Le16(&b[body]) != 1 || Le16(&b[body + 14]) != 16) return false;
            wav.channels = Le16(&b[body + 2]);
            wav.rate = Le32(&b[body + 4]);
            haveFormat = wav.channels > 0 && wav.rate > 0;
        } else if (!std::memcmp(&b[at], "data", 4)) {
            if (!haveFormat) return false;
            const size_t end = size > b.size() - body ? b.size() : body + size;
            wav.pcm.resize((end - body) / 2);
            for (size_t i = 0; i < wav.pcm.size(); ++i) wav.pcm[i] = int16_t(Le16(&b[body + 2 * i]));
            wav.pcm.resize(wav.Frames() * wav.channels);
            return true;
        }
        if (size > b.size() - body) return false;
        at = body + size + (size & 1);
    }
    return false;
}

// Lag of `got` (got[i + lag] ~ ref[i]) with the largest normalised
// correlation of the first channels over the opening stretch of `ref`.
long BestLag(const Wav& ref, const Wav& got, long maxLag) {
    const size_t span = std::min<size_t>(ref.Frames(), 16384);
    long best = 0;
    double bestScore = -2;
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = 0; i < span; ++i) {
            const long j = long(i) + lag;
            if (j < 0 || size_t(j) >= got.Frames()) continue;
            const double x = ref.pcm[i * ref.channels], y = got.pcm[size_t(j) * got.channels];
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
        const double score = xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : -1;
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

// Frames [from, from + count) of `w`, all channels.
std::vector<int16_t> Slice(const Wav& w, size_t from, size_t count) {
    return std::vector<int16_t>(w.pcm.begin() + long(from * w.channels),
                                w.pcm.begin() + long((from + count) * w.channels));
}

double PeakHz(const std::vector<spectrum::Bins>& frames, unsigned rate) {
    std::vector<double> sum(spectrum::kWindow / 2);
    for (const spectrum::Bins& f : frames)
        for (size_t k = 1; k < sum.size(); ++k) sum[k] += std::norm(f[k]);
    size_t peak = 1;
    for (size_t k = 1; k < sum.size(); ++k)
        if (sum[k] > sum[peak]) peak = k;
    return double(peak) * rate / spectrum::kWindow;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: trn_wav_compare REF.wav GOT.wav BELOW_HZ\n");
        return 2;
    }
    Wav ref, got;
    if (!ReadWav(argv[1], ref) || !ReadWav(argv[2], got)) {
        std::fprintf(stderr, "trn_wav_compare: not a 16-bit PCM WAV file\n");
        return 2;
    }
    const double below = std::atof(argv[3]);
    std::printf("ref %u %u %zu\ngot %u %u %zu\n", ref.rate, ref.channels, ref.Frames(), got.rate, got.channels,
                got.Frames());
    if (ref.rate != got.rate || ref.channels != got.channels || ref.Frames() < spectrum::kWindow ||
        got.Frames() < spectrum::kWindow)
        return 1;

    const long lag = BestLag(ref, got, 4096);
    const size_t refFrom = lag < 0 ? size_t(-lag) : 0, gotFrom = lag > 0 ? size_t(lag) : 0;
    const size_t overlap =
        std::min(ref.Frames() - std::min(refFrom, ref.Frames()), got.Frames() - std::min(gotFrom, got.Frames()));
    const std::vector<int16_t> r = Slice(ref, refFrom, overlap), g = Slice(got, gotFrom, overlap);
    std::printf("lag %ld\nsnr %.1f\n", lag, spectrum::SnrDb(r.data(), g.data(), r.size()));

    double bandSnr = 1e9, worstLevel = 0, refPeak = 0, gotPeak = 0;
    for (unsigned c = 0; c < ref.channels; ++c) {
        const auto rf = spectrum::Frames(r, ref.channels, c, overlap);
        const auto gf = spectrum::Frames(g, got.channels, c, overlap);
        bandSnr = std::min(bandSnr, spectrum::BandSnrDb(rf, gf, ref.rate, 0, below));
        double strongest = 0;
        for (double low = 0; low + 250 <= below; low += 250)
            strongest = std::max(strongest, spectrum::BandEnergy(rf, ref.rate, low, low + 250));
        for (double low = 0; low + 250 <= below; low += 250) {
            if (spectrum::BandEnergy(rf, ref.rate, low, low + 250) < strongest * 1e-5) continue;
            worstLevel = std::max(worstLevel, std::abs(spectrum::LevelDb(rf, gf, ref.rate, low, low + 250)));
        }
        if (c == 0) {
            refPeak = PeakHz(rf, ref.rate);
            gotPeak = PeakHz(gf, got.rate);
        }
    }
    std::printf("band-snr %.1f\nlevel-worst %.2f\npeak %.1f %.1f\n", bandSnr, worstLevel, refPeak, gotPeak);
    return 0;
}
