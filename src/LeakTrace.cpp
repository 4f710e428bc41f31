// Whose copy a file is: by its bytes or its tags, else by where its
// watermarks sound, matched against each recipient's places.
#include "LeakTrace.h"

#include "CopyFinder.h"
#include "Manifest.h"
#include "SoxCommand.h"
#include "SoxRunner.h"
#include "TagCopy.h"

#include <wx/filefn.h>
#include <wx/filename.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// How far a found copy may lie from where its place says, in seconds: the
// finder's 8 ms steps, a fitted speed's error and a decoder's delay.
constexpr double kTolerance = 0.04;
// The speeds a leak may have been changed to.
constexpr double kSlowest = 0.99, kFastest = 1.01;
// A leak may start a little before its copy did: an encoder's delay.
constexpr double kEarliestCut = -0.1;
// The most chance of a coincidence an answer from the sound may leave, and
// the least a rival recipient must leave for the answer to stand.
constexpr double kAnswerChance = 0.01;
constexpr double kRivalChance = 0.05;
// Pairs of found copies tried at most: a long leak's true alignment is
// fixed by most of its pairs.
constexpr size_t kMostPairs = 400;

wxString NameOf(const wxString& path) {
    return wxFileName(path).GetFullName();
}

wxString Who(const ManifestCopy& copy) {
    return copy.recipient + (copy.id.empty() ? wxString() : " (ID " + copy.id + ")");
}

bool SameRecipient(const ManifestCopy& a, const ManifestCopy& b) {
    return a.recipient == b.recipient && a.id == b.id;
}

// The file's sound, mono at the finder's rate; false with the reason. Run
// on the calling thread (the window identifies on one of its own); stop
// ends the decode.
bool Decode(const wxString& path, std::vector<float>& samples, wxString& failure,
            const std::function<bool()>& stop) {
    samples.clear();
    char carried[sizeof(float)]; // a sample split between two pieces
    size_t held = 0;
    const SoxOutput out = SoxQueue::RunHere(
        "./sox -V1 " + QuoteSoxInput(path) +
            wxString::Format(" -t f32 -L -r %ld -c 1 -", static_cast<long>(kFinderRate)),
        [&](const char* data, size_t size) {
            while (size > 0) {
                const size_t take = std::min(size, sizeof carried - held);
                std::memcpy(carried + held, data, take);
                held += take;
                data += take;
                size -= take;
                if (held == sizeof carried) {
                    float sample;
                    std::memcpy(&sample, carried, sizeof sample);
                    samples.push_back(sample);
                    held = 0;
                }
            }
        },
        stop);
    failure = out.cancelled ? wxString("cancelled.") : RunFailure(out);
    if (failure.empty() && samples.empty())
        failure = "it holds no sound.";
    return failure.empty();
}

// ln of the chance that a binomial count of n tries at p reaches m or more.
double LogTail(int n, int m, double p) {
    if (m <= 0)
        return 0;
    if (m > n || p <= 0)
        return -HUGE_VAL;
    if (p >= 1)
        return 0;
    double total = -HUGE_VAL;
    for (int k = m; k <= n; ++k) {
        const double term = std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0) +
                            k * std::log(p) + (n - k) * std::log1p(-p);
        total = std::max(total, term) + std::log1p(std::exp(-std::fabs(total - term)));
    }
    return std::min(total, 0.0);
}

// How one manifest copy lines up with the copies found in the leak: the
// leak's time t of a copy placed at p is (p - cut) / speed.
struct Fit {
    size_t copy = 0;
    double cut = 0, speed = 1;
    int matched = 0;     // places with a found copy of their sound at their time
    int expected = 0;    // places the leak holds whole at that cut and speed
    double chance = 1;   // at most this likely by coincidence
    double logBound = 0; // ln of the bound, unclamped: ranks fits past 1
};

// What the matching knows of the leak and the sounds.
struct Evidence {
    std::vector<FoundCopy> found; // in time order
    std::vector<double> soundSeconds;
    std::vector<bool> searched;  // by sound: its file was read
    std::vector<double> density; // found copies of each sound per second
    double seconds = 0;          // the leak's length
    int vary = 0;                // seconds the places varied by
    size_t candidates = 1;       // manifest copies tried
};

class Matcher {
public:
    Matcher(const Evidence& evidence, const ManifestCopy& copy, size_t index)
        : m_evidence(evidence), m_copy(copy), m_times(evidence.searched.size()) {
        m_fit.copy = index;
        for (size_t i = 0; i < copy.positions.size(); ++i) {
            const int sound = copy.sounds[i];
            if (sound >= 0 && static_cast<size_t>(sound) < evidence.searched.size() &&
                evidence.searched[sound])
                m_places.push_back(i);
        }
        std::sort(m_places.begin(), m_places.end(),
                  [&copy](size_t a, size_t b) { return copy.positions[a] < copy.positions[b]; });
        for (size_t j = 0; j < evidence.found.size(); ++j)
            m_times[evidence.found[j].sound].push_back({evidence.found[j].seconds, j});
    }

    Fit Best() {
        if (m_places.empty() || m_evidence.found.empty())
            return m_fit;
        m_last = m_copy.positions[m_places.back()];
        // Two found copies and two places of their sounds fix a cut and a
        // speed; the true ones are fixed by most pairs of its found copies.
        // Pairs far apart fix the speed well: those at least a third of the
        // found copies' span apart, every one of them or a fixed sample.
        const std::vector<FoundCopy>& found = m_evidence.found;
        const double baseline = std::max(1.0, (found.back().seconds - found.front().seconds) / 3);
        std::vector<std::pair<size_t, size_t>> pairs;
        for (size_t a = 0; a < found.size(); ++a) {
            for (size_t b = a + 1; b < found.size(); ++b) {
                if (found[b].seconds - found[a].seconds >= baseline)
                    pairs.emplace_back(a, b);
            }
        }
        if (pairs.size() > kMostPairs) {
            std::mt19937 random(static_cast<unsigned>(found.size()));
            std::shuffle(pairs.begin(), pairs.end(), random);
            pairs.resize(kMostPairs);
        }
        for (const auto& [a, b] : pairs)
            TryPair(found[a], found[b]);
        // One found copy alone: its places at a speed left as it was.
        if (pairs.empty()) {
            for (size_t i : m_places) {
                if (m_copy.sounds[i] == found[0].sound)
                    Consider(m_copy.positions[i] - found[0].seconds, 1);
            }
        }
        Chance();
        return m_fit;
    }

private:
    // A found copy's time and its index among all found.
    using Time = std::pair<double, size_t>;

    // Every cut and speed that puts found copies a and b on places of their sounds.
    void TryPair(const FoundCopy& a, const FoundCopy& b) {
        const double apart = b.seconds - a.seconds;
        for (size_t i : m_places) {
            if (m_copy.sounds[i] != a.sound)
                continue;
            const double p = m_copy.positions[i];
            const double from = p + kSlowest * apart - 2 * kTolerance;
            const double to = p + kFastest * apart + 2 * kTolerance;
            auto k = std::lower_bound(
                m_places.begin(), m_places.end(), from,
                [this](size_t place, double at) { return m_copy.positions[place] < at; });
            for (; k != m_places.end() && m_copy.positions[*k] <= to; ++k) {
                if (m_copy.sounds[*k] != b.sound)
                    continue;
                const double speed =
                    std::clamp((m_copy.positions[*k] - p) / apart, kSlowest, kFastest);
                Consider(p - speed * a.seconds, speed);
            }
        }
    }

    void Consider(double cut, double speed) {
        if (cut < kEarliestCut - kTolerance || cut > m_last + kTolerance)
            return;
        // Most pairs fix the same few alignments: each is refined once.
        const std::pair<long, long> key{std::lround(cut / kTolerance), std::lround(speed / 0.0002)};
        if (!m_tried.insert(key).second)
            return;
        if (static_cast<int>(Matches(cut, speed).size()) < m_fit.matched - 1)
            return;
        for (int round = 0; round < 3; ++round)
            Refit(Matches(cut, speed), cut, speed);
        const int matched = static_cast<int>(Matches(cut, speed).size());
        const int expected = Expected(cut, speed);
        if (matched > m_fit.matched || (matched == m_fit.matched && expected < m_fit.expected)) {
            m_fit.matched = matched;
            m_fit.expected = expected;
            m_fit.cut = cut;
            m_fit.speed = speed;
        }
    }

    // The places with a found copy of their sound within the tolerance of
    // their time, each found copy used once: (its time, the place's) pairs.
    std::vector<std::pair<double, double>> Matches(double cut, double speed) {
        std::vector<std::pair<double, double>> pairs;
        m_used.assign(m_evidence.found.size(), false);
        for (size_t i : m_places) {
            const double p = m_copy.positions[i];
            const double t = (p - cut) / speed;
            const std::vector<Time>& times = m_times[m_copy.sounds[i]];
            auto j = std::lower_bound(times.begin(), times.end(), Time{t - kTolerance, 0});
            const Time* nearest = nullptr;
            for (; j != times.end() && j->first <= t + kTolerance; ++j) {
                if (!m_used[j->second] &&
                    (!nearest || std::fabs(j->first - t) < std::fabs(nearest->first - t)))
                    nearest = &*j;
            }
            if (nearest) {
                m_used[nearest->second] = true;
                pairs.emplace_back(nearest->first, p);
            }
        }
        return pairs;
    }

    // The cut and speed that fit the pairs best, the speed kept in range.
    static void Refit(const std::vector<std::pair<double, double>>& pairs, double& cut,
                      double& speed) {
        if (pairs.empty())
            return;
        double mt = 0, mp = 0;
        for (const auto& [t, p] : pairs) {
            mt += t;
            mp += p;
        }
        mt /= pairs.size();
        mp /= pairs.size();
        double vt = 0, cov = 0;
        for (const auto& [t, p] : pairs) {
            vt += (t - mt) * (t - mt);
            cov += (t - mt) * (p - mp);
        }
        // Copies less than a few seconds apart tell nothing of the speed.
        if (pairs.size() >= 2 && vt > 4.0)
            speed = std::clamp(cov / vt, kSlowest, kFastest);
        cut = mp - speed * mt;
    }

    // The places the leak holds whole, away from its ends by the finder's margin.
    int Expected(double cut, double speed) const {
        int expected = 0;
        for (size_t i : m_places) {
            const double t = (m_copy.positions[i] - cut) / speed;
            const double length = m_evidence.soundSeconds[m_copy.sounds[i]] / speed;
            if (t >= CopyFinder::Margin() - kTolerance &&
                t + length + CopyFinder::Margin() <= m_evidence.seconds + kTolerance)
                ++expected;
        }
        return expected;
    }

    // A bound on the chance that a copy that is not this one lines up as
    // well: each place is hit by coincidence at most as often as found copies
    // of its sound fall within the tolerance, or another recipient's copy,
    // varied by up to vary seconds from the same regular place, lands there;
    // over every cut, speed and manifest copy there is.
    void Chance() {
        if (m_fit.matched == 0 || m_evidence.vary <= 0) {
            m_fit.chance = 1;
            m_fit.logBound = HUGE_VAL;
            return;
        }
        double p = 0;
        int counted = 0;
        for (size_t i : m_places) {
            const double t = (m_copy.positions[i] - m_fit.cut) / m_fit.speed;
            if (t < -kTolerance || t > m_evidence.seconds + kTolerance)
                continue;
            p += 2 * kTolerance * m_evidence.density[m_copy.sounds[i]] +
                 kTolerance / m_evidence.vary;
            ++counted;
        }
        p = counted ? std::min(1.0, p / counted) : 1.0;
        const int tries = std::max(m_fit.expected, m_fit.matched);
        const double cuts = (m_last - kEarliestCut) / (2 * kTolerance) + 1;
        const double speeds = (kFastest - kSlowest) * m_evidence.seconds / (2 * kTolerance) + 1;
        const double logChance = LogTail(tries, m_fit.matched, p) + std::log(cuts) +
                                 std::log(speeds) +
                                 std::log(static_cast<double>(m_evidence.candidates));
        m_fit.logBound = logChance;
        m_fit.chance = std::min(1.0, std::exp(logChance));
    }

    const Evidence& m_evidence;
    const ManifestCopy& m_copy;
    std::vector<size_t> m_places;           // positions whose sound was searched for, in time order
    std::vector<std::vector<Time>> m_times; // found copies by sound, in time order
    double m_last = 0;                      // the last place
    std::set<std::pair<long, long>> m_tried;
    std::vector<bool> m_used;
    Fit m_fit;
};

wxString Percent(double confidence) {
    if (confidence >= 0.999)
        return "over 99.9%";
    return wxString::FromCDouble(std::floor(confidence * 1000) / 10, 1) + "%";
}

class Identify {
public:
    Identify(const wxString& file, const wxString& manifestPath, const std::function<bool()>& stop)
        : m_file(file), m_manifestPath(manifestPath), m_stop(stop), m_name(NameOf(file)) {}

    LeakAnswer Run();

private:
    bool Stopped() {
        if (!m_stop || !m_stop())
            return false;
        m_answer = Failed(m_name + ": identifying cancelled.");
        return true;
    }
    static LeakAnswer Failed(const wxString& text) {
        LeakAnswer answer;
        answer.kind = LeakAnswer::Kind::Failed;
        answer.text = text;
        return answer;
    }
    LeakAnswer Found(LeakAnswer::Kind kind, const ManifestCopy& copy, bool track,
                     const wxString& how, double confidence) const {
        LeakAnswer answer;
        answer.kind = kind;
        answer.recipient = copy.recipient;
        answer.id = copy.id;
        answer.output = track ? copy.output : wxString();
        answer.confidence = confidence;
        answer.text = m_name + ": the copy of " + Who(copy) +
                      (track ? " of " + NameOf(copy.track) : wxString()) + how;
        return answer;
    }
    LeakAnswer NoMatch(const wxString& why) const {
        LeakAnswer answer;
        answer.kind = LeakAnswer::Kind::NoMatch;
        answer.text = m_name + ": no recipient matches: " + why;
        return answer;
    }

    // The recipient the file's tags name, and if it can be told, its copy.
    bool FromTags();
    // Which of the recipient's copies of its tracks the file is: the one
    // whose title it bears, else the one of its length; -1 when unclear.
    int CopyOf(const std::vector<size_t>& copies, const IdentityTags& tags) const;
    bool FromSound();
    LeakAnswer Decide(const std::vector<Fit>& fits) const;

    wxString m_file, m_manifestPath;
    std::function<bool()> m_stop;
    wxString m_name;
    Manifest m_manifest;
    LeakAnswer m_answer;
};

LeakAnswer Identify::Run() {
    wxString error;
    if (!ReadManifest(m_manifestPath, m_manifest, error))
        return Failed(error + ".");
    if (!wxFileExists(m_file))
        return Failed(m_name + ": no such file.");
    if (Stopped())
        return m_answer;
    // The very file a run wrote: certain, whatever its tags say.
    const wxString sha256 = FileSha256(m_file);
    if (sha256.empty())
        return Failed(m_name + ": cannot be read.");
    for (const ManifestCopy& copy : m_manifest.copies) {
        if (!copy.sha256.empty() && copy.sha256 == sha256)
            return Found(LeakAnswer::Kind::FromTags, copy, true,
                         ": it is the file written for " + copy.recipient + ", byte for byte.", 1);
    }
    if (!Stopped() && !FromTags() && !Stopped())
        FromSound();
    return m_answer;
}

bool Identify::FromTags() {
    const IdentityTags tags = ReadIdentityTags(m_file);
    if (tags.comments.empty() && tags.ids.empty())
        return false;
    auto named = [&tags](const ManifestCopy& copy) {
        // By ID when the recipient has one: names may be alike, IDs not.
        if (!copy.id.empty())
            return tags.ids.Index(copy.id) != wxNOT_FOUND;
        const wxString comment = g_recipientCommentPrefix + copy.recipient;
        return std::any_of(tags.comments.begin(), tags.comments.end(),
                           [&comment](const wxString& text) {
                               return text == comment || text.StartsWith(comment + "; ");
                           });
    };
    std::vector<size_t> copies;
    for (size_t i = 0; i < m_manifest.copies.size(); ++i) {
        if (!named(m_manifest.copies[i]))
            continue;
        // Tags that name two recipients decide nothing.
        if (!copies.empty() && !SameRecipient(m_manifest.copies[copies[0]], m_manifest.copies[i]))
            return false;
        copies.push_back(i);
    }
    if (copies.empty())
        return false;
    const int copy = CopyOf(copies, tags);
    m_answer = Found(LeakAnswer::Kind::FromTags, m_manifest.copies[copy < 0 ? copies[0] : copy],
                     copy >= 0, ", from its tags.", 1);
    return true;
}

int Identify::CopyOf(const std::vector<size_t>& copies, const IdentityTags& tags) const {
    if (copies.size() == 1)
        return static_cast<int>(copies[0]);
    auto source = [](const ManifestCopy& copy) {
        return wxFileExists(copy.output) ? copy.output : copy.track;
    };
    int found = -1;
    if (!tags.title.empty()) {
        for (size_t i : copies) {
            if (ReadIdentityTags(source(m_manifest.copies[i])).title != tags.title)
                continue;
            if (found >= 0)
                return -1;
            found = static_cast<int>(i);
        }
        if (found >= 0)
            return found;
    }
    const double seconds = AudioSeconds(m_file);
    if (seconds <= 0)
        return -1;
    for (size_t i : copies) {
        const double length = AudioSeconds(source(m_manifest.copies[i]));
        if (length <= 0 || std::fabs(length - seconds) > 0.5)
            continue;
        if (found >= 0)
            return -1;
        found = static_cast<int>(i);
    }
    return found;
}

bool Identify::FromSound() {
    std::vector<float> leak;
    wxString failure;
    if (!Decode(m_file, leak, failure, m_stop)) {
        if (!Stopped())
            m_answer = Failed(m_name + ": cannot be read as audio: " + failure);
        return true;
    }
    Evidence evidence;
    evidence.seconds = static_cast<double>(leak.size()) / kFinderRate;
    evidence.vary = m_manifest.vary;
    CopyFinder finder(std::move(leak));
    const size_t sounds = m_manifest.watermarks.size();
    evidence.soundSeconds.assign(sounds, 0);
    evidence.searched.assign(sounds, false);
    // How many copies of each sound the leak may hold, at most: the densest
    // copy's count of them over the leak's length, with room for false finds.
    std::vector<double> perSecond(sounds, 0);
    for (const ManifestCopy& copy : m_manifest.copies) {
        if (copy.positions.empty())
            continue;
        std::vector<int> count(sounds, 0);
        for (int sound : copy.sounds) {
            if (sound >= 0 && static_cast<size_t>(sound) < sounds)
                ++count[sound];
        }
        const double length = copy.positions.back() + 1;
        for (size_t k = 0; k < sounds; ++k)
            perSecond[k] = std::max(perSecond[k], count[k] / length);
    }
    for (size_t k = 0; k < sounds; ++k) {
        if (Stopped())
            return true;
        std::vector<float> sound;
        if (perSecond[k] <= 0 || !wxFileExists(m_manifest.watermarks[k]) ||
            !Decode(m_manifest.watermarks[k], sound, failure, m_stop)) {
            finder.AddSound({}, 0);
            continue;
        }
        evidence.soundSeconds[k] = static_cast<double>(sound.size()) / kFinderRate;
        evidence.searched[k] = true;
        finder.AddSound(sound,
                        2 * static_cast<size_t>(std::ceil(perSecond[k] * evidence.seconds)) + 4);
    }
    if (std::find(evidence.searched.begin(), evidence.searched.end(), true) ==
        evidence.searched.end()) {
        m_answer = Failed(m_name + ": none of the manifest's watermark files can be read, so "
                                   "its sound cannot be matched.");
        return true;
    }
    evidence.found = finder.Find(m_stop);
    if (Stopped())
        return true;
    evidence.density.assign(sounds, 0);
    const double span = std::max(1.0, evidence.seconds - 2 * CopyFinder::Margin());
    for (const FoundCopy& found : evidence.found)
        evidence.density[found.sound] += 1 / span;
    std::vector<Fit> fits;
    evidence.candidates = std::max<size_t>(
        1, std::count_if(m_manifest.copies.begin(), m_manifest.copies.end(),
                         [](const ManifestCopy& copy) { return !copy.positions.empty(); }));
    for (size_t i = 0; i < m_manifest.copies.size(); ++i) {
        if (Stopped())
            return true;
        fits.push_back(Matcher(evidence, m_manifest.copies[i], i).Best());
    }
    m_answer =
        evidence.found.empty() ? NoMatch("none of the watermarks sounds in it.") : Decide(fits);
    return true;
}

LeakAnswer Identify::Decide(const std::vector<Fit>& fits) const {
    auto better = [](const Fit& a, const Fit& b) {
        return a.logBound < b.logBound || (a.logBound == b.logBound && a.matched > b.matched);
    };
    const Fit* best = nullptr;
    for (const Fit& fit : fits) {
        if (!best || better(fit, *best))
            best = &fit;
    }
    if (!best || best->matched == 0)
        return NoMatch("none of the watermarks sounds where a recipient's were placed.");
    const ManifestCopy& copy = m_manifest.copies[best->copy];
    // The best of every other recipient: the same one's other tracks are no rivals.
    const Fit* rival = nullptr;
    for (const Fit& fit : fits) {
        if (!SameRecipient(m_manifest.copies[fit.copy], copy) && (!rival || better(fit, *rival)))
            rival = &fit;
    }
    if (rival && rival->chance <= kRivalChance)
        return NoMatch("its watermarks sound where " + copy.recipient + "'s and " +
                       m_manifest.copies[rival->copy].recipient + "'s were placed alike.");
    if (best->chance > kAnswerChance || (rival && best->matched < rival->matched + 2))
        return NoMatch(wxString::Format("at best %d of %d watermark copies sound where a "
                                        "recipient's were placed: too few to rule out chance.",
                                        best->matched, best->expected));
    return Found(LeakAnswer::Kind::FromAudio, copy, true,
                 wxString::Format(": %d of its %d watermark copies found where they were placed "
                                  "(confidence ",
                                  best->matched, best->expected) +
                     Percent(1 - best->chance) + ").",
                 1 - best->chance);
}

} // namespace

LeakAnswer IdentifyCopy(const wxString& file, const wxString& manifestPath,
                        const std::function<bool()>& stop) {
    return Identify(file, manifestPath, stop).Run();
}
