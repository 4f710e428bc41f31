// Where the watermark copies of a track go, and which part of it a clip takes.
#include "Placement.h"

#include "Loudness.h"

#include <algorithm>
#include <cmath>

wxString ClockText(int seconds) {
    return wxString::Format("%d:%02d", seconds / 60, seconds % 60);
}

wxString LengthText(int seconds) {
    return wxString::Format("%02d:%02d", seconds / 60, seconds % 60);
}

bool ParseClockText(const wxString& text, int& seconds) {
    const wxString trimmed = wxString(text).Trim(true).Trim(false);
    const bool clock = trimmed.Contains(":");
    const wxString minutesPart = clock ? trimmed.BeforeFirst(':') : wxString("0");
    const wxString secondsPart = clock ? trimmed.AfterFirst(':') : trimmed;
    auto digits = [](const wxString& part) {
        return !part.empty() && part.find_first_not_of("0123456789") == wxString::npos;
    };
    unsigned long minutes = 0, rest = 0;
    if (!digits(minutesPart) || !digits(secondsPart) || !minutesPart.ToULong(&minutes) ||
        !secondsPart.ToULong(&rest) || (clock && (rest > 59 || secondsPart.length() != 2)))
        return false;
    const unsigned long total = minutes * 60 + rest;
    if (minutes > static_cast<unsigned long>(g_maxClipStart) || total > g_maxClipStart)
        return false;
    seconds = static_cast<int>(total);
    return true;
}

std::vector<int> WatermarkPositions(int length, int start, int interval) {
    std::vector<int> positions;
    if (interval <= 0 || start < 0)
        return positions;
    for (long long at = start; at <= static_cast<long long>(length) - 1; at += interval)
        positions.push_back(static_cast<int>(at));
    return positions;
}

wxString SecondsText(double seconds) {
    const double hundredths = std::round(seconds * 100) / 100;
    if (hundredths == std::floor(hundredths))
        return wxString::Format("%.0f s", hundredths);
    wxString text = wxString::FromCDouble(hundredths, 2);
    if (text.EndsWith("0"))
        text.RemoveLast();
    return text + " s";
}

namespace {

// splitmix64: small, and the same numbers on every host.
uint64_t NextRandom(uint64_t& state) {
    uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// Uniform in [-1, 1].
double Spread(uint64_t& state) {
    return static_cast<double>(NextRandom(state) >> 11) / static_cast<double>(1ULL << 52) - 1.0;
}

// Below this many LU under the track's loudness, a stretch counts as near silence.
constexpr double kQuietBelowTrack = 20;

} // namespace

uint64_t AudioHash(const LoudnessProfile& music) {
    // FNV-1a over the length and the block loudness to a tenth of a LU:
    // the same decode gives the same figures wherever it runs.
    uint64_t hash = 0xcbf29ce484222325ULL;
    auto add = [&hash](long long value) {
        for (int i = 0; i < 8; ++i) {
            hash ^= static_cast<uint64_t>(value >> (8 * i)) & 0xff;
            hash *= 0x100000001b3ULL;
        }
    };
    add(music.rate);
    add(music.frames);
    for (float loudness : music.blockLoudness)
        add(std::isfinite(loudness) ? std::llround(loudness * 10.0) : -1000000);
    return hash;
}

std::vector<double> VariedPositions(const std::vector<int>& regular, double length,
                                    const VaryRequest& request) {
    std::vector<double> placed(regular.begin(), regular.end());
    const size_t copies = regular.size();
    auto soundOf = [&request](size_t k) {
        return request.soundSeconds.empty()
                   ? 0.0
                   : request.soundSeconds[std::min(k, request.soundSeconds.size() - 1)];
    };
    const int vary = std::min(request.vary, g_maxVary);
    if (vary <= 0 || copies == 0)
        return placed;
    // Copies that must keep a second between them already: no room to move.
    for (size_t k = 0; k + 1 < copies; ++k) {
        if (regular[k + 1] - regular[k] < soundOf(k) + 1)
            return placed;
    }
    uint64_t state = (static_cast<uint64_t>(request.seed) << 32 | request.seed) ^
                     (request.music ? AudioHash(*request.music) : 0);
    const LoudnessProfile* music = request.music;
    const double quiet = music && std::isfinite(music->integrated)
                             ? music->integrated - kQuietBelowTrack
                             : -HUGE_VAL;
    auto isQuiet = [&](double at, size_t k) {
        if (!std::isfinite(quiet))
            return false;
        const double from = request.musicOffset + at;
        return music->LoudnessBetween(from, from + std::max(soundOf(k), 0.1)) < quiet;
    };
    placed.clear();
    // Places to the hundredth of a second, as they are shown.
    auto hundredths = [](double at) { return std::round(at * 100) / 100; };
    double earliest = 0;
    for (size_t k = 0; k < copies; ++k) {
        const double lo =
            std::ceil(std::max({0.0, regular[k] - static_cast<double>(vary), earliest}) * 100 -
                      1e-6) /
            100;
        const double hi = std::min(regular[k] + static_cast<double>(vary),
                                   std::max<double>(regular[k], length - 1));
        if (lo > hi)
            break; // pushed past the end: no room left for this copy
        double at = std::clamp(hundredths(regular[k] + vary * Spread(state)), lo, hi);
        if (isQuiet(at, k)) {
            // The nearest louder spot in the range, a tenth of a second at a time.
            for (int step = 1; at - step * 0.1 >= lo || at + step * 0.1 <= hi; ++step) {
                const double sooner = hundredths(at - step * 0.1),
                             later = hundredths(at + step * 0.1);
                if (sooner >= lo && !isQuiet(sooner, k)) {
                    at = sooner;
                    break;
                }
                if (later <= hi && !isQuiet(later, k)) {
                    at = later;
                    break;
                }
            }
        }
        placed.push_back(at);
        earliest = at + soundOf(k) + 1;
    }
    return placed;
}

int ClipFrom(int length, int clipLength, int clipStart) {
    // length drops the fraction: the track holds at least that much.
    if (clipLength <= 0 || length < clipLength)
        return -1;
    return std::min(std::max(clipStart, 0), length - clipLength);
}
