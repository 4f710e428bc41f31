// A track's peak envelope, read with one SoX run through a pipe.
#include "Envelope.h"

#include "SoxCommand.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

float Envelope::PeakBetween(double from, double to) const {
    const double count = static_cast<double>(peaks.size());
    const double first = std::max(0.0, std::floor(from / kSecondsPerPeak));
    const double last = std::min(count, std::max(first + 1, std::ceil(to / kSecondsPerPeak)));
    float peak = 0;
    for (size_t i = static_cast<size_t>(first); i < static_cast<size_t>(last); ++i)
        peak = std::max(peak, peaks[i]);
    return peak;
}

namespace {

// Frames per second and channels that EnvelopeJob's command reads the envelope in.
const long long kEnvelopeRate = 980;

const int kEnvelopeChannels = 2;

// The envelope of signed 16-bit little-endian samples as EnvelopeJob reads them.
Envelope EnvelopeOfSamples(const std::string& bytes) {
    const long long perSecond = std::llround(1 / Envelope::kSecondsPerPeak);
    const long long frames = static_cast<long long>(bytes.size()) / 2 / kEnvelopeChannels;
    Envelope envelope;
    envelope.peaks.assign((frames * perSecond + kEnvelopeRate - 1) / kEnvelopeRate, 0.0f);
    for (long long frame = 0; frame < frames; ++frame) {
        float& peak = envelope.peaks[frame * perSecond / kEnvelopeRate];
        for (int channel = 0; channel < kEnvelopeChannels; ++channel) {
            const size_t at = 2 * (frame * kEnvelopeChannels + channel);
            const auto low = static_cast<unsigned char>(bytes[at]);
            const auto high = static_cast<unsigned char>(bytes[at + 1]);
            const int value = static_cast<int16_t>(static_cast<uint16_t>(low | high << 8));
            peak = std::max(peak, std::abs(value) / 32768.0f);
        }
    }
    return envelope;
}

} // namespace

SoxJob EnvelopeJob(const wxString& path,
                   std::function<void(const Envelope& envelope, const wxString& failure)> done) {
    SoxJob job;
    job.rawOutput = true;
    job.begin = [path](wxString& command) {
        // A plain low rate would filter away all but the bass. Keeping one
        // sample in 45 at 44.1 kHz, unfiltered, folds the highs down
        // instead, so every part of the sound keeps its level; most tracks
        // are at that rate already and cost no more than decoding. Two
        // channels, folded here by their larger sample: mixed to one, a
        // sound on one side would count half. 16 bits are plenty for a
        // picture and halve what the pipe carries.
        command = "./sox -V1 -D " + QuoteSoxPath(path) +
                  " -t s16 -L -r 980 -c 2 - rate -q 44100 downsample 45";
        return true;
    };
    job.end = [done](const SoxOutput& out) {
        if (out.cancelled) {
            done(Envelope(), wxString());
            return;
        }
        const wxString failure = RunFailure(out);
        done(failure.empty() ? EnvelopeOfSamples(out.data) : Envelope(), failure);
    };
    return job;
}
