// Where the watermark copies go, and which part of a track a clip takes.
#ifndef PLACEMENT_H
#define PLACEMENT_H

#include <wx/string.h>

#include <cstddef>
#include <vector>

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

// The watermark file (0 to files - 1) that copy plays: the list in its order,
// from its first entry again when it runs out.
inline size_t WatermarkOfCopy(size_t copy, size_t files) {
    return copy % files;
}

// Start seconds of the watermark copies for a track of length whole seconds:
// start, start + interval, ... while below the last whole second. Empty when
// the interval is not positive or the start is negative or past the end.
std::vector<int> WatermarkPositions(int length, int start, int interval);

// The second of a track of length whole seconds that a clip of clipLength
// seconds asked to start at clipStart does start at: moved earlier where the
// track would end before the clip. -1 when there is no clip (clipLength 0)
// or the track is shorter than it, so that the whole track is written.
int ClipFrom(int length, int clipLength, int clipStart);

#endif
