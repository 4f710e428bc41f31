// How loud each watermark copy sounds against the music, and how far the
// music dips under it.
#include "LevelPlan.h"

#include <algorithm>
#include <cmath>

namespace {

// Music quieter than this is taken as this: a tag in a silent stretch is
// set against a quiet room, not against nothing.
const double kQuietestMusic = -50;
// Short-term loudness below the whole track's by more than this counts as
// a pause: the tag there is set as if against the track's quiet parts.
const double kPauseBelowTrack = 20;

double Linear(double dB) {
    return std::pow(10.0, dB / 20.0);
}

double Decibels(double linear) {
    return linear > 1e-5 ? 20 * std::log10(linear) : -100;
}

// The music's loudness a copy is set against, in LUFS.
double MusicLoudness(const LevelRequest& request, const CopySound& copy) {
    const LoudnessProfile& music = *request.music;
    const double track = std::isfinite(music.integrated) ? music.integrated : kQuietestMusic;
    if (request.mode == LevelMode::AgainstTrack)
        return std::max(track, kQuietestMusic);
    const double there =
        music.LoudnessBetween(request.musicOffset + copy.start, request.musicOffset + copy.end);
    const double floor = std::max(kQuietestMusic, track - kPauseBelowTrack);
    return std::isfinite(there) ? std::max(there, floor) : floor;
}

} // namespace

wxString LevelModeName(LevelMode mode) {
    switch (mode) {
    case LevelMode::AgainstTrack:
        return "track";
    case LevelMode::AgainstMusicThere:
        return "around";
    case LevelMode::AsRecorded:
        break;
    }
    return "recorded";
}

bool LevelModeNamed(const wxString& name, LevelMode& mode) {
    for (LevelMode each :
         {LevelMode::AsRecorded, LevelMode::AgainstTrack, LevelMode::AgainstMusicThere}) {
        if (name.CmpNoCase(LevelModeName(each)) == 0) {
            mode = each;
            return true;
        }
    }
    return false;
}

std::vector<CopyLevel> PlanLevels(const LevelRequest& request,
                                  const std::vector<CopySound>& copies) {
    std::vector<CopyLevel> levels;
    for (const CopySound& copy : copies) {
        CopyLevel level;
        level.gain = request.level;
        if (request.mode != LevelMode::AsRecorded && request.music && std::isfinite(copy.loudness))
            level.gain = MusicLoudness(request, copy) + request.level - copy.loudness;
        if (request.music) {
            // The tag alone never passes the ceiling, whatever was asked.
            double tag = copy.peak * Linear(level.gain);
            if (tag > kCeiling) {
                level.gain = Decibels(kCeiling / copy.peak);
                tag = kCeiling;
            }
            double music = Linear(-std::max(request.duck, 0));
            const double peak = request.music->PeakBetween(request.musicOffset + copy.start,
                                                           request.musicOffset + copy.end);
            if (peak * music + tag > kCeiling)
                music = std::max(0.0, (kCeiling - tag) / peak);
            level.musicGain = std::min(0.0, Decibels(music));
        }
        levels.push_back(level);
    }
    return levels;
}

std::vector<DipWindow> DipWindows(const std::vector<CopySound>& copies,
                                  const std::vector<CopyLevel>& levels, long rate,
                                  long long length) {
    const long long ramp = std::llround(kDipRampSeconds * rate);
    std::vector<DipWindow> windows;
    for (size_t k = 0; k < copies.size() && k < levels.size(); ++k) {
        // A dip too small to hear is left out: it would only cost chains.
        if (levels[k].musicGain > -0.05)
            continue;
        DipWindow window{std::llround(copies[k].start * rate), std::llround(copies[k].end * rate),
                         levels[k].musicGain};
        if (length >= 0)
            window.to = std::min(window.to, length);
        if (window.to <= window.from)
            continue;
        // Ramps that would meet: one dip, at the deeper gain.
        if (!windows.empty() && windows.back().to + 2 * ramp > window.from) {
            DipWindow& last = windows.back();
            last.to = std::max(last.to, window.to);
            last.gain = std::min(last.gain, window.gain);
            continue;
        }
        windows.push_back(window);
    }
    return windows;
}
