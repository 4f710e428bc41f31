// Where known short sounds play in a recording: log spectrograms correlated
// with FFTW, normalised against the music under each place.
#include "CopyFinder.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <utility>

namespace {

// 32 ms frames every 8 ms: fine enough in time for the matching's tens of
// milliseconds, in frequency (31 Hz) for a 1% speed change to stay in its bin.
constexpr int kFrame = 256;
constexpr int kHop = 64;
// DC and Nyquist carry nothing a watermark is told by.
constexpr int kFirstBin = 1;
constexpr int kBins = kFrame / 2 - 1;

// Silence around a sound, so that even a steady tone has an onset and an
// end to be found by: the correlation is taken per bin about its mean.
constexpr double kMarginSeconds = 0.3;

// The speeds each sound is searched at: a step of 0.5% keeps a 2-second
// sound within 5 ms and its pitch within a quarter of a percent of one.
constexpr double kSpeeds[] = {0.99, 0.995, 1.0, 1.005, 1.01};

// A place counts when its score stands this many robust deviations above
// the sound's median score over the recording, and is itself above a floor.
constexpr double kMinZ = 5;
constexpr double kMinScore = 0.04;

// Below the music's mean power by this much, a bin counts as quiet: logs of
// digital silence or a low-passed band would otherwise be noise.
constexpr float kRecordingFloor = 1e-3f;
// A sound's bins count from this far below its loudest.
constexpr float kSoundFloor = 1e-4f;

struct FloatBuffer {
    explicit FloatBuffer(size_t count)
        : data(static_cast<float*>(fftwf_malloc(sizeof(float) * std::max<size_t>(count, 1)))) {}
    ~FloatBuffer() { fftwf_free(data); }
    FloatBuffer(const FloatBuffer&) = delete;
    FloatBuffer& operator=(const FloatBuffer&) = delete;
    float* data;
};

struct ComplexBuffer {
    explicit ComplexBuffer(size_t count)
        : data(static_cast<fftwf_complex*>(
              fftwf_malloc(sizeof(fftwf_complex) * std::max<size_t>(count, 1)))) {}
    ~ComplexBuffer() { fftwf_free(data); }
    ComplexBuffer(const ComplexBuffer&) = delete;
    ComplexBuffer& operator=(const ComplexBuffer&) = delete;
    fftwf_complex* data;
};

// The smallest size of at least n whose factors are 2, 3 and 5: FFTW's quick ones.
size_t GoodSize(size_t n) {
    for (size_t size = std::max<size_t>(n, 1);; ++size) {
        size_t rest = size;
        for (size_t factor : {2, 3, 5}) {
            while (rest % factor == 0)
                rest /= factor;
        }
        if (rest == 1)
            return size;
    }
}

// Log power spectrogram, bin by bin (kBins rows of frames), each frame less
// its mean over the bins: a drum hit's broadband rise says nothing of a
// watermark. floorOf tells the power floor from the mean and the largest power.
std::vector<float> Spectrogram(const std::vector<float>& samples, size_t& frames,
                               float (*floorOf)(double mean, float largest)) {
    frames =
        samples.size() >= static_cast<size_t>(kFrame) ? (samples.size() - kFrame) / kHop + 1 : 0;
    std::vector<float> power(static_cast<size_t>(kBins) * frames);
    FloatBuffer in(kFrame);
    ComplexBuffer out(kFrame / 2 + 1);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(kFrame, in.data, out.data, FFTW_ESTIMATE);
    float window[kFrame];
    for (int i = 0; i < kFrame; ++i)
        window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * M_PI * i / kFrame));
    double sum = 0;
    float largest = 0;
    for (size_t t = 0; t < frames; ++t) {
        const float* frame = samples.data() + t * kHop;
        for (int i = 0; i < kFrame; ++i)
            in.data[i] = frame[i] * window[i];
        fftwf_execute(plan);
        for (int b = 0; b < kBins; ++b) {
            const fftwf_complex& c = out.data[b + kFirstBin];
            const float p = c[0] * c[0] + c[1] * c[1];
            power[b * frames + t] = p;
            sum += p;
            largest = std::max(largest, p);
        }
    }
    fftwf_destroy_plan(plan);
    const float floor = std::max(
        floorOf(frames ? sum / (static_cast<double>(frames) * kBins) : 0, largest), 1e-20f);
    for (float& p : power)
        p = std::log(p + floor);
    for (size_t t = 0; t < frames; ++t) {
        double mean = 0;
        for (int b = 0; b < kBins; ++b)
            mean += power[b * frames + t];
        mean /= kBins;
        for (int b = 0; b < kBins; ++b)
            power[b * frames + t] -= static_cast<float>(mean);
    }
    return power;
}

float RecordingFloor(double mean, float) {
    return static_cast<float>(mean) * kRecordingFloor;
}

float SoundFloor(double, float largest) {
    return largest * kSoundFloor;
}

// The sound as played faster by speed, linearly interpolated, with the
// margin of silence on both sides.
std::vector<float> Played(const std::vector<float>& sound, double speed) {
    const size_t margin = static_cast<size_t>(std::lround(kMarginSeconds * kFinderRate));
    const size_t length = static_cast<size_t>(std::floor((sound.size() - 1) / speed)) + 1;
    std::vector<float> played(length + 2 * margin, 0.0f);
    for (size_t i = 0; i < length; ++i) {
        const double at = i * speed;
        const size_t j = std::min(static_cast<size_t>(at), sound.size() - 1);
        const double frac = at - j;
        const float next = j + 1 < sound.size() ? sound[j + 1] : sound[j];
        played[margin + i] = static_cast<float>(sound[j] * (1 - frac) + next * frac);
    }
    return played;
}

double Median(std::vector<float> values) {
    if (values.empty())
        return 0;
    const auto middle = values.begin() + values.size() / 2;
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// The FFT of size points of each of kBins rows of length values (one row a
// bin, zero-padded), into out, half a spectrum a row.
void TransformRows(const std::vector<float>& rows, size_t length, size_t size, ComplexBuffer& out) {
    const size_t half = size / 2 + 1;
    FloatBuffer in(size * kBins);
    int n = static_cast<int>(size);
    fftwf_plan plan = fftwf_plan_many_dft_r2c(1, &n, kBins, in.data, nullptr, 1, n, out.data,
                                              nullptr, 1, static_cast<int>(half), FFTW_ESTIMATE);
    for (int b = 0; b < kBins; ++b) {
        std::copy_n(rows.data() + b * length, length, in.data + b * size);
        std::fill(in.data + b * size + length, in.data + (b + 1) * size, 0.0f);
    }
    fftwf_execute(plan);
    fftwf_destroy_plan(plan);
}

} // namespace

struct CopyFinder::Data {
    std::vector<float> recording; // until its spectrogram is taken
    double seconds = 0;
    struct Sound {
        std::vector<float> samples;
        size_t most = 0;
    };
    std::vector<Sound> sounds;

    // Prepared on the first search: the spectrogram and each bin's FFT.
    size_t frames = 0;
    size_t size = 0; // of the FFTs
    std::vector<float> spectrogram;
    std::unique_ptr<ComplexBuffer> spectra;

    void Prepare();
    // The sound's best score at each frame a copy can start at, over the speeds.
    std::vector<float> Scores(const std::vector<float>& sound);
    // The score of one played sound at each frame.
    std::vector<float> Correlate(const std::vector<float>& played);
};

void CopyFinder::Data::Prepare() {
    if (spectra)
        return;
    spectrogram = Spectrogram(recording, frames, RecordingFloor);
    recording = std::vector<float>();
    size = GoodSize(std::max<size_t>(frames, 2));
    spectra.reset(new ComplexBuffer((size / 2 + 1) * kBins));
    TransformRows(spectrogram, frames, size, *spectra);
}

std::vector<float> CopyFinder::Data::Correlate(const std::vector<float>& played) {
    size_t length = 0;
    std::vector<float> shape = Spectrogram(played, length, SoundFloor);
    if (length == 0 || length > frames)
        return {};
    // Each bin about its mean: a tone the music holds throughout adds nothing.
    double norm = 0;
    for (int b = 0; b < kBins; ++b) {
        float* row = shape.data() + b * length;
        double mean = 0;
        for (size_t t = 0; t < length; ++t)
            mean += row[t];
        mean /= static_cast<double>(length);
        for (size_t t = 0; t < length; ++t) {
            row[t] -= static_cast<float>(mean);
            norm += static_cast<double>(row[t]) * row[t];
        }
    }
    norm = std::sqrt(norm);
    const size_t places = frames - length + 1;
    if (norm <= 0)
        return std::vector<float>(places, 0.0f);

    const size_t half = size / 2 + 1;
    ComplexBuffer out(half * kBins);
    TransformRows(shape, length, size, out);
    // The sum over the bins of each one's cross-correlation, in one inverse.
    ComplexBuffer sum(half);
    FloatBuffer lags(size);
    auto* total = reinterpret_cast<std::complex<float>*>(sum.data);
    std::fill(total, total + half, std::complex<float>());
    for (int b = 0; b < kBins; ++b) {
        const auto* x = reinterpret_cast<const std::complex<float>*>(spectra->data + b * half);
        const auto* w = reinterpret_cast<const std::complex<float>*>(out.data + b * half);
        for (size_t k = 0; k < half; ++k)
            total[k] += x[k] * std::conj(w[k]);
    }
    fftwf_plan inverse =
        fftwf_plan_dft_c2r_1d(static_cast<int>(size), sum.data, lags.data, FFTW_ESTIMATE);
    fftwf_execute(inverse);
    fftwf_destroy_plan(inverse);

    // The music's own spread under each place, bin by bin about its mean there.
    std::vector<double> spread(places, 0.0);
    for (int b = 0; b < kBins; ++b) {
        const float* row = spectrogram.data() + b * frames;
        double s = 0, q = 0;
        for (size_t t = 0; t < length; ++t) {
            s += row[t];
            q += static_cast<double>(row[t]) * row[t];
        }
        for (size_t at = 0;; ++at) {
            spread[at] += std::max(0.0, q - s * s / static_cast<double>(length));
            if (at + 1 == places)
                break;
            const double gone = row[at], come = row[at + length];
            s += come - gone;
            q += come * come - gone * gone;
        }
    }
    std::vector<float> scores(places);
    for (size_t at = 0; at < places; ++at) {
        const double below = norm * std::sqrt(spread[at]);
        scores[at] = below > 0 ? static_cast<float>(lags.data[at] / size / below) : 0.0f;
    }
    return scores;
}

std::vector<float> CopyFinder::Data::Scores(const std::vector<float>& sound) {
    std::vector<float> best;
    for (double speed : kSpeeds) {
        const std::vector<float> scores = Correlate(Played(sound, speed));
        if (best.empty()) {
            best = scores;
            continue;
        }
        // Places beyond a shorter run are the longer runs' own.
        best.resize(std::min(best.size(), scores.size()));
        for (size_t at = 0; at < best.size(); ++at)
            best[at] = std::max(best[at], scores[at]);
    }
    return best;
}

CopyFinder::CopyFinder(std::vector<float> recording) : m(new Data) {
    m->seconds = static_cast<double>(recording.size()) / kFinderRate;
    m->recording = std::move(recording);
}

CopyFinder::~CopyFinder() = default;

double CopyFinder::Seconds() const {
    return m->seconds;
}

double CopyFinder::Margin() {
    return kMarginSeconds;
}

void CopyFinder::AddSound(const std::vector<float>& sound, size_t most) {
    m->sounds.push_back({sound, most});
}

std::vector<FoundCopy> CopyFinder::Find(const std::function<bool()>& stop) {
    const double secondsPerFrame = static_cast<double>(kHop) / kFinderRate;
    std::vector<FoundCopy> candidates;
    std::vector<double> lengths; // each sound's seconds
    for (size_t k = 0; k < m->sounds.size(); ++k) {
        if (stop && stop())
            return {};
        const std::vector<float>& sound = m->sounds[k].samples;
        lengths.push_back(static_cast<double>(sound.size()) / kFinderRate);
        if (sound.size() < 2)
            continue;
        m->Prepare();
        const std::vector<float> scores = m->Scores(sound);
        if (scores.size() < 3)
            continue;
        const double median = Median(scores);
        std::vector<float> deviations(scores.size());
        for (size_t at = 0; at < scores.size(); ++at)
            deviations[at] = static_cast<float>(std::fabs(scores[at] - median));
        const double deviation = std::max(1.4826 * Median(deviations), 1e-6);
        std::vector<FoundCopy> peaks;
        for (size_t at = 1; at + 1 < scores.size(); ++at) {
            const double z = (scores[at] - median) / deviation;
            if (scores[at] < scores[at - 1] || scores[at] < scores[at + 1] || z < kMinZ ||
                scores[at] < kMinScore)
                continue;
            peaks.push_back(
                {at * secondsPerFrame + kMarginSeconds, static_cast<int>(k), scores[at], z});
        }
        std::sort(peaks.begin(), peaks.end(),
                  [](const FoundCopy& a, const FoundCopy& b) { return a.z > b.z; });
        // Copies of one sound never overlap: the strongest place of each stretch.
        const double apart = std::max(0.25, 0.9 * lengths.back());
        std::vector<FoundCopy> kept;
        for (const FoundCopy& peak : peaks) {
            if (kept.size() == m->sounds[k].most)
                break;
            if (std::none_of(kept.begin(), kept.end(), [&](const FoundCopy& other) {
                    return std::fabs(other.seconds - peak.seconds) < apart;
                }))
                kept.push_back(peak);
        }
        candidates.insert(candidates.end(), kept.begin(), kept.end());
    }
    // Where two sounds overlap by more than half the shorter, one heard the
    // other: the one that stands out more stays.
    std::sort(candidates.begin(), candidates.end(),
              [](const FoundCopy& a, const FoundCopy& b) { return a.z > b.z; });
    std::vector<FoundCopy> found;
    for (const FoundCopy& copy : candidates) {
        const bool heard = std::any_of(found.begin(), found.end(), [&](const FoundCopy& other) {
            const double from = std::max(copy.seconds, other.seconds);
            const double to =
                std::min(copy.seconds + lengths[copy.sound], other.seconds + lengths[other.sound]);
            return other.sound != copy.sound &&
                   to - from > 0.5 * std::min(lengths[copy.sound], lengths[other.sound]);
        });
        if (!heard)
            found.push_back(copy);
    }
    std::sort(found.begin(), found.end(),
              [](const FoundCopy& a, const FoundCopy& b) { return a.seconds < b.seconds; });
    return found;
}
