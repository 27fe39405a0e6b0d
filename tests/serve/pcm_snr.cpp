// pcm_snr: how closely one 16-bit PCM recording matches another, at the best
// alignment within a search span. The serve tests use it to compare what a
// player wrote with a reference decode, where a player may start a few
// samples early or late. Native, no dependencies; input is untrusted.
//
//   pcm_snr --rate R [--channels C] [--seconds S] [--search N] REF GOT
//
// REF and GOT are FORMAT:PATH, FORMAT one of s16be, s16le (headerless) or wav
// (16-bit PCM, which must be at R Hz). The window of S seconds starts N frames
// into GOT and is compared with REF shifted by every d in [-N, N]; prints
// "snr=DB shift=D frames=W" for the best d (GOT frame i is REF frame i+d).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Pcm {
    std::vector<int16_t> samples;  // interleaved
    unsigned channels = 0;
    unsigned rate = 0;  // 0 when the file does not say
};

bool ReadFile(const std::string& path, std::vector<unsigned char>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
unsigned Le16(const unsigned char* p) { return p[0] | p[1] << 8; }

void Decode(const unsigned char* p, size_t size, bool bigEndian, Pcm& pcm) {
    pcm.samples.resize(size / 2);
    for (size_t i = 0; i < pcm.samples.size(); ++i, p += 2) {
        pcm.samples[i] = static_cast<int16_t>(bigEndian ? p[0] << 8 | p[1] : p[1] << 8 | p[0]);
    }
}

// A RIFF WAVE file of 16-bit PCM: its fmt chunk and the samples of its data
// chunk. A data chunk whose size overruns the file (a writer that never
// patched it) is taken to the end of the file.
std::string ParseWav(const std::vector<unsigned char>& b, Pcm& pcm) {
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) {
        return "not a RIFF WAVE file";
    }
    bool haveFormat = false;
    size_t pos = 12;
    while (pos <= b.size() && b.size() - pos >= 8) {
        const unsigned char* chunk = b.data() + pos;
        const size_t size = Le32(chunk + 4);
        const size_t left = b.size() - pos - 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || size > left) return "a short fmt chunk";
            const unsigned tag = Le16(chunk + 8);
            const unsigned bits = Le16(chunk + 22);
            if ((tag != 1 && tag != 0xFFFE) || bits != 16) return "not 16-bit PCM";
            pcm.channels = Le16(chunk + 10);
            pcm.rate = Le32(chunk + 12);
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) return "data before fmt";
            Decode(chunk + 8, size < left ? size : left, false, pcm);
            return "";
        }
        if (size > left) break;
        pos += 8 + size + (size & 1);
    }
    return "no data chunk";
}

std::string Load(const std::string& spec, unsigned channels, Pcm& pcm) {
    const size_t colon = spec.find(':');
    if (colon == std::string::npos) return "not FORMAT:PATH";
    const std::string format = spec.substr(0, colon);
    std::vector<unsigned char> bytes;
    if (!ReadFile(spec.substr(colon + 1), bytes)) return "cannot be read";
    if (format == "wav") {
        std::string error = ParseWav(bytes, pcm);
        if (!error.empty()) return error;
        if (pcm.channels != channels) return "has " + std::to_string(pcm.channels) + " channels";
        return "";
    }
    if (format != "s16be" && format != "s16le") return "format " + format + " (s16be, s16le or wav)";
    Decode(bytes.data(), bytes.size(), format == "s16be", pcm);
    pcm.channels = channels;
    return "";
}

struct Match {
    double snrDb = -INFINITY;
    long shift = 0;
};

// Signal over error, in dB, of GOT's samples against REF's.
double SnrDb(const int16_t* ref, const int16_t* got, size_t count) {
    double signal = 0, error = 0;
    for (size_t i = 0; i < count; ++i) {
        const double r = ref[i], d = r - got[i];
        signal += r * r;
        error += d * d;
    }
    if (signal == 0) return -INFINITY;
    if (error == 0) return 999;
    return 10 * std::log10(signal / error);
}

Match BestMatch(const Pcm& ref, const Pcm& got, size_t frames, long search) {
    const unsigned c = ref.channels;
    const int16_t* window = got.samples.data() + search * c;
    Match best;
    for (long d = -search; d <= search; ++d) {
        const double snr = SnrDb(ref.samples.data() + (search + d) * c, window, frames * c);
        if (snr > best.snrDb) best = {snr, d};
    }
    return best;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: pcm_snr --rate R [--channels C] [--seconds S] [--search N] REF GOT\n"
                 "  REF, GOT: s16be:PATH, s16le:PATH or wav:PATH\n");
    return 2;
}

bool ParseNumber(const char* text, double low, double high, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
    double channels = 2, rate = 0, seconds = 2, search = 1024;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        double* option = nullptr;
        if (arg == "--channels") option = &channels;
        if (arg == "--rate") option = &rate;
        if (arg == "--seconds") option = &seconds;
        if (arg == "--search") option = &search;
        if (option) {
            if (++i == argc || !ParseNumber(argv[i], 0, 1e6, *option)) return Usage();
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2 || rate < 1 || channels < 1 || channels != std::floor(channels) ||
        search != std::floor(search)) {
        return Usage();
    }

    Pcm ref, got;
    const char* names[] = {"REF", "GOT"};
    Pcm* pcms[] = {&ref, &got};
    for (int k = 0; k < 2; ++k) {
        std::string error = Load(files[k], static_cast<unsigned>(channels), *pcms[k]);
        if (error.empty() && pcms[k]->rate != 0 && pcms[k]->rate != rate) {
            error = "is at " + std::to_string(pcms[k]->rate) + " Hz";
        }
        if (!error.empty()) {
            std::fprintf(stderr, "pcm_snr: %s %s: %s\n", names[k], files[k].c_str(), error.c_str());
            return 1;
        }
    }

    // Both must hold the whole window and the search span around it: a player
    // that stopped early is a finding, not a shorter comparison.
    const size_t c = ref.channels;
    const size_t span = static_cast<size_t>(search);
    const size_t frames = static_cast<size_t>(seconds * rate);
    const size_t refFrames = ref.samples.size() / c, gotFrames = got.samples.size() / c;
    if (frames == 0 || gotFrames < span + frames || refFrames < 2 * span + frames) {
        std::fprintf(stderr, "pcm_snr: too short to compare %zu frames: REF has %zu, GOT %zu (search %zu)\n", frames,
                     refFrames, gotFrames, span);
        return 1;
    }
    const Match best = BestMatch(ref, got, frames, static_cast<long>(span));
    if (std::isinf(best.snrDb)) {
        std::fprintf(stderr, "pcm_snr: REF is silent there\n");
        return 1;
    }
    std::printf("snr=%.1f shift=%ld frames=%zu\n", best.snrDb, best.shift, frames);
    return 0;
}
