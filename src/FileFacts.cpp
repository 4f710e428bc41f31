// What SoX told of files, kept while they stay as they are: headers,
// lengths, the watermark sounds' lengths, peaks and loudness, and the
// tracks' music as measured.
#include "FileFacts.h"

#include "Envelope.h"
#include "FfmpegCommand.h"
#include "HeaderRead.h"
#include "SoxCommand.h"

#include <algorithm>
#include <cmath>

bool FileFacts::CachedHeader(const wxString& path, AudioHeader& header) const {
    const auto known = m_headers.find(path);
    if (known == m_headers.end() || known->second.stamp != StampOf(path))
        return false;
    header = known->second.header;
    return true;
}

bool FileFacts::ReadHeader(const wxString& path, AudioHeader& header, wxString& failure) {
    failure.clear();
    if (CachedHeader(path, header))
        return true;
    failure = UnreadableReason(path);
    if (!failure.empty())
        return false;
    const FileStamp stamp = StampOf(path);
    if (ReadHeaderInProcess(path, header)) {
        m_headers[path] = {header, stamp};
        return true;
    }
    const bool probed = ProbedByFfmpeg(path);
    const SoxOutput info =
        SoxQueue::RunNow(probed ? ProbeCommand(path) : "./sox --i " + QuoteSoxPath(path));
    failure = probed ? ProbeFailure(info) : RunFailure(info);
    if (!failure.empty())
        return false;
    header = probed ? ParseProbe(info.output) : ParseHeader(info.output, path);
    m_headers[path] = {header, stamp};
    return true;
}

bool FileFacts::BeginReadHeaders(const wxArrayString& paths, Pending& pending, wxString& command) {
    pending = Pending();
    AudioHeader known;
    command = "./sox --i";
    for (const wxString& path : paths) {
        // SoX would wait for ever on a FIFO: such files are refused unread.
        if (CachedHeader(path, known) || !UnreadableReason(path).empty() || ProbedByFfmpeg(path))
            continue;
        const FileStamp stamp = StampOf(path);
        if (ReadHeaderInProcess(path, known)) {
            m_headers[path] = {known, stamp};
            continue;
        }
        pending.paths.Add(path);
        pending.stamps.push_back(stamp);
        command += " " + QuoteSoxPath(path);
    }
    return !pending.paths.empty();
}

void FileFacts::EndReadHeaders(const Pending& pending, const SoxOutput& out) {
    // One block per file that SoX could read, in the order given, each
    // opening with "Input File     : 'NAME'"; the others are left for a read
    // of their own, which tells their reason.
    size_t next = 0;
    wxArrayString block;
    wxString name;
    auto store = [&] {
        for (size_t i = next; !name.empty() && i < pending.paths.size(); ++i) {
            if (PlainFileName(pending.paths[i]) == name) {
                m_headers[pending.paths[i]] = {ParseHeader(block, pending.paths[i]),
                                               pending.stamps[i]};
                next = i + 1;
                break;
            }
        }
        block.Clear();
    };
    for (const wxString& line : out.output) {
        if (line.BeforeFirst(':').Trim() == "Input File") {
            store();
            const wxString value = line.AfterFirst(':').Trim(false);
            name = value.StartsWith("'") && value.EndsWith("'") && value.length() >= 2
                       ? value.Mid(1, value.length() - 2)
                       : wxString();
        } else {
            block.Add(line);
        }
    }
    store();
}

bool FileFacts::Measure(const wxString& path, AudioHeader& header, int& seconds, wxString& failure,
                        double* exact, bool* estimated) {
    double exactSeconds = -1;
    bool estimate = false;
    if (!exact)
        exact = &exactSeconds;
    if (!estimated)
        estimated = &estimate;
    if (!ReadHeader(path, header, failure))
        return false;
    *estimated = false;
    if (KnownLength(path, header, seconds, *exact))
        return true;
    const FileStamp stamp = StampOf(path);
    const SoxOutput run = SoxQueue::RunNow(MeasureCommand(path));
    failure = RunFailure(run);
    if (!failure.empty())
        return false;
    seconds = ParseLength(run.errors);
    if (seconds < 0) {
        failure = "SoX did not report the length.";
        return false;
    }
    *exact = ParseSeconds(run.errors);
    *estimated = false;
    RememberLength(path, seconds, *exact, stamp);
    return true;
}

bool FileFacts::SoundPeak(const wxString& path, const wxString& effects, long long& samples,
                          double& peak, wxString& failure) {
    const wxString key = path + "\n" + effects;
    auto known = m_sounds.find(key);
    if (known == m_sounds.end()) {
        // Its length once converted, counted by SoX itself, and its loudest sample.
        const SoxOutput run = SoxQueue::RunNow(SoundStatCommand(path, effects));
        failure = RunFailure(run);
        long long counted = -1;
        double loudest = -1;
        if (failure.empty() && !ParseSoundStat(run.errors, counted, loudest))
            failure = "SoX did not report the length.";
        if (!failure.empty())
            return false;
        known = m_sounds.emplace(key, Sound{counted, loudest}).first;
    }
    samples = known->second.samples;
    peak = known->second.peak;
    return true;
}

bool FileFacts::KnownLength(const wxString& path, const AudioHeader& header, int& seconds,
                            double& exactSeconds) const {
    if (LengthFromHeader(header, seconds)) {
        exactSeconds = HeaderSeconds(header);
        return true;
    }
    const auto known = m_lengths.find(path);
    if (known != m_lengths.end() && known->second.stamp == StampOf(path)) {
        seconds = known->second.seconds;
        exactSeconds = known->second.exactSeconds;
        return true;
    }
    // The music's measure decoded it whole.
    const std::shared_ptr<const LoudnessProfile> music = CachedLoudness(path);
    if (music && music->frames > 0 && music->rate > 0 && music->rate == header.rate) {
        exactSeconds = static_cast<double>(music->frames) / music->rate;
        seconds = static_cast<int>(music->frames / music->rate);
        return true;
    }
    return false;
}

void FileFacts::RememberLength(const wxString& path, int seconds, double exactSeconds,
                               const FileStamp& stamp) {
    m_lengths[path] = {seconds, exactSeconds, stamp};
}

bool FileFacts::SoundLoudness(const wxString& path, const wxString& effects, double& loudness,
                              wxString& failure) {
    const wxString key = path + "\n" + effects;
    auto known = m_loudness.find(key);
    if (known == m_loudness.end()) {
        LoudnessProfile profile;
        if (!AnalyseFile(path, effects, nullptr, profile, failure))
            return false;
        known = m_loudness.emplace(key, profile.maxMomentary).first;
    }
    loudness = known->second;
    return true;
}

namespace {

struct KnownLoudness {
    FileStamp stamp;
    std::shared_ptr<const LoudnessProfile> loudness;
};

// Enough for a long run's tracks; a track measured again costs one decode.
const size_t kLoudnessKept = 500;

std::map<wxString, KnownLoudness>& LoudnessStore() {
    static std::map<wxString, KnownLoudness> store;
    return store;
}

} // namespace

std::shared_ptr<const LoudnessProfile> FileFacts::CachedLoudness(const wxString& path) {
    const auto known = LoudnessStore().find(path);
    if (known != LoudnessStore().end() && known->second.stamp == StampOf(path))
        return known->second.loudness;
    return nullptr;
}

std::shared_ptr<const LoudnessProfile> FileFacts::TrackLoudness(const wxString& path,
                                                                wxString& failure) {
    if (std::shared_ptr<const LoudnessProfile> known = CachedLoudness(path))
        return known;
    const FileStamp stamp = StampOf(path);
    auto profile = std::make_shared<LoudnessProfile>();
    if (!AnalyseFile(path, wxString(), nullptr, *profile, failure))
        return nullptr;
    RememberLoudness(path, stamp, profile);
    return profile;
}

void FileFacts::RememberLoudness(const wxString& path, const FileStamp& stamp,
                                 std::shared_ptr<const LoudnessProfile> loudness) {
    std::map<wxString, KnownLoudness>& store = LoudnessStore();
    if (store.size() >= kLoudnessKept && store.find(path) == store.end())
        store.erase(store.begin());
    store[path] = KnownLoudness{stamp, std::move(loudness)};
}
