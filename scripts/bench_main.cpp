// Benchmark of the rendering engine (run through scripts/bench; not a test).
//
// Makes ten 3-minute MP3 tracks and one 60-minute MP3 track with sox, then
// stamps them every 10 s and every 5 s to MP3 at 320 kbit/s through RenderRun,
// the run the window and velisto-batch use: each track alone (one render at a
// time) and the whole batch (one render per core), and the one-pass ffmpeg
// filter graph that does the same stamping. Each is compared with a plain
// `sox IN.mp3 -C 320 OUT.mp3` of the same tracks one after another, timed
// beside it: before each track alone, before the batch. Each scenario runs
// in a child process of its own, so its peak memory (all of its processes
// together, sampled every 50 ms) can be told apart; the plain conversions
// in it use less than any of the tools. A render's processes together stay
// under 100 MB whatever the track's length: --long-seconds 7200 shows it for
// a two-hour track. Two more scenarios time a 60 s preview clip of each
// track (against SoX cutting and fading the same clip) and tagged FLAC
// masters with a cover (against SoX converting them, which drops the tags).
// The last row times tracing an untagged 4-minute MP3 leak to its recipient.
#include "bench_util.h"
#include "FileFacts.h"
#include "LeakTrace.h"
#include "Manifest.h"
#include "Placement.h"
#include "Recipients.h"
#include "RenderRun.h"
#include "SoxHandler.h"

#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/tpropertymap.h>

#include <wx/init.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const int kStart = 5;
const int kBitrate = 320;
// The clip scenario's clip: 60 s from 0:30, faded over 2 s.
const int kClipStart = 30, kClipLength = 60, kClipFade = 2;

struct Options {
    int tracks = 10;
    int seconds = 180;
    int longSeconds = 3600;
    std::string bundle = VELISTO_BUNDLE_DIR;
};

std::string Track(const std::string& set, int i, const std::string& ext = "mp3") {
    return set + "/in/track" + std::to_string(i + 1) + "." + ext;
}

enum class Tool { Velisto, Ffmpeg };
// One render at a time, the whole batch at once, or the batch merged into one
// file; one clip at a time; one tagged FLAC track at a time.
// Level modes: Cached measures each track's music before the timing starts,
// as the window's strip has when a track is rendered from it; the others
// measure it in the render, as velisto-batch does. MusicDip sets the tag 6 LU
// below the music around each copy over a 6 dB dip.
enum class Mode { Alone, Batch, Merged, Clip, TaggedFlac, PlainCached, MusicDip, MusicDipCached };

// Seconds of one unit of a scenario (a track alone, or the whole batch) and
// of the plain conversions of the same tracks, timed just before it: the
// machine's speed drifts over minutes, and a baseline taken at another time
// would move the ratio by more than the engine's own cost.
struct Timing {
    double seconds = -1;
    double plain = -1;
};

std::vector<Timing> RunScenario(const std::string& set, int count, Tool tool, int interval,
                                Mode mode) {
    const bool batch = mode != Mode::Alone && mode != Mode::PlainCached && mode != Mode::MusicDip &&
                       mode != Mode::MusicDipCached;
    std::vector<Timing> timings;
    const std::string out = set + "/out";
    Shell("rm -rf " + Quote(out) + " && mkdir -p " + Quote(out));
    const std::string tag = set + "/../beep.mp3";
    auto output = [&](int i) { return out + "/track" + std::to_string(i + 1) + ".mp3"; };
    const std::string ext = mode == Mode::TaggedFlac ? "flac" : "mp3";
    const std::string clip =
        mode != Mode::Clip
            ? std::string()
            : " trim " + std::to_string(kClipStart) + " " + std::to_string(kClipLength) +
                  " fade t " + std::to_string(kClipFade) + " " + std::to_string(kClipLength) + " " +
                  std::to_string(kClipFade);
    auto plain = [&](int i) {
        const auto start = std::chrono::steady_clock::now();
        const bool ok = Shell("cd " + Quote(g_resourceFolder.ToStdString()) + " && ./sox " +
                              Quote(Track(set, i, ext)) + " -C " + std::to_string(kBitrate) + " " +
                              Quote(out + "/plain.mp3") + clip);
        return ok ? Since(start) : -1;
    };
    auto render = [&](const wxArrayString& tracks) {
        RenderSettings settings;
        settings.start = kStart;
        settings.interval = interval;
        settings.format = OutputFormat::Mp3;
        settings.bitrate = kBitrate;
        settings.folder = wxString::FromUTF8(out);
        settings.merge = mode == Mode::Merged;
        settings.mergeName = "merged";
        if (mode == Mode::MusicDip || mode == Mode::MusicDipCached) {
            settings.levelMode = LevelMode::AgainstMusicThere;
            settings.level = -6;
            settings.duck = 6;
        }
        if (mode == Mode::Clip) {
            settings.clipLength = kClipLength;
            settings.clipStart = kClipStart;
            settings.clipFade = kClipFade;
        }
        RenderRun run(settings, tracks, wxArrayString(1, wxString::FromUTF8(tag)));
        run.SetParallel(batch ? 0 : 1);
        const wxArrayString lines = run.Run();
        bool ok = run.Complete();
        for (const TrackResult& result : run.Results())
            ok = ok && result.HasOutput();
        if (!ok)
            fprintf(stderr, "%s\n", wxJoin(lines, '\n').utf8_string().c_str());
        return ok;
    };
    if (tool == Tool::Velisto && mode == Mode::Merged) {
        // Against SoX joining the tracks into one MP3 itself.
        Timing timing;
        wxArrayString tracks;
        std::string inputs;
        for (int i = 0; i < count; ++i) {
            tracks.Add(wxString::FromUTF8(Track(set, i)));
            inputs += Quote(Track(set, i)) + " ";
        }
        auto start = std::chrono::steady_clock::now();
        if (Shell("cd " + Quote(g_resourceFolder.ToStdString()) + " && ./sox " + inputs + "-C " +
                  std::to_string(kBitrate) + " " + Quote(out + "/plain.mp3")))
            timing.plain = Since(start);
        start = std::chrono::steady_clock::now();
        timing.seconds = render(tracks) ? Since(start) : -1;
        timings.push_back(timing);
        return timings;
    }
    if (tool == Tool::Velisto && batch) {
        Timing timing{0, 0};
        wxArrayString tracks;
        for (int i = 0; i < count; ++i) {
            const double seconds = plain(i);
            timing.plain = seconds < 0 || timing.plain < 0 ? -1 : timing.plain + seconds;
            tracks.Add(wxString::FromUTF8(Track(set, i)));
        }
        const auto start = std::chrono::steady_clock::now();
        timing.seconds = render(tracks) ? Since(start) : -1;
        timings.push_back(timing);
        return timings;
    }
    const bool cached = mode == Mode::PlainCached || mode == Mode::MusicDipCached;
    for (int i = 0; i < count; ++i) {
        const std::string in = Track(set, i, ext);
        // A track touched is one whose music no earlier row measured.
        Shell("touch " + Quote(in));
        wxString failure;
        if (cached && !FileFacts::TrackLoudness(wxString::FromUTF8(in), failure))
            fprintf(stderr, "%s\n", failure.utf8_string().c_str());
        Timing timing;
        timing.plain = plain(i);
        const auto start = std::chrono::steady_clock::now();
        bool ok = false;
        if (tool == Tool::Ffmpeg) {
            const int rate = 44100;
            std::ostringstream graph;
            graph << "[1:a]aresample=" << rate
                  << ",aformat=channel_layouts=stereo,apad=whole_dur=" << interval
                  << ",aloop=loop=-1:size=" << interval * rate << ",adelay=" << kStart * 1000
                  << ":all=1[w];[0:a][w]amix=inputs=2:duration=first:normalize=0";
            ok = Shell("ffmpeg -nostdin -loglevel error -y -i " + Quote(in) + " -i " + Quote(tag) +
                       " -filter_complex " + Quote(graph.str()) + " -c:a libmp3lame -b:a " +
                       std::to_string(kBitrate) + "k " + Quote(output(i)));
        } else {
            ok = render(wxArrayString(1, wxString::FromUTF8(in)));
        }
        timing.seconds = ok ? Since(start) : -1;
        timings.push_back(timing);
    }
    return timings;
}

// Resident kilobytes of root and all its descendants right now.
long TreeResidentKb(pid_t root) {
    std::map<pid_t, pid_t> parent;
    std::map<pid_t, long> rss;
    DIR* proc = opendir("/proc");
    if (!proc)
        return 0;
    const long pageKb = sysconf(_SC_PAGESIZE) / 1024;
    while (dirent* entry = readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
        if (pid <= 0)
            continue;
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string text;
        if (!std::getline(stat, text))
            continue;
        // The command name may hold blanks and parentheses: fields follow the last ')'.
        const size_t close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(text.substr(close + 2));
        std::vector<std::string> f;
        for (std::string field; fields >> field;)
            f.push_back(field);
        if (f.size() < 22)
            continue;
        parent[pid] = static_cast<pid_t>(std::atol(f[1].c_str()));
        rss[pid] = std::atol(f[21].c_str()) * pageKb;
    }
    closedir(proc);
    long total = 0;
    for (const auto& [pid, kb] : rss) {
        for (pid_t p = pid; p > 1; p = parent.count(p) ? parent[p] : 0) {
            if (p == root) {
                total += kb;
                break;
            }
        }
    }
    return total;
}

struct Result {
    std::vector<Timing> timings;
    long treeKb = 0;
    bool ok = false;
};

Result Measure(const std::string& set, int count, Tool tool, int interval, Mode mode) {
    Result result;
    const std::string times = set + "/times";
    const pid_t child = fork();
    if (child == 0) {
        wxInitializer toolkit;
        std::ofstream file(times);
        for (const Timing& t : RunScenario(set, count, tool, interval, mode))
            file << t.seconds << " " << t.plain << "\n";
        file.close();
        _exit(toolkit.IsOk() ? 0 : 1);
    }
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child || done < 0)
            break;
        result.treeKb = std::max(result.treeKb, TreeResidentKb(child));
        usleep(50000);
    }
    std::ifstream file(times);
    for (Timing t; file >> t.seconds >> t.plain;)
        result.timings.push_back(t);
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && !result.timings.empty() &&
                std::none_of(result.timings.begin(), result.timings.end(),
                             [](const Timing& t) { return t.seconds < 0 || t.plain < 0; });
    return result;
}

// Seconds SoX takes to decode a set's MP3s one after another: with its own
// decoder, and as the engine reads them, from ffmpeg through a pipe input
// (which drops the encoder's delay and padding). -1 when either fails.
std::pair<double, double> Mp3DecodeSeconds(const std::string& set, int count) {
    double own = 0, piped = 0;
    for (int i = 0; i < count; ++i) {
        const std::string in = Quote(Track(set, i));
        auto start = std::chrono::steady_clock::now();
        if (!Shell("sox " + in + " -n"))
            return {-1, -1};
        own += Since(start);
        start = std::chrono::steady_clock::now();
        if (!Shell("sox -t sox " + Quote("| ffmpeg -nostdin -v fatal -i " + in + " -f sox -") +
                   " -n"))
            return {-1, -1};
        piped += Since(start);
    }
    return {own, piped};
}

// Seconds IdentifyCopy takes to trace an untagged 4-minute MP3 leak (its
// first 7.3 s cut, turned down 3 dB, encoded again at 128 kbit/s) to one of
// eight recipients by its sound; -1 when it fails or names another.
double IdentifySeconds(const std::string& work) {
    const std::string dir = work + "/identify";
    const std::string track = dir + "/track.mp3", output = dir + "/copy.wav";
    const std::string leak = dir + "/leak.mp3", manifest = dir + "/manifest.json";
    if (!Shell("mkdir -p " + Quote(dir) + " && sox -n -r 44100 -c 2 -C 192 " + Quote(track) +
               " synth 240.4 sine 150 sine 187 pinknoise tremolo 3 40 vol 0.5"))
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        wxInitializer toolkit;
        Manifest m;
        m.seed = 1;
        m.vary = kRecipientVary;
        m.watermarks.Add(wxString::FromUTF8(work + "/beep.mp3"));
        const std::vector<int> regular = WatermarkPositions(240, kStart, 10);
        VaryRequest request;
        request.vary = kRecipientVary;
        request.soundSeconds.assign(regular.size(), 1.0);
        for (int r = 0; r < 8; ++r) {
            ManifestCopy copy;
            copy.recipient = wxString::Format("Recipient %d", r + 1);
            copy.track = wxString::FromUTF8(track);
            copy.output = wxString::FromUTF8(dir + "/copy" + std::to_string(r + 1) + ".wav");
            copy.seed = request.seed = RecipientSeed(m.seed, {copy.recipient, wxString()});
            copy.positions = VariedPositions(regular, 240, request);
            copy.sounds.assign(copy.positions.size(), 0);
            m.copies.push_back(copy);
        }
        // The fourth recipient's copy leaks: only it is mixed.
        std::string mix = "sox -V1 -m -v 1 " + Quote(track);
        for (double at : m.copies[3].positions)
            mix += " -v 0.3 " + Quote("|sox " + work + "/beep.mp3 -p pad " + std::to_string(at));
        wxString error;
        if (!WriteManifest(wxString::FromUTF8(manifest), m, error) ||
            !Shell(mix + " " + Quote(output)) ||
            !Shell("sox -V1 " + Quote(output) +
                   " -t wav - trim 7.3 gain -3 | ffmpeg -nostdin -v error -y -i - "
                   "-map_metadata -1 -b:a 128k " +
                   Quote(leak)))
            _exit(1);
        const auto start = std::chrono::steady_clock::now();
        const LeakAnswer answer =
            IdentifyCopy(wxString::FromUTF8(leak), wxString::FromUTF8(manifest));
        const double seconds = Since(start);
        fprintf(stderr, "%s\n", answer.text.utf8_string().c_str());
        std::ofstream(dir + "/seconds") << seconds << "\n";
        _exit(answer.recipient == m.copies[3].recipient ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    double seconds = -1;
    std::ifstream(dir + "/seconds") >> seconds;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

bool MakeTracks(const std::string& set, int count, int seconds) {
    if (!Shell("mkdir -p " + Quote(set + "/in")))
        return false;
    for (int i = 0; i < count; ++i) {
        // Music-like content, different per track: a chord over pink noise.
        // Real tracks end anywhere within a second, so these do too.
        const int root = 110 + 20 * i;
        std::ostringstream cmd;
        cmd << "sox -n -r 44100 -c 2 -C 192 " << Quote(Track(set, i)) << " synth "
            << seconds + 0.2 + 0.06 * i << " sine " << root << " sine " << root * 5 / 4
            << " pinknoise tremolo 3 40 vol 0.5";
        if (!Shell(cmd.str()))
            return false;
    }
    return true;
}

// FLAC masters of the tracks, tagged as a catalogue's are: text tags and a
// 200 kB front cover.
bool MakeTaggedFlacs(const std::string& set, int count) {
    std::string cover(200 * 1024, '\0');
    for (size_t i = 0; i < cover.size(); ++i)
        cover[i] = static_cast<char>(i * 31 % 251);
    for (int i = 0; i < count; ++i) {
        const std::string flac = Track(set, i, "flac");
        if (!Shell("sox " + Quote(Track(set, i)) + " " + Quote(flac)))
            return false;
        TagLib::FLAC::File file(flac.c_str());
        TagLib::PropertyMap tags;
        for (const char* key : {"TITLE", "ARTIST", "ALBUM", "COMPOSER", "GENRE", "ISRC", "BPM"})
            tags.insert(key, TagLib::String(std::string(key) + " of track " + std::to_string(i)));
        file.setProperties(tags);
        auto* picture = new TagLib::FLAC::Picture;
        picture->setData(TagLib::ByteVector(cover.data(), static_cast<unsigned>(cover.size())));
        picture->setMimeType("image/jpeg");
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        file.addPicture(picture);
        if (!file.save())
            return false;
    }
    return true;
}

std::string Duration(int seconds) {
    return seconds % 60 ? std::to_string(seconds) + " s" : std::to_string(seconds / 60) + " min";
}

double Sum(const std::vector<Timing>& timings, double Timing::*field) {
    double sum = 0;
    for (const Timing& t : timings)
        sum += t.*field;
    return sum;
}

} // namespace

// Eight recipients' copies of three tracks against 24 plain renders of the
// same sound under 24 names, both on every core, varied by 3 s: a
// recipient's copy should cost what any render costs. Each measures its own
// tracks' music (the recipients' run three, shared by their copies).
bool RecipientRows(const std::string& set, const std::string& work) {
    const std::string folder = work + "/recipients";
    if (!Shell("mkdir -p " + Quote(folder + "/in") + " " + Quote(folder + "/copies") + " " +
               Quote(folder + "/plain")))
        return false;
    wxArrayString tracks, plain;
    for (int i = 0; i < 3; ++i) {
        tracks.Add(wxString::FromUTF8(Track(set, i)));
        for (int r = 0; r < 8; ++r) {
            const std::string copy =
                folder + "/in/r" + std::to_string(r) + "_" + std::to_string(i) + ".mp3";
            if (!Shell("cp " + Quote(Track(set, i)) + " " + Quote(copy)))
                return false;
            plain.Add(wxString::FromUTF8(copy));
        }
    }
    RenderSettings settings;
    settings.start = kStart;
    settings.interval = 10;
    settings.vary = 3;
    settings.format = OutputFormat::Mp3;
    settings.bitrate = kBitrate;
    const wxArrayString tag(1, wxString::FromUTF8(work + "/beep.mp3"));
    auto timed = [&](RenderSettings run, const wxArrayString& list, const std::string& out) {
        run.folder = wxString::FromUTF8(out);
        RenderRun render(run, list, tag);
        const auto start = std::chrono::steady_clock::now();
        const wxArrayString lines = render.Run();
        const double seconds = Since(start);
        if (!render.Complete()) {
            fprintf(stderr, "%s\n", wxJoin(lines, '\n').utf8_string().c_str());
            return -1.0;
        }
        return seconds;
    };
    // In a process of its own, as the scenarios: the engine wants the toolkit.
    const std::string times = folder + "/times";
    const pid_t child = fork();
    if (child == 0) {
        wxInitializer toolkit;
        RenderSettings recipients = settings;
        for (int r = 0; r < 8; ++r)
            recipients.recipients.list.push_back({wxString::Format("DJ %d", r + 1), wxString()});
        std::ofstream(times) << timed(recipients, tracks, folder + "/copies") << " "
                             << timed(settings, plain, folder + "/plain") << "\n";
        _exit(toolkit.IsOk() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    double copies = -1, renders = -1;
    std::ifstream(times) >> copies >> renders;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || copies < 0 || renders < 0)
        return false;
    printf("%-34s %9.2f %9.2f\n", "3 tracks x 8 recipients", copies, copies / 24);
    printf("%-34s %9.2f %9.2f %9s %7.2f\n", "24 plain renders, varied", renders, renders / 24, "",
           copies / renders);
    return true;
}

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; i += 2) {
        const std::string name = argv[i];
        // An option without its value (or --help) shows the usage.
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (value && name == "--tracks")
            options.tracks = std::max(1, std::atoi(value));
        else if (value && name == "--seconds")
            options.seconds = std::max(10, std::atoi(value));
        else if (value && name == "--long-seconds")
            options.longSeconds = std::max(10, std::atoi(value));
        else if (value && name == "--bundle")
            options.bundle = value;
        else {
            fprintf(stderr,
                    "usage: %s [--tracks N] [--seconds S] [--long-seconds S] [--bundle "
                    "Velisto.app]\n",
                    argv[0]);
            return 2;
        }
    }
    if (!Shell("command -v ffmpeg >/dev/null")) {
        fprintf(stderr, "ffmpeg is missing: scripts/install-deps installs it.\n");
        return 1;
    }

    char pattern[] = "/tmp/velisto-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        perror("mkdtemp");
        return 1;
    }
    const std::string work = pattern;
    const std::string shortSet = work + "/short", longSet = work + "/long";
    fprintf(stderr, "Making %d tracks of %d s and one of %d s with sox...\n", options.tracks,
            options.seconds, options.longSeconds);
    if (chdir(work.c_str()) != 0 ||
        !Shell("ln -s " + Quote(options.bundle) + " " + Quote(work + "/Velisto.app")) ||
        !Shell("sox -n -r 44100 -c 1 " + Quote(work + "/beep.mp3") +
               " synth 1 sine 1200 fade 0.05 1 0.05 vol 0.4") ||
        !MakeTracks(shortSet, options.tracks, options.seconds) ||
        !MakeTaggedFlacs(shortSet, options.tracks) ||
        !MakeTracks(longSet, 1, options.longSeconds)) {
        fprintf(stderr, "Cannot prepare the tracks in %s\n", work.c_str());
        Shell("rm -rf " + Quote(work));
        return 1;
    }

    printf("MP3 in, MP3 %d kbit/s out, first watermark at %d s, %u cores\n", kBitrate, kStart,
           std::thread::hardware_concurrency());
    printf("%-34s %9s %9s %9s %7s %10s\n", "scenario", "total s", "s/track", "plain s", "ratio",
           "peak mem");
    int status = 0;
    struct Set {
        std::string folder;
        int count;
        std::string label;
        std::vector<int> intervals;
    };
    const Set sets[] = {
        {shortSet,
         options.tracks,
         std::to_string(options.tracks) + " x " + Duration(options.seconds),
         {10, 5}},
        {longSet, 1, "1 x " + Duration(options.longSeconds), {5}},
    };
    for (const Set& set : sets) {
        auto row = [&](const std::string& name, Tool tool, int interval, Mode mode) -> double {
            fprintf(stderr, "Running: %s %s...\n", set.label.c_str(), name.c_str());
            const Result r = Measure(set.folder, set.count, tool, interval, mode);
            if (!r.ok) {
                printf("%-34s failed (see the messages above)\n", (set.label + " " + name).c_str());
                status = 1;
                return -1;
            }
            const double total = Sum(r.timings, &Timing::seconds);
            const double plain = Sum(r.timings, &Timing::plain);
            printf("%-34s %9.2f %9.2f %9.2f %7.2f %7.1f MB\n", (set.label + " " + name).c_str(),
                   total, total / set.count, plain, plain > 0 ? total / plain : 0.0,
                   r.treeKb / 1024.0);
            return total;
        };
        for (int interval : set.intervals) {
            const std::string every = "every " + std::to_string(interval) + " s";
            row("velisto " + every + ", alone", Tool::Velisto, interval, Mode::Alone);
            if (set.count > 1)
                row("velisto " + every + ", batch", Tool::Velisto, interval, Mode::Batch);
            row("ffmpeg " + every, Tool::Ffmpeg, interval, Mode::Alone);
        }
        if (set.count > 1) {
            row("velisto every 10 s, merged", Tool::Velisto, 10, Mode::Merged);
            row("velisto 60 s clips, alone", Tool::Velisto, 10, Mode::Clip);
            row("velisto tagged FLAC in, alone", Tool::Velisto, 10, Mode::TaggedFlac);
        }
        const double before =
            row("velisto measured before, alone", Tool::Velisto, 10, Mode::PlainCached);
        const double dipMeasured =
            row("velisto -6 LU, 6 dB dip, measured", Tool::Velisto, 10, Mode::MusicDipCached);
        const double dip = row("velisto -6 LU, 6 dB dip, alone", Tool::Velisto, 10, Mode::MusicDip);
        if (before > 0 && dipMeasured > 0 && dip > 0)
            printf("%-34s %9.2f measured before, %.2f measured in the render\n",
                   (set.label + " dip / plain render").c_str(), dipMeasured / before, dip / before);
    }
    if (options.tracks >= 3) {
        fprintf(stderr, "Running: recipients...\n");
        if (!RecipientRows(shortSet, work)) {
            printf("%-34s failed (see the messages above)\n", "recipients");
            status = 1;
        }
    }
    const auto [own, piped] = Mp3DecodeSeconds(shortSet, options.tracks);
    if (own > 0 && piped > 0)
        printf("%-34s %9.2f ffmpeg into SoX, %.2f SoX's own decoder, ratio %.2f\n",
               (std::to_string(options.tracks) + " x " + Duration(options.seconds) + " MP3 decode")
                   .c_str(),
               piped, own, piped / own);
    else
        status = 1;
    fprintf(stderr, "Running: identify a leak...\n");
    const double identify = IdentifySeconds(work);
    if (identify >= 0)
        printf("%-34s %9.2f\n", "identify a 4 min MP3 leak", identify);
    else {
        printf("%-34s failed (see the messages above)\n", "identify a 4 min MP3 leak");
        status = 1;
    }
    printf("\nplain s: the plain conversions of the same tracks one after another, timed\n"
           "beside the scenario (before each track alone, before the batch). ratio: total\n"
           "seconds over plain seconds. alone: one render at a time; batch: the whole run,\n"
           "one render per core; merged: the batch joined into one MP3, against SoX\n"
           "joining the same tracks into one MP3 (sox a.mp3 b.mp3 ... -C 320 out.mp3);\n"
           "clips: a 60 s clip from 0:30 faded over 2 s, against SoX cutting and fading\n"
           "it (sox IN.mp3 -C 320 OUT.mp3 trim 30 60 fade t 2 60 2); tagged FLAC: FLAC\n"
           "masters with text tags and a 200 kB cover, tags and cover carried, against\n"
           "SoX converting them (which drops both). Every render measures its track's\n"
           "music first (the loudness and peaks that keep any level from clipping);\n"
           "measured before: that measure taken before the timing, as the window has it\n"
           "from the waveform strip. -6 LU, 6 dB dip: the tag set 6 LU below the music\n"
           "around each copy, the music dipped 6 dB under it. 3 tracks x 8 recipients:\n"
           "a copy of the first three tracks per recipient, each placed by its own seed,\n"
           "tagged and listed in the manifest, against 24 plain renders of the same sound\n"
           "under 24 names (ratio: recipients' seconds over the plain renders').\n"
           "peak mem: the scenario's processes together at their peak.\n"
           "targets: alone, clips and tagged FLAC <= 1.3, batch <= 0.7, merged <= 1.1,\n"
           "velisto below ffmpeg; dip / plain render (both measured before) <= 1.15,\n"
           "measured in the render <= 1.35; MP3 decode (ffmpeg, gapless, against SoX's\n"
           "own decoder, which keeps the encoder's delay and padding) <= 1.10.\n"
           "identify: seconds to trace an untagged 4-minute MP3 leak (its start cut, turned\n"
           "down, encoded again) to one of eight recipients by its sound; target <= 5.\n");
    Shell("rm -rf " + Quote(work));
    return status;
}
