// Where known short sounds play in a recording, found by correlating their
// spectrograms with FFTW: the leak tracing's ear.
#ifndef COPYFINDER_H
#define COPYFINDER_H

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

// The rate recordings and sounds are given at: the watermarks' character
// lies below 4 kHz, and a lower rate keeps a long track's search quick.
constexpr long kFinderRate = 8000;

// One place a sound was found.
struct FoundCopy {
    double seconds = 0; // where it starts in the recording
    int sound = 0;      // index into the sounds searched for
    double score = 0;   // normalised correlation there, up to 1
    double z = 0;       // how far it stands above the recording's other scores
};

// A recording prepared once and searched for any number of sounds.
class CopyFinder {
public:
    // recording: mono samples at kFinderRate.
    explicit CopyFinder(std::vector<float> recording);
    ~CopyFinder();
    CopyFinder(const CopyFinder&) = delete;
    CopyFinder& operator=(const CopyFinder&) = delete;

    double Seconds() const;
    // Seconds of silence put before and after a sound for its search: a copy
    // starting nearer than that to either end of the recording is not found.
    static double Margin();

    // Adds sound k (mono, kFinderRate), searched for as played at any speed
    // from 0.99 to 1.01; most: at most that many of its copies are kept.
    void AddSound(const std::vector<float>& sound, size_t most);
    // The copies found of every sound added, in time order: the strongest
    // places that stand clearly above the sound's scores elsewhere, one a
    // sound's length at most, and of places where two sounds score, the one
    // that stands out more. stop, asked between sounds, ends it early
    // (empty).
    std::vector<FoundCopy> Find(const std::function<bool()>& stop = nullptr);

private:
    struct Data;
    std::unique_ptr<Data> m;
};

#endif
