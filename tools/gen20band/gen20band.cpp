// gen20band: writes the 20-band graphic equalizer's band filter file "20Band".
//
// Design. The bands are laid out at the 7.5 kHz bandwidth's sample rate, 17200 Hz, with their
// centres at the frequencies the 20-band editor labels for that bandwidth (100, 300, ... 1900,
// 2200, 2700, 3200, 3800, 4400, 5000, 5600, 6200, 6800, 7400 Hz); at the other sample rates
// the same filters scale with fs, as the editor's labels do. Neighbouring bands are split at
// the geometric midpoint of their centres, e_i = sqrt(c_i * c_(i+1)), i = 0..18. With L(f)
// a linear-phase lowpass at cutoff f, the bands are complementary splits:
//
//     band 0 = L(e_0),   band i = L(e_i) - L(e_(i-1)) for i = 1..18,   band 19 = d - L(e_18)
//
// where d is the unit impulse at tap 127. The sum of all 20 bands telescopes to d, so with
// every band at 0 dB the equalizer is a pure 127-tap delay, exactly so in the stored integers
// (see the rounding in main). Each L is a windowed sinc of 255 taps, symmetric about tap 127 (taps 0 to
// 254; tap 255 stays 0), with a Hamming window: its transition (about 3.3 fs / 255 = 220 Hz)
// keeps the narrow low bands from spilling far into their neighbours while the window's
// -53 dB sidelobes keep a band's leakage low. Each band passes its own centre within about
// 0.6 dB (the narrow 200 Hz bands at the low end lose the most) and peaks between its split
// frequencies, while every other band is at least 24 dB down at that centre; band 0 and
// band 19 are the lowpass and highpass ends and are flat through their centres.
//
// Format: per band a label item "Band N (F Hz):" on its own line, then its 256 taps as
// integers at 1/256 of the processor's 24-bit scale (1.0 = 8388607 / 256, about 32768),
// eight to a line separated by commas, CR LF line ends.
//
// Usage: gen20band OUTPUT

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr double kSampleRate = 17200.0;
constexpr int kBands = 20;
constexpr int kTaps = 256;
constexpr int kCentre = 127;
constexpr double kPi = 3.14159265358979323846;
constexpr double kFileScale = 8388607.0 / 256.0;

constexpr double kCentres[kBands] = {100,  300,  500,  700,  900,  1100, 1300, 1500, 1700, 1900,
                                     2200, 2700, 3200, 3800, 4400, 5000, 5600, 6200, 6800, 7400};

std::vector<double> lowpass(double cutoff)
{
    std::vector<double> h(kTaps, 0.0);
    for (int k = 0; k <= 2 * kCentre; ++k) {
        const int n = k - kCentre;
        const double ideal = n == 0 ? 2.0 * cutoff / kSampleRate
                                    : std::sin(2.0 * kPi * cutoff * n / kSampleRate) / (kPi * n);
        const double window = 0.54 - 0.46 * std::cos(2.0 * kPi * k / (2.0 * kCentre));
        h[k] = ideal * window;
    }
    return h;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fputs("usage: gen20band OUTPUT\n", stderr);
        return 2;
    }
    std::vector<std::vector<double>> lows;
    for (int i = 0; i + 1 < kBands; ++i)
        lows.push_back(lowpass(std::sqrt(kCentres[i] * kCentres[i + 1])));

    FILE *out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    // Bands 0..18 are rounded to integers; band 19 takes the rest of the unit impulse, so the
    // stored bands sum to exactly 32767 at tap 127 and 0 elsewhere. The flat equalizer then
    // gives 32767 * 256 = 0x7FFF00 at its centre: just under 1.0, never past the 24-bit range
    // (independently rounded bands could sum to 32768, whose 0x800000 reads as -1.0).
    std::vector<std::vector<long>> stored(kBands, std::vector<long>(kTaps, 0));
    for (int k = 0; k < kTaps; ++k) {
        long rest = k == kCentre ? 32767 : 0;
        for (int band = 0; band + 1 < kBands; ++band) {
            const double lower = band > 0 ? lows[band - 1][k] : 0.0;
            stored[band][k] = std::lround((lows[band][k] - lower) * kFileScale);
            rest -= stored[band][k];
        }
        stored[kBands - 1][k] = k <= 2 * kCentre ? rest : 0;
    }
    for (int band = 0; band < kBands; ++band) {
        std::fprintf(out, "Band %d (%g Hz):\r\n", band + 1, kCentres[band]);
        for (int k = 0; k < kTaps; ++k)
            std::fprintf(out, "%ld%s", stored[band][k], (k % 8 == 7) ? "\r\n" : ",");
    }
    if (std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
