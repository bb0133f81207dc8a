// Writes a demo firmware image: the stand-in mark at offset 0 (device/standinfirmware.h: the
// program refuses to send a marked file to a processor unless the developer switch is on),
// deterministic filler up to 761856 bytes, and the version as two packed-BCD bytes at
// 0xB9FFC (major) and 0xB9FFD (minor); the last two bytes are 0x00.
// usage: korvane-fwgen OUT MAJOR.MINOR      (for example 1.05 -> 0x01 0x05, version 105)

#include "device/standinfirmware.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kSize = 761856;
constexpr std::size_t kVersionOffset = 0xB9FFC;

bool parseVersion(const char *text, int &major, int &minor)
{
    const std::string s(text);
    const auto dot = s.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 >= s.size())
        return false;
    char *end = nullptr;
    major = static_cast<int>(std::strtol(s.c_str(), &end, 10));
    if (end != s.c_str() + dot)
        return false;
    const std::string minorText = s.substr(dot + 1);
    minor = static_cast<int>(std::strtol(minorText.c_str(), &end, 10));
    if (*end != '\0')
        return false;
    return major >= 0 && major <= 99 && minor >= 0 && minor <= 99;
}

uint8_t toBcd(int v) { return static_cast<uint8_t>(((v / 10) << 4) | (v % 10)); }

} // namespace

int main(int argc, char **argv)
{
    int major = 0;
    int minor = 0;
    if (argc != 3 || !parseVersion(argv[2], major, minor)) {
        std::fprintf(stderr, "usage: korvane-fwgen OUT MAJOR.MINOR  (each part 0..99)\n");
        return 2;
    }
    std::vector<uint8_t> image(kSize, 0);
    // Filler: a 32-bit linear congruential sequence, the same on every machine.
    uint32_t state = 0x4B4F5256u;
    for (std::size_t i = 0; i < kVersionOffset; ++i) {
        state = state * 1664525u + 1013904223u;
        image[i] = static_cast<uint8_t>(state >> 24);
    }
    std::memcpy(image.data(), korvane::kStandInFirmwareMarker, korvane::kStandInFirmwareMarkerLength);
    image[kVersionOffset] = toBcd(major);
    image[kVersionOffset + 1] = toBcd(minor);

    const std::string tmp = std::string(argv[1]) + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        std::perror(tmp.c_str());
        return 1;
    }
    const bool written = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    if (std::fclose(f) != 0 || !written || std::rename(tmp.c_str(), argv[1]) != 0) {
        std::perror(argv[1]);
        std::remove(tmp.c_str());
        return 1;
    }
    return 0;
}
