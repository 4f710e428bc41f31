// Where the watermark copies go, and which part of a track a clip takes.
#ifndef PLACEMENT_H
#define PLACEMENT_H

#include <wx/string.h>

#include <cstddef>
#include <cstdint>
#include <vector>

struct LoudnessProfile;

// A position in a track as a player shows it: "m:ss" ("1:05", "75:00").
wxString ClockText(int seconds);
// The longest clip start offered, in seconds.
constexpr int g_maxClipStart = 5999; // 99:59
// The seconds that text (as ClockText writes it) stands for: "m:ss" or whole
// seconds, blanks around them allowed; false when it is neither or past
// g_maxClipStart.
bool ParseClockText(const wxString& text, int& seconds);
// A track's length as the lists show it: "mm:ss", minutes not capped at two
// digits ("03:05", "100:00").
wxString LengthText(int seconds);

// Seconds as a dry run and the strip show a copy's place: "12 s", "12.35 s".
wxString SecondsText(double seconds);

// The watermark file (0 to files - 1) that copy plays: the list in its order,
// from its first entry again when it runs out.
inline size_t WatermarkOfCopy(size_t copy, size_t files) {
    return copy % files;
}

// Start seconds of the watermark copies for a track of length whole seconds:
// start, start + interval, ... while below the last whole second. Empty when
// the interval is not positive or the start is negative or past the end.
std::vector<int> WatermarkPositions(int length, int start, int interval);

// The most seconds "Vary by" moves a copy.
constexpr int g_maxVary = 5;

// What varies the copies' places.
struct VaryRequest {
    int vary = 0;      // seconds a copy may move either way (0: none)
    uint32_t seed = 0; // mixed with the audio's hash
    // Seconds each copy's sound lasts: the next copy starts no sooner than a
    // second after it ends.
    std::vector<double> soundSeconds;
    // The music where the copies land (its hash seeds the variation, and
    // near-silent stretches are avoided), from musicOffset seconds on.
    const LoudnessProfile* music = nullptr;
    double musicOffset = 0;
};
// The copies' start seconds moved as request says from the regular
// positions (WatermarkPositions) on a written length of seconds: each by a
// pseudo-random amount within the range, from the seed and the music's
// hash, never closer to the one before than its sound's length and a
// second, and out of near silence to the nearest louder spot in the range.
// The regular positions as they are when vary is 0 or their interval leaves
// no room.
std::vector<double> VariedPositions(const std::vector<int>& regular, double length,
                                    const VaryRequest& request);
// A hash of the music as measured: the same sound gives the same hash on
// any host, whatever its path.
uint64_t AudioHash(const LoudnessProfile& music);

// The second of a track of length whole seconds that a clip of clipLength
// seconds asked to start at clipStart does start at: moved earlier where the
// track would end before the clip. -1 when there is no clip (clipLength 0)
// or the track is shorter than it, so that the whole track is written.
int ClipFrom(int length, int clipLength, int clipStart);

#endif
