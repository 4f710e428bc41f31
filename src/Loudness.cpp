// A sound's loudness (EBU R128) and peaks, measured with libebur128.
#include "Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

// Short-term loudness, as EBU R128 reads it, takes 3 s.
const double kShortTermSeconds = 3;

// Blocks [first, last) of count that the stretch from..to seconds covers, at
// least the one that holds from; first == last outside them.
std::pair<size_t, size_t> Blocks(size_t count, double from, double to) {
    const double step = LoudnessProfile::kStep;
    // A time a whole number of blocks in lands on its block, not the one before.
    const double first = std::max(0.0, std::floor(from / step + 1e-6));
    const double last =
        std::min(static_cast<double>(count), std::max(first + 1, std::ceil(to / step - 1e-6)));
    if (first >= last)
        return {0, 0};
    return {static_cast<size_t>(first), static_cast<size_t>(last)};
}

// The frame at which block ends at rate: blocks start on the frame at or
// after their time, as the envelope's stretches do.
long long BlockEnd(long long block, unsigned long rate) {
    return static_cast<long long>((static_cast<unsigned long long>(block + 1) * rate + 9) / 10);
}

} // namespace

double LoudnessProfile::LoudnessBetween(double from, double to) const {
    if (to - from < kShortTermSeconds) {
        const double middle = (from + to) / 2;
        from = middle - kShortTermSeconds / 2;
        to = middle + kShortTermSeconds / 2;
    }
    from = std::max(from, 0.0);
    to = std::min(to, Seconds());
    if (to <= from)
        return -HUGE_VAL;
    const auto [first, last] = Blocks(blockLoudness.size(), from, to);
    if (first == last)
        return -HUGE_VAL;
    // Loudness back to power (BS.1770's -0.691 offset): a silent block adds none.
    double power = 0;
    for (size_t i = first; i < last; ++i)
        power += std::pow(10.0, (blockLoudness[i] + 0.691) / 10);
    power /= static_cast<double>(last - first);
    return power > 0 ? -0.691 + 10 * std::log10(power) : -HUGE_VAL;
}

float LoudnessProfile::PeakBetween(double from, double to) const {
    const auto [first, last] = Blocks(blockPeaks.size(), from, to);
    float peak = 0;
    for (size_t i = first; i < last; ++i)
        peak = std::max(peak, blockPeaks[i]);
    return peak;
}

struct LoudnessMeter::State {
    ebur128_state* meter;
    explicit State(ebur128_state* state) : meter(state) {}
    ~State() { ebur128_destroy(&meter); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
};

LoudnessMeter::LoudnessMeter(unsigned long rate, unsigned channels)
    : m_channels(channels), m_rate(rate) {
    ebur128_state* meter =
        rate > 0 && channels > 0 ? ebur128_init(channels, rate, EBUR128_MODE_I) : nullptr;
    if (meter)
        m_state.reset(new State(meter));
    m_blockEnd = BlockEnd(0, rate);
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::Add(const int16_t* interleaved, size_t frames) {
    if (!m_state)
        return;
    while (frames > 0) {
        // Fed a block at a time, so that each block's loudness can be read as it closes.
        const size_t take = std::min(frames, static_cast<size_t>(m_blockEnd - m_frames));
        ebur128_add_frames_short(m_state->meter, interleaved, take);
        const int16_t* end = interleaved + take * m_channels;
        for (const int16_t* sample = interleaved; sample != end; ++sample)
            m_blockPeak = std::max(m_blockPeak, std::abs(static_cast<int>(*sample)));
        interleaved = end;
        frames -= take;
        m_frames += static_cast<long long>(take);
        m_blockFrames += take;
        if (m_frames == m_blockEnd)
            EndBlock();
    }
}

void LoudnessMeter::EndBlock() {
    // The block's own span; a last block shorter than a millisecond is read over one.
    const auto ms = std::max<unsigned long>(1, (m_blockFrames * 1000 + m_rate / 2) / m_rate);
    double block = -HUGE_VAL, momentary = -HUGE_VAL;
    if (ebur128_loudness_window(m_state->meter, ms, &block) != EBUR128_SUCCESS)
        block = -HUGE_VAL;
    if (ebur128_loudness_momentary(m_state->meter, &momentary) == EBUR128_SUCCESS)
        m_profile.maxMomentary = std::max(m_profile.maxMomentary, momentary);
    const float peak = static_cast<float>(m_blockPeak) / 32768.0f;
    m_profile.blockLoudness.push_back(static_cast<float>(block));
    m_profile.blockPeaks.push_back(peak);
    m_profile.peak = std::max(m_profile.peak, peak);
    ++m_blocks;
    m_blockEnd = BlockEnd(m_blocks, m_rate);
    m_blockFrames = 0;
    m_blockPeak = 0;
}

LoudnessProfile LoudnessMeter::Finish() {
    if (!m_state)
        return LoudnessProfile();
    if (m_blockFrames > 0)
        EndBlock();
    double integrated = -HUGE_VAL;
    if (ebur128_loudness_global(m_state->meter, &integrated) == EBUR128_SUCCESS)
        m_profile.integrated = integrated;
    m_state.reset();
    return std::move(m_profile);
}
