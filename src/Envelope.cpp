// A track's peak envelope and loudness, read with one SoX run through a pipe.
#include "Envelope.h"

#include "SoxCommand.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

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

// AU's header: "\0ds." (the little-endian variant), the samples' offset, their
// size, their encoding, the rate and the channels, each 32 bits.
const size_t kAuHeaderSize = 24;
const uint32_t kAuLittleEndianMagic = 0x2e736400;
const uint32_t kAuSigned16 = 3;

uint32_t LittleEndian32(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
}

// The command that pipes out the samples of path, after effects: AU, so that
// the rate comes before them.
wxString AnalysisCommand(const wxString& path, const wxString& effects) {
    // Its own rate: the loudness weighting depends on it and every peak is
    // seen. Two channels: a mono file counts on both sides, as it sounds
    // mixed into a stereo track; more are mixed down. 16 bits are exact
    // enough for loudness and peaks alike, and halve what the pipe carries;
    // undithered, so that silence stays silent.
    return "./sox -V1 -D " + QuoteSoxInput(path) + " -t au -e signed-integer -b 16 -L -c 2 -" +
           (effects.empty() ? "" : " " + effects);
}

// The envelope and loudness of the stream AnalysisCommand writes, read piece
// by piece as it arrives, so that a long track is never held whole.
class Analysis {
public:
    void Take(const char* bytes, size_t size) {
        if (m_failed)
            return;
        m_pending.append(bytes, size);
        if (!m_meter && !ReadHeader())
            return;
        const size_t frameBytes = 2 * m_channels;
        const size_t frames = m_pending.size() / frameBytes;
        m_samples.resize(frames * m_channels);
        for (size_t i = 0; i < m_samples.size(); ++i) {
            const auto low = static_cast<unsigned char>(m_pending[2 * i]);
            const auto high = static_cast<unsigned char>(m_pending[2 * i + 1]);
            m_samples[i] = static_cast<int16_t>(static_cast<uint16_t>(low | high << 8));
        }
        m_pending.erase(0, frames * frameBytes);
        m_meter->Add(m_samples.data(), frames);
        AddPeaks(m_samples.data(), frames);
    }

    // What was read; the reason when it was not audio as asked for.
    wxString Finish(Envelope* envelope, LoudnessProfile& loudness) {
        if (m_failed || !m_meter)
            return "SoX wrote no audio.";
        if (m_cellFrames > 0)
            m_envelope.peaks.push_back(m_cellPeak / 32768.0f);
        if (envelope)
            *envelope = std::move(m_envelope);
        loudness = m_meter->Finish();
        // The decoded length, to the sample: no decode is needed for it again.
        loudness.frames = m_frames;
        loudness.rate = static_cast<long>(m_rate);
        return wxString();
    }

private:
    // True once the header has been read and taken off m_pending.
    bool ReadHeader() {
        if (m_pending.size() < kAuHeaderSize)
            return false;
        const uint32_t offset = LittleEndian32(&m_pending[4]);
        const uint32_t rate = LittleEndian32(&m_pending[16]);
        const uint32_t channels = LittleEndian32(&m_pending[20]);
        if (LittleEndian32(&m_pending[0]) != kAuLittleEndianMagic ||
            LittleEndian32(&m_pending[12]) != kAuSigned16 || offset < kAuHeaderSize || rate == 0 ||
            channels == 0 || channels > 2) {
            m_failed = true;
            return false;
        }
        if (m_pending.size() < offset)
            return false;
        m_pending.erase(0, offset);
        m_rate = rate;
        m_channels = channels;
        m_cellEnd = CellEnd(0);
        m_meter.reset(new LoudnessMeter(rate, channels));
        return true;
    }

    // The frame at which stretch cell of the envelope ends.
    long long CellEnd(long long cell) const {
        const long long perSecond = std::llround(1 / Envelope::kSecondsPerPeak);
        return ((cell + 1) * static_cast<long long>(m_rate) + perSecond - 1) / perSecond;
    }

    void AddPeaks(const int16_t* samples, size_t frames) {
        while (frames > 0) {
            const size_t take = std::min(frames, static_cast<size_t>(m_cellEnd - m_frames));
            const int16_t* end = samples + take * m_channels;
            for (; samples != end; ++samples)
                m_cellPeak = std::max(m_cellPeak, std::abs(static_cast<int>(*samples)));
            frames -= take;
            m_frames += static_cast<long long>(take);
            m_cellFrames += take;
            if (m_frames == m_cellEnd) {
                m_envelope.peaks.push_back(m_cellPeak / 32768.0f);
                m_cellEnd = CellEnd(static_cast<long long>(m_envelope.peaks.size()));
                m_cellFrames = 0;
                m_cellPeak = 0;
            }
        }
    }

    std::string m_pending; // the header, or the start of a frame, still to be read
    bool m_failed = false;
    unsigned long m_rate = 0;
    unsigned m_channels = 0;
    std::unique_ptr<LoudnessMeter> m_meter; // once the header is read
    std::vector<int16_t> m_samples;
    Envelope m_envelope;
    long long m_frames = 0;  // frames read
    long long m_cellEnd = 0; // frame at which the current stretch ends
    size_t m_cellFrames = 0;
    int m_cellPeak = 0;
};

} // namespace

SoxJob AnalysisJob(const wxString& path,
                   std::function<void(const Envelope& envelope, const LoudnessProfile& loudness,
                                      const wxString& failure)>
                       done) {
    auto analysis = std::make_shared<Analysis>();
    SoxJob job;
    job.stream = [analysis](const char* bytes, size_t size) { analysis->Take(bytes, size); };
    job.begin = [path](wxString& command) {
        command = AnalysisCommand(path, wxString());
        return true;
    };
    job.end = [analysis, done](const SoxOutput& out) {
        Envelope envelope;
        LoudnessProfile loudness;
        if (out.cancelled) {
            done(envelope, loudness, wxString());
            return;
        }
        wxString failure = RunFailure(out);
        if (failure.empty())
            failure = analysis->Finish(&envelope, loudness);
        if (!failure.empty()) {
            envelope = Envelope();
            loudness = LoudnessProfile();
        }
        done(envelope, loudness, failure);
    };
    return job;
}

bool AnalyseFile(const wxString& path, const wxString& effects, Envelope* envelope,
                 LoudnessProfile& loudness, wxString& failure) {
    Analysis analysis;
    const SoxOutput out = SoxQueue::RunNow(
        AnalysisCommand(path, effects),
        [&analysis](const char* bytes, size_t size) { analysis.Take(bytes, size); });
    Envelope read;
    loudness = LoudnessProfile();
    failure = RunFailure(out);
    if (failure.empty())
        failure = analysis.Finish(&read, loudness);
    if (!failure.empty())
        loudness = LoudnessProfile();
    if (envelope)
        *envelope = failure.empty() ? std::move(read) : Envelope();
    return failure.empty();
}
