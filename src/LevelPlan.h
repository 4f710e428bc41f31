// How loud each watermark copy sounds against the music, and how far the
// music dips under it.
#ifndef LEVELPLAN_H
#define LEVELPLAN_H

#include "Loudness.h"

#include <wx/string.h>

#include <vector>

// What the watermark level is measured against.
enum class LevelMode {
    AsRecorded,       // dB on the watermark file as it was recorded
    AgainstTrack,     // LU against the whole track's integrated loudness
    AgainstMusicThere // LU against the music's short-term loudness around each copy
};
// The names presets store and velisto-batch takes: "recorded", "track", "around".
wxString LevelModeName(LevelMode mode);
bool LevelModeNamed(const wxString& name, LevelMode& mode);

// Seconds each dip ramps down before its copy and up after it: long enough
// that no click is heard, short enough to keep the music before the tag.
constexpr double kDipRampSeconds = 0.1;
// Where a copy and the music under it together stop: just below full scale.
constexpr double kCeiling = 0.97;

// A watermark copy as the plan sees it: when it sounds in what is written,
// and what its sound measured.
struct CopySound {
    double start = 0;
    double end = 0;
    double loudness = -HUGE_VAL; // the sound's largest momentary loudness, LUFS
    double peak = 0;             // its largest sample, 0 to 1
};

// What a copy and the music under it are given, in dB.
struct CopyLevel {
    double gain = 0;
    double musicGain = 0; // 0, or below: the dip under the copy
};

struct LevelRequest {
    LevelMode mode = LevelMode::AsRecorded;
    int level = 0; // dB (as recorded) or LU (against the music)
    int duck = 0;  // dB the music dips under every copy
    // The music as measured, from the track's start; null when unknown (a
    // level as recorded is then applied as it stands, without a dip).
    const LoudnessProfile* music = nullptr;
    double musicOffset = 0; // the track's second that what is written starts at
};

// Each copy's gain and the music's under it. A copy is never louder than
// just below full scale, and where it and the music together would pass
// that, the music dips further, from the peaks measured.
std::vector<CopyLevel> PlanLevels(const LevelRequest& request,
                                  const std::vector<CopySound>& copies);

// A stretch of the written sound the music dips in: at gain dB from frame
// from to frame to, ramping down in the ramp before it and up in the one after.
struct DipWindow {
    long long from = 0;
    long long to = 0;
    double gain = 0;
};
// The dips of levels' copies in frames of rate, within length frames (-1:
// unknown), neighbours whose ramps would meet joined at the deeper dip.
std::vector<DipWindow> DipWindows(const std::vector<CopySound>& copies,
                                  const std::vector<CopyLevel>& levels, long rate,
                                  long long length);

#endif
