// A sound's loudness (EBU R128) and peaks, whole and over time.
#ifndef LOUDNESS_H
#define LOUDNESS_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// What LoudnessMeter measured of a sound. Loudness is in LUFS, -HUGE_VAL
// where there is only silence; peaks are the largest absolute sample, 0 to 1.
struct LoudnessProfile {
    // Seconds in each block of the series.
    static constexpr double kStep = 0.1;

    // Integrated loudness, gated as EBU R128 gates it; -HUGE_VAL for a
    // sound too short or too quiet to pass the gates.
    double integrated = -HUGE_VAL;
    // The loudest momentary (400 ms) reading, taken every kStep: how a sound
    // too short for an integrated loudness is measured.
    double maxMomentary = -HUGE_VAL;
    float peak = 0;
    // Each block of kStep seconds from the start (the last may be shorter):
    // its own loudness and its largest sample.
    std::vector<float> blockLoudness;
    std::vector<float> blockPeaks;

    // The sound's length as decoded for the measure, in frames of rate
    // (0 where the measure does not tell it).
    long long frames = 0;
    long rate = 0;

    bool Empty() const { return blockLoudness.empty(); }
    double Seconds() const { return blockLoudness.size() * kStep; }
    // The loudness of the music where a sound from..to seconds lands: the
    // mean power of the blocks in that stretch, widened about its middle to
    // at least 3 s (short-term loudness) and cut to the track. -HUGE_VAL for
    // silence, or outside the track.
    double LoudnessBetween(double from, double to) const;
    // The largest block peak of the stretch from..to seconds (at least the
    // block that holds from); 0 outside the track.
    float PeakBetween(double from, double to) const;
};

// Measures interleaved 16-bit samples as they come, with libebur128.
class LoudnessMeter {
public:
    // Channels are taken as left, right, centre, left and right surround.
    LoudnessMeter(unsigned long rate, unsigned channels);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // False when libebur128 could not take the rate or channels (or memory
    // ran out); Add then does nothing and Finish returns an empty profile.
    bool Ok() const { return m_state != nullptr; }
    void Add(const int16_t* interleaved, size_t frames);
    // What was added, measured. The meter is spent: it measures nothing more.
    LoudnessProfile Finish();

private:
    // Closes the block of m_blockFrames frames added since the last one.
    void EndBlock();

    struct State;
    std::unique_ptr<State> m_state;
    LoudnessProfile m_profile;
    unsigned m_channels;
    unsigned long m_rate;
    long long m_blocks = 0;   // blocks closed
    long long m_blockEnd = 0; // frame at which the current block closes
    long long m_frames = 0;   // frames added
    size_t m_blockFrames = 0; // frames of the current block
    int m_blockPeak = 0;      // largest absolute sample of the current block
};

#endif
