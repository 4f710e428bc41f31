// A track's peak envelope, for pictures of it, and its loudness, read together.
#ifndef ENVELOPE_H
#define ENVELOPE_H

#include "Loudness.h"
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

// A job for a SoxQueue that reads the envelope and the loudness of the file
// at path with one SoX run, which decodes it at its own rate, in two
// channels, and pipes the samples out as they are read. done is told both,
// or empty ones and the reason SoX gives (empty after a cancel).
SoxJob AnalysisJob(const wxString& path,
                   std::function<void(const Envelope& envelope, const LoudnessProfile& loudness,
                                      const wxString& failure)>
                       done);

// The same read, done now and waited for: the file at path with effects
// (SoX effects applied before measuring, such as "rate 48000 channels 2";
// may be empty). False with the reason SoX gives, and empty results, when it
// could not be read. envelope may be null when it is not wanted.
bool AnalyseFile(const wxString& path, const wxString& effects, Envelope* envelope,
                 LoudnessProfile& loudness, wxString& failure);

#endif
