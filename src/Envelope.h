// A track's peak envelope, for pictures of it.
#ifndef ENVELOPE_H
#define ENVELOPE_H

#include "SoxRunner.h"

#include <wx/string.h>

#include <functional>
#include <vector>

// A track's loudness over time, as a picture of it draws it: the largest
// absolute sample (0 to 1) of each stretch of kSecondsPerPeak seconds from
// its start, in either channel (more than two are mixed to two).
struct Envelope {
    static constexpr double kSecondsPerPeak = 0.01;
    std::vector<float> peaks;
    // Seconds of sound read.
    double Seconds() const { return peaks.size() * kSecondsPerPeak; }
    // The largest peak of the stretches from..to seconds (at least the one
    // that holds from); 0 outside the track.
    float PeakBetween(double from, double to) const;
};

// A job for a SoxQueue that reads the envelope of the file at path with one
// SoX run, which decodes it at a low rate and pipes the samples out. done is
// told the envelope, or an empty one and the reason SoX gives (empty after a
// cancel).
SoxJob EnvelopeJob(const wxString& path,
                   std::function<void(const Envelope& envelope, const wxString& failure)> done);

#endif
