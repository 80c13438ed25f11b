// kw-gen-sounds OUTDIR: synthesises the five wave files of the installation (16-bit PCM, mono, 44.1 kHz) into
// OUTDIR. Every sound is built from a few enveloped sine partials, normalised to its own peak level well below
// full scale, faded in and out so it starts and ends on silence, and padded to at least half a second.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;
constexpr double kMinSeconds = 0.5;

using Samples = std::vector<double>;

struct Partial
{
    double ratio; // frequency as a multiple of the note's
    double amplitude; // relative to the fundamental
    double decay; // seconds for the partial to fall to 1/e
};

// One struck note: a short attack and an exponential decay per partial, so it rings like a soft bell.
void addNote(Samples& out, double start, double freq, double gain, double attack, const std::vector<Partial>& partials,
    double length)
{
    const auto first = static_cast<std::size_t>(start * kRate);
    const auto count = static_cast<std::size_t>(length * kRate);
    if (out.size() < first + count)
        out.resize(first + count, 0.0);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double rise = t < attack ? 0.5 - 0.5 * std::cos(kPi * t / attack) : 1.0;
        // The last 30 ms of the note fade to zero so that cutting it off never clicks.
        const double tail = std::min(1.0, (length - t) / 0.03);
        double v = 0.0;
        for (const Partial& p : partials)
            v += p.amplitude * std::exp(-t / p.decay) * std::sin(2.0 * kPi * freq * p.ratio * t);
        out[first + i] += gain * rise * tail * v;
    }
}

// A click: a very short pitched pluck whose pitch drops slightly, the way a soft key sounds.
void addClick(Samples& out, double freq, double decay, double drop)
{
    const auto count = static_cast<std::size_t>(8 * decay * kRate);
    if (out.size() < count)
        out.resize(count, 0.0);
    double phase = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double f = freq * (1.0 - drop * (1.0 - std::exp(-t / decay)));
        phase += 2.0 * kPi * f / kRate;
        const double rise = std::min(1.0, t / 0.0008);
        out[i] += rise * std::exp(-t / decay) * (std::sin(phase) + 0.25 * std::sin(2.0 * phase));
    }
}

// Scales the sound so its largest sample sits at peakDb below full scale, pads it with silence to the minimum
// length and ends it with a short fade.
Samples finish(Samples s, double peakDb)
{
    double peak = 0.0;
    for (double v : s)
        peak = std::max(peak, std::abs(v));
    const double scale = peak > 0.0 ? std::pow(10.0, peakDb / 20.0) / peak : 0.0;
    for (double& v : s)
        v *= scale;
    const std::size_t fade = kRate / 100;
    for (std::size_t i = 0; i < fade && i < s.size(); ++i)
        s[s.size() - 1 - i] *= static_cast<double>(i) / fade;
    const auto minimum = static_cast<std::size_t>(kMinSeconds * kRate) + kRate / 20;
    if (s.size() < minimum)
        s.resize(minimum, 0.0);
    return s;
}

const std::vector<Partial> kBell {{1.0, 1.0, 0.35}, {2.0, 0.28, 0.18}, {3.01, 0.08, 0.09}, {4.2, 0.03, 0.05}};
const std::vector<Partial> kSoftBell {{1.0, 1.0, 0.55}, {2.0, 0.12, 0.25}, {3.0, 0.03, 0.12}};

Samples buttonOver()
{
    Samples s;
    addClick(s, 2600.0, 0.0025, 0.1);
    return finish(s, -20.0);
}

Samples buttonClick()
{
    Samples s;
    addClick(s, 1250.0, 0.009, 0.18);
    return finish(s, -10.0);
}

// Rising: an arpeggio up a major chord, twice, the second time a step higher, so it reads as "something new".
Samples newIntruder()
{
    Samples s;
    const double notes[] = {659.26, 830.61, 987.77, 1318.51};
    for (int round = 0; round < 2; ++round) {
        const double lift = round == 0 ? 1.0 : 1.122462; // a whole tone up
        for (int n = 0; n < 4; ++n)
            addNote(s, round * 0.62 + n * 0.09, notes[n] * lift, n == 3 ? 1.0 : 0.75, 0.006, kBell, 0.6);
    }
    return finish(s, -3.0);
}

// Two-tone: high then low, twice, like a door chime.
Samples intruderOnline()
{
    Samples s;
    for (int round = 0; round < 2; ++round) {
        addNote(s, round * 0.56, 987.77, 1.0, 0.008, kBell, 0.7);
        addNote(s, round * 0.56 + 0.22, 783.99, 0.95, 0.008, kBell, 0.7);
    }
    return finish(s, -4.0);
}

// Reminder: one gentle falling pair, slower attack and well below the alerts.
Samples intruderStillOnline()
{
    Samples s;
    addNote(s, 0.0, 1046.5, 1.0, 0.03, kSoftBell, 1.0);
    addNote(s, 0.32, 783.99, 0.9, 0.03, kSoftBell, 1.1);
    return finish(s, -12.0);
}

void putLe(std::ofstream& f, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        f.put(static_cast<char>((v >> (8 * i)) & 0xFF));
}

bool writeWave(const std::filesystem::path& path, const Samples& s)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f)
        return false;
    const auto dataBytes = static_cast<std::uint32_t>(s.size() * 2);
    f.write("RIFF", 4);
    putLe(f, 36 + dataBytes, 4);
    f.write("WAVEfmt ", 8);
    putLe(f, 16, 4); // fmt chunk size
    putLe(f, 1, 2); // PCM
    putLe(f, 1, 2); // mono
    putLe(f, kRate, 4); // sample rate
    putLe(f, kRate * 2, 4); // byte rate
    putLe(f, 2, 2); // block align
    putLe(f, 16, 2); // bits per sample
    f.write("data", 4);
    putLe(f, dataBytes, 4);
    for (double v : s) {
        const long q = std::lround(std::clamp(v, -1.0, 1.0) * 32767.0);
        putLe(f, static_cast<std::uint32_t>(static_cast<std::int16_t>(q)) & 0xFFFF, 2);
    }
    return static_cast<bool>(f);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kw-gen-sounds OUTDIR\n");
        return 2;
    }
    const std::filesystem::path dir(argv[1]);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::pair<const char*, std::function<Samples()>> sounds[] = {
        {"Button_Over.wav", buttonOver},
        {"Button_Click.wav", buttonClick},
        {"New_Intruder.wav", newIntruder},
        {"Intruder_Online.wav", intruderOnline},
        {"Intruder_Still_Online.wav", intruderStillOnline},
    };
    for (const auto& [name, make] : sounds) {
        if (!writeWave(dir / name, make())) {
            std::fprintf(stderr, "kw-gen-sounds: cannot write %s\n", (dir / name).c_str());
            return 1;
        }
    }
    return 0;
}
