// Rendering one track with its watermark copies: placement, names, formats and
// the audio itself.
#include "testutil.h"

#include <atomic>
#include <chrono>
#include <dirent.h>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

// Where a watermark sounds in a rendered file: start and length in tenths of a second.
using Sound = std::pair<int, int>;

std::vector<Sound> SoundsIn(const std::string& path, int channel = 0) {
    std::vector<Sound> sounds;
    const std::vector<double> peaks = BlockPeaks(path, 0.1, channel);
    EXPECT_FALSE(peaks.empty()) << path;
    for (int b = 0; b < static_cast<int>(peaks.size()); ++b) {
        if (peaks[b] < 0.02)
            continue;
        if (!sounds.empty() && sounds.back().first + sounds.back().second == b)
            ++sounds.back().second;
        else
            sounds.push_back({b, 1});
    }
    return sounds;
}

// Half-second beeps starting at the given seconds.
std::vector<Sound> Beeps(std::initializer_list<int> seconds) {
    std::vector<Sound> sounds;
    for (int s : seconds)
        sounds.push_back({s * 10, 5});
    return sounds;
}

// Largest absolute difference between the samples of two files of one
// signal, or -1 when SoX cannot compare them.
double MaxDifference(const std::string& a, const std::string& b) {
    std::string out;
    if (Shell("sox -m -v 1 " + ShellQuote(a) + " -v -1 " + ShellQuote(b) + " -n stat", &out) != 0)
        return -1;
    const size_t max = out.find("Maximum amplitude:"), min = out.find("Minimum amplitude:");
    if (max == std::string::npos || min == std::string::npos)
        return -1;
    return std::max(std::atof(out.c_str() + max + 18), -std::atof(out.c_str() + min + 18));
}

long long Frames(const std::string& path) {
    std::string out;
    return Shell("soxi -s " + ShellQuote(path), &out) == 0 ? std::atoll(out.c_str()) : -1;
}

class Render : public BundleTest {
protected:
    void SetUp() override {
        BundleTest::SetUp();
        MakeFolders({"in", "wm", "out"});
        // Quiet tracks and loud beeps at a low rate keep the audio checks quick and exact.
        MakeTone(Work("wm/beep.wav"), 0.5, "sine 1000", 8000, 1);
    }

    // Renders a silent track of the given length to WAV in out/ with the beep.
    bool RenderSilence(const std::string& name, double seconds, int start, int interval,
                       CSoxHandler& sox) {
        MakeSilence(Work("in/" + name), seconds, 8000, 1);
        PrepareWatermarking(sox, Work("in/" + name), {Work("wm/beep.wav")}, Work("out"), start,
                            interval);
        return sox.Run();
    }

    // The mixing command of the last render.
    wxString MixCommand() const {
        for (size_t i = m_log.commands.size(); i-- > 0;)
            if (m_log.commands[i].Contains(" -v 1 "))
                return m_log.commands[i];
        return wxString();
    }

    CommandLog m_log;
};

TEST(OutputNaming, FolderPrefixBaseSuffixAndLowerCaseFormat) {
    EXPECT_EQ("/out/x_a.b.aiff", WatermarkOutputPath("/in/a.b.wav", "/out", "x_", "", "AIFF"));
    EXPECT_EQ("/out/song_wm.mp3", WatermarkOutputPath("/in/song.mp3", "/out", "", "_wm", "MP3"));
    EXPECT_EQ("/out dir/my song.wav",
              WatermarkOutputPath("/in/my song.aiff", "/out dir", "", "", "WAV"));
    EXPECT_EQ("/out/Mix.take.aiff", MergedOutputPath("/out", "Mix.take.wav", "AIFF"));
}

// A track that gets no copy (L = S) is written plainly, and its line says so.
TEST_F(Render, BeepSoundsAtEveryPlannedSecondAndNowhereElse) {
    struct Case {
        double seconds;
        int start;
        int interval;
        std::vector<Sound> expected;
        const char* line;
    };
    const char* const done = "song.wav: Process completed successfully";
    const Case cases[] = {
        {50.5, 10, 15, Beeps({10, 25, 40}), done},
        {41.3, 10, 15, Beeps({10, 25, 40}), done},
        {40.9, 10, 15, Beeps({10, 25}), done},
        {12.2, 0, 5, Beeps({0, 5, 10}), done},
        {10.4,
         10,
         5,
         {},
         "song.wav: written WITHOUT a watermark: the track ends before the "
         "first watermark at 10 s."},
        {0.5,
         0,
         5,
         {},
         "song.wav: written WITHOUT a watermark: the track ends before the "
         "first watermark at 0 s."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        CSoxHandler sox;
        ASSERT_TRUE(RenderSilence("song.wav", c.seconds, c.start, c.interval, sox));
        EXPECT_EQ(Wx(Work("out/song.wav")), sox.GetResultOutput());
        EXPECT_EQ(static_cast<int>(c.seconds), sox.GetResultLong());
        EXPECT_EQ(Strings({c.line}), sox.GetErrors());
        EXPECT_EQ(c.expected, SoundsIn(Work("out/song.wav")));
        EXPECT_NEAR(c.seconds, Inspect(Work("out/song.wav")).seconds, 0.01);
    }
}

TEST_F(Render, ThreeWatermarksCycleInListOrder) {
    // Told apart by their lengths: 0.3, 0.6 and 0.9 seconds.
    MakeTone(Work("wm/one.wav"), 0.3, "sine 500", 8000, 1);
    MakeTone(Work("wm/two.wav"), 0.6, "sine 700", 8000, 1);
    MakeTone(Work("wm/three.wav"), 0.9, "sine 900", 8000, 1);
    MakeSilence(Work("in/song.wav"), 31.5, 8000, 1);
    CSoxHandler sox;
    PrepareWatermarking(sox, Work("in/song.wav"),
                        {Work("wm/one.wav"), Work("wm/two.wav"), Work("wm/three.wav")}, Work("out"),
                        0, 5);
    ASSERT_TRUE(sox.Run());
    EXPECT_EQ(
        (std::vector<Sound>{{0, 3}, {50, 6}, {100, 9}, {150, 3}, {200, 6}, {250, 9}, {300, 3}}),
        SoundsIn(Work("out/song.wav")));
}

TEST_F(Render, WatermarkKeepsItsLevelHoweverManyCopiesTheTrackGets) {
    CSoxHandler sox;
    ASSERT_TRUE(RenderSilence("long.wav", 180, 0, 5, sox));
    const double original = PeakIn(Work("wm/beep.wav"), 0, 0.5);
    for (double at : {0.0, 90.0, 175.0})
        EXPECT_NEAR(original, PeakIn(Work("out/long.wav"), at, 0.5), 0.02) << at;
}

TEST_F(Render, OneMixOfTheTrackAndItsBedWithTheOutputOptionsLast) {
    MakeTone(Work("in/song.mp3"), 50.7, "sine 220");
    MakeTone(Work("wm/a.mp3"), 1, "sine 1000");
    MakeTone(Work("wm/b.mp3"), 1, "sine 2000");
    CSoxHandler sox;
    PrepareWatermarking(sox, Work("in/song.mp3"), {Work("wm/a.mp3"), Work("wm/b.mp3")}, Work("out"),
                        10, 15, "MP3");
    sox.SetBitrate(128);
    sox.SetMono(true);
    sox.SetSuffix("_wm");
    ASSERT_TRUE(sox.Run()) << FirstLine(sox);

    const wxString out = Wx(Work("out/song_wm.mp3"));
    const wxString mix = MixCommand();
    EXPECT_TRUE(mix.StartsWith("./sox  -v 1 -m \"" + Wx(Work("in/song.mp3")) + "\" \"| ./sox "))
        << mix;
    EXPECT_TRUE(mix.EndsWith("\"  -c 1 -C 128 \"" + out + "\"")) << mix;
    EXPECT_EQ(out, sox.GetResultOutput());
    EXPECT_EQ(50, sox.GetResultLong());
    EXPECT_EQ("song.mp3: Process completed successfully", FirstLine(sox));
    const AudioInfo info = Inspect(Work("out/song_wm.mp3"));
    EXPECT_EQ(1, info.channels);
    EXPECT_EQ(44100, info.rate);
    EXPECT_EQ(128, info.kbits);

    // The next track of the batch reads only its own header again (its
    // stated length is clear of a whole second), then mixes: the watermarks are known.
    m_log.commands.Clear();
    ASSERT_TRUE(sox.Run()) << FirstLine(sox);
    ASSERT_EQ(2u, m_log.commands.size()) << m_log.commands[0];
    EXPECT_EQ("./sox --i \"" + Wx(Work("in/song.mp3")) + "\"", m_log.commands[0]);
}

TEST_F(Render, FormatsBitrateAndMono) {
    MakeTone(Work("in/song.wav"), 6.5, "sine 220");
    MakeSilence(Work("in/quad.wav"), 3.5, 44100, 4);
    const struct {
        const char* track;
        const char* format;
        bool mono;
        const char* out;
        int channels;
        int kbits;
    } cases[] = {{"song.wav", "WAV", false, "song.wav", 2, 0},
                 {"song.wav", "AIFF", true, "song.aiff", 1, 0},
                 // MP3 holds at most two channels.
                 {"quad.wav", "MP3", false, "quad.mp3", 2, 192}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        CSoxHandler sox;
        PrepareWatermarking(sox, Work("in/") + c.track, {Work("wm/beep.wav")}, Work("out"), 1, 5,
                            c.format);
        sox.SetBitrate(c.kbits); // as the window gives it: none but for MP3
        sox.SetMono(c.mono);
        ASSERT_TRUE(sox.Run()) << FirstLine(sox);
        const std::string out = Work("out/") + c.out;
        EXPECT_EQ(Wx(out), sox.GetResultOutput());
        const AudioInfo info = Inspect(out);
        EXPECT_EQ(44100, info.rate);
        EXPECT_EQ(c.channels, info.channels);
        EXPECT_EQ(c.kbits, info.kbits);
    }
}

TEST_F(Render, WatermarkIsConvertedToTheTracksRateAndChannels) {
    // A 44.1 kHz mono beep on a 48 kHz stereo track: SoX would refuse the mix,
    // and unconverted the beep would sound on the left only.
    MakeSilence(Work("in/stereo48.wav"), 7.5, 48000, 2);
    MakeTone(Work("wm/mono44.wav"), 0.5, "sine 1000", 44100, 1);
    CSoxHandler sox;
    PrepareWatermarking(sox, Work("in/stereo48.wav"), {Work("wm/mono44.wav")}, Work("out"), 2);
    ASSERT_TRUE(sox.Run()) << FirstLine(sox);
    AudioInfo info = Inspect(Work("out/stereo48.wav"));
    EXPECT_EQ(48000, info.rate);
    EXPECT_EQ(2, info.channels);
    EXPECT_EQ(Beeps({2}), SoundsIn(Work("out/stereo48.wav"), 1));
    EXPECT_EQ(Beeps({2}), SoundsIn(Work("out/stereo48.wav"), 2));

    // A stereo 22.05 kHz beep on a mono 44.1 kHz track stays mono.
    MakeSilence(Work("in/mono.wav"), 7.5, 44100, 1);
    MakeTone(Work("wm/stereo22.wav"), 0.5, "sine 1000", 22050, 2);
    sox.SetInputFile(Wx(Work("in/mono.wav")));
    sox.SetWaterMarks(Files({"wm/stereo22.wav"}));
    ASSERT_TRUE(sox.Run()) << FirstLine(sox);
    info = Inspect(Work("out/mono.wav"));
    EXPECT_EQ(44100, info.rate);
    EXPECT_EQ(1, info.channels);
    EXPECT_EQ(Beeps({2}), SoundsIn(Work("out/mono.wav")));
}

TEST_F(Render, OutputThatWouldReplaceAnInputIsRefused) {
    MakeTone(Work("in/song.mp3"), 3.5, "sine 220");
    ASSERT_EQ(0, Shell("ln -s in " + ShellQuote(Work("alias"))));
    const std::string before = Contents(Work("in/song.mp3"));
    for (const std::string folder : {"in", "alias", "in/../in"}) {
        SCOPED_TRACE(folder);
        m_log.commands.Clear();
        CSoxHandler sox;
        PrepareWatermarking(sox, Work("in/song.mp3"), {Work("wm/beep.wav")}, Work(folder), 1, 5,
                            "MP3");
        EXPECT_FALSE(sox.Run());
        EXPECT_EQ(Strings({"song.mp3: Not processed: the output file would replace this track. "
                           "Choose another output folder, a prefix or suffix, or another format."}),
                  sox.GetErrors());
        EXPECT_EQ("", MixCommand());
        EXPECT_EQ(before, Contents(Work("in/song.mp3")));
    }

    // A track named like a watermark, rendered into the watermark's folder.
    MakeSilence(Work("in/beep.aiff"), 3.5, 8000, 1);
    const std::string beep = Contents(Work("wm/beep.wav"));
    CSoxHandler sox;
    PrepareWatermarking(sox, Work("in/beep.aiff"), {Work("wm/beep.wav")}, Work("wm"));
    EXPECT_FALSE(sox.Run());
    EXPECT_EQ(Strings({"beep.aiff: Not processed: the output file would replace the watermark "
                       "file beep.wav."}),
              sox.GetErrors());
    EXPECT_EQ(beep, Contents(Work("wm/beep.wav")));
}

TEST_F(Render, MissingSettingsFailSilentlyUnplayableTracksWithALine) {
    MakeSilence(Work("in/five.wav"), 5.5, 8000, 1);
    struct Case {
        const char* what;
        std::function<void(CSoxHandler&)> spoil;
    };
    const Case cases[] = {
        {"no track", [](CSoxHandler& s) { s.SetInputFile(""); }},
        {"no folder", [](CSoxHandler& s) { s.SetOutputFile(""); }},
        {"no watermarks", [](CSoxHandler& s) { s.SetWaterMarks(wxArrayString()); }},
        {"zero interval", [](CSoxHandler& s) { s.SetWaterMarkInterval(0); }},
        {"negative interval", [](CSoxHandler& s) { s.SetWaterMarkInterval(-5); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_log.commands.Clear();
        CSoxHandler sox;
        PrepareWatermarking(sox, Work("in/five.wav"), {Work("wm/beep.wav")}, Work("out"));
        c.spoil(sox);
        EXPECT_FALSE(sox.Run());
        EXPECT_TRUE(sox.GetErrors().empty());
        EXPECT_TRUE(m_log.commands.empty());
    }
    EXPECT_FALSE(wxFileExists(Wx(Work("out/five.wav"))));

    // A track that cannot be measured or ends before the start is not
    // written, and its line says why.
    CSoxHandler sox;
    PrepareWatermarking(sox, Work("in/none.wav"), {Work("wm/beep.wav")}, Work("out"));
    EXPECT_FALSE(sox.Run());
    ASSERT_EQ(1u, sox.GetErrors().size());
    EXPECT_TRUE(FirstLine(sox).StartsWith("none.wav: can't open input file")) << FirstLine(sox);
    PrepareWatermarking(sox, Work("in/five.wav"), {Work("wm/beep.wav")}, Work("out"), 6);
    EXPECT_FALSE(sox.Run());
    EXPECT_EQ(Strings({"five.wav: Not processed: the track ends before the first watermark at 6 "
                       "s."}),
              sox.GetErrors());
    EXPECT_FALSE(wxFileExists(Wx(Work("out/five.wav"))));
}

TEST_F(Render, SoxFailureLeavesTheTracksNameAndSoxsFirstLine) {
    MakeSilence(Work("in/song.wav"), 3.5, 8000, 1);
    CSoxHandler sox;
    PrepareWatermarking(sox, Work("in/song.wav"), {Work("wm/beep.wav")}, Work("no such folder"));
    EXPECT_FALSE(sox.Run());
    EXPECT_EQ(Wx(Work("no such folder/song.wav")), sox.GetResultOutput());
    ASSERT_EQ(1u, sox.GetErrors().size());
    EXPECT_TRUE(FirstLine(sox).StartsWith("song.wav: ")) << FirstLine(sox);
    EXPECT_TRUE(FirstLine(sox).Contains("can't open output file")) << FirstLine(sox);
}

// The render as it was once built: one SoX input per copy, the watermark
// delayed by its start. Kept here to prove that the bed sounds the same.
TEST_F(Render, SameAudioAsOneInputPerCopy) {
    MakeTone(Work("in/track.wav"), 23.7, "pinknoise vol 0.2");
    MakeTone(Work("in/short.wav"), 5.6, "pinknoise vol 0.2");
    MakeTone(Work("in/track.mp3"), 12.4, "pinknoise vol 0.2");
    MakeTone(Work("wm/w1.wav"), 0.5, "sine 1000 vol 0.4");
    MakeTone(Work("wm/w2.mp3"), 1.2, "sine 1500 vol 0.4");
    MakeTone(Work("wm/mono.wav"), 0.8, "sine 700 vol 0.4", 44100, 1);
    MakeTone(Work("wm/long.wav"), 7.3, "sine 300 vol 0.4");
    MakeTone(Work("wm/w22.wav"), 0.5, "sine 1200 vol 0.4", 22050, 1);
    // The reference's conversion of each watermark to the 44.1 kHz stereo tracks.
    const std::map<std::string, std::string> conversion = {{"mono.wav", "-c 2 "},
                                                           {"w22.wav", "-r 44100 -c 2 "}};

    struct Case {
        const char* what;
        const char* track;
        int length; // whole seconds
        std::vector<std::string> watermarks;
        int start, interval;
        bool mono;
        double tolerance; // 0 where nothing is resampled
    };
    const Case cases[] = {
        {"one watermark", "track.wav", 23, {"w1.wav"}, 5, 5, false, 0},
        {"three, from 0", "track.wav", 23, {"w1.wav", "w2.mp3", "mono.wav"}, 0, 5, false, 0},
        {"no copy (L = S)", "short.wav", 5, {"w1.wav"}, 5, 5, false, 0},
        // Copies overlap, and the last reaches past the track's end.
        {"longer than the interval",
         "track.wav",
         23,
         {"long.wav", "w1.wav", "mono.wav"},
         2,
         5,
         false,
         0},
        {"mono output", "track.wav", 23, {"w1.wav", "w2.mp3"}, 1, 10, true, 0},
        {"an MP3 track", "track.mp3", 12, {"w1.wav"}, 0, 5, false, 0},
        {"resampled", "track.wav", 23, {"w22.wav", "w1.wav"}, 3, 5, false, 0.01},
    };
    MakeFolders({"ref"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> paths;
        for (const std::string& name : c.watermarks)
            paths.push_back(Work("wm/" + name));
        CSoxHandler sox;
        PrepareWatermarking(sox, Work("in/") + c.track, paths, Work("out"), c.start, c.interval);
        sox.SetMono(c.mono);
        ASSERT_TRUE(sox.Run()) << FirstLine(sox);
        const std::string out = sox.GetResultOutput().utf8_string();

        std::string reference = "sox -v 1 " + std::string(c.start < c.length ? "-m " : "") +
                                ShellQuote(Work("in/") + c.track);
        for (int k = 0; c.start + k * c.interval <= c.length - 1; ++k) {
            const std::string& name = c.watermarks[k % c.watermarks.size()];
            const auto convert = conversion.find(name);
            reference += " " + ShellQuote("|sox " + ShellQuote(Work("wm/" + name)) + " " +
                                          (convert == conversion.end() ? "" : convert->second) +
                                          "-p pad " + std::to_string(c.start + k * c.interval));
        }
        const std::string expected = Work("ref/out.wav");
        std::string text;
        ASSERT_EQ(0, Shell(reference + (c.mono ? " -c 1 " : " ") + ShellQuote(expected), &text))
            << reference << "\n"
            << text;

        EXPECT_EQ(Frames(expected), Frames(out));
        const double difference = MaxDifference(expected, out);
        EXPECT_GE(difference, 0);
        EXPECT_LE(difference, c.tolerance);
    }
}

// Peak resident memory (kB) of all descendants of this process and the most
// SoX processes seen at once, sampled while it runs.
class ProcessSampler {
public:
    ProcessSampler() : m_thread([this] { Loop(); }) {}
    ~ProcessSampler() { Stop(); }
    void Stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    long peakKb = 0;
    int peakSox = 0;

private:
    void Loop() {
        const long pageKb = sysconf(_SC_PAGESIZE) / 1024;
        while (!m_stop) {
            std::map<long, long> parent, rss;
            std::map<long, bool> isSox;
            DIR* proc = opendir("/proc");
            while (dirent* entry = proc ? readdir(proc) : nullptr) {
                const long pid = std::atol(entry->d_name);
                std::string stat;
                if (pid <= 0 ||
                    !std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), stat))
                    continue;
                // Fields after the command name, which ends at the last ')'.
                const size_t close = stat.rfind(')');
                std::istringstream fields(stat.substr(close + 2));
                std::vector<std::string> f;
                for (std::string field; fields >> field;)
                    f.push_back(field);
                if (close == std::string::npos || f.size() < 22)
                    continue;
                parent[pid] = std::atol(f[1].c_str());
                rss[pid] = std::atol(f[21].c_str()) * pageKb;
                isSox[pid] = stat.find("(sox)") != std::string::npos;
            }
            if (proc)
                closedir(proc);
            long total = 0;
            int sox = 0;
            for (const auto& [pid, kb] : rss) {
                for (long p = parent[pid]; p > 1; p = parent.count(p) ? parent[p] : 0) {
                    if (p == getpid()) {
                        total += kb;
                        sox += isSox[pid];
                        break;
                    }
                }
            }
            peakKb = std::max(peakKb, total);
            peakSox = std::max(peakSox, sox);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

int SoxRuns(const wxString& command) {
    int runs = 0;
    for (size_t at = command.find("./sox"); at != wxString::npos;
         at = command.find("./sox", at + 1))
        ++runs;
    return runs;
}

TEST_F(Render, TwoHourTrackEveryFiveSecondsWithFewProcessesAndLittleMemory) {
    MakeTone(Work("wm/beep44.wav"), 0.5, "sine 1000 vol 0.5");
    MakeSilence(Work("in/minute.wav"), 60);
    CSoxHandler sox;
    PrepareWatermarking(sox, Work("in/minute.wav"), {Work("wm/beep44.wav")}, Work("out"), 0, 5);
    ASSERT_TRUE(sox.Run()) << FirstLine(sox);
    const int minuteRuns = SoxRuns(MixCommand());

    MakeSilence(Work("in/mix.wav"), 7200);
    PrepareWatermarking(sox, Work("in/mix.wav"), {Work("wm/beep44.wav")}, Work("out"), 0, 5);
    sox.SetMono(true); // halves the 32-bit output
    ProcessSampler sampler;
    ASSERT_TRUE(sox.Run()) << FirstLine(sox);
    sampler.Stop();
    EXPECT_EQ(Strings({"mix.wav: Process completed successfully"}), sox.GetErrors());
    EXPECT_EQ(minuteRuns, SoxRuns(MixCommand())) << MixCommand();
    EXPECT_LE(sampler.peakSox, minuteRuns);
    EXPECT_LT(sampler.peakKb, 100 * 1024);
    const std::string out = Work("out/mix.wav");
    EXPECT_EQ(7200LL * 44100, Frames(out));
    for (double at : {0.0, 3600.0, 7195.0}) {
        EXPECT_NEAR(0.5, PeakIn(out, at, 0.5), 0.02) << at;
        EXPECT_LT(PeakIn(out, at + 0.6, 4.3), 0.001) << at;
    }
    RecordProperty("PeakKb", std::to_string(sampler.peakKb));
    RecordProperty("PeakSox", std::to_string(sampler.peakSox));
    std::cout << "peak " << sampler.peakKb << " kB, " << sampler.peakSox << " SoX processes\n";
}

// SoX exits 0 when the disk fills; its FAIL line decides, and nothing partial stays.
TEST_F(Render, FullDiskFailsTheTrackAndTheJoinAndLeavesNoPartialFile) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a small file system";
    const std::string full = Work("full");
    MakeFolders({"full"});
    std::string text;
    if (Shell("mount -t tmpfs -o size=2m tmpfs " + ShellQuote(full), &text) != 0)
        GTEST_SKIP() << "cannot mount a tmpfs: " << text;
    struct Unmount {
        std::string path;
        ~Unmount() { Shell("umount " + ShellQuote(path)); }
    } unmount{full};

    MakeSilence(Work("in/a.wav"), 20);
    MakeSilence(Work("in/b.wav"), 20);
    MakeTone(Work("wm/beep44.wav"), 0.5, "sine 1000");
    CSoxHandler sox;
    PrepareWatermarking(sox, Work("in/a.wav"), {Work("wm/beep44.wav")}, full);
    EXPECT_FALSE(sox.Run()); // cut short
    ASSERT_EQ(1u, sox.GetErrors().size());
    EXPECT_TRUE(FirstLine(sox).StartsWith("a.wav: ")) << FirstLine(sox);
    EXPECT_TRUE(FirstLine(sox).EndsWith("error writing output file: No space left on device"))
        << FirstLine(sox);
    EXPECT_FALSE(wxFileExists(Wx(full + "/a.wav")));

    Shell("head -c 3000000 /dev/zero > " + ShellQuote(full + "/filler"));
    sox.SetInputFile(Wx(Work("in/b.wav")));
    EXPECT_FALSE(sox.Run()); // nothing written at all
    EXPECT_TRUE(FirstLine(sox).StartsWith("b.wav: ")) << FirstLine(sox);
    EXPECT_TRUE(FirstLine(sox).Contains("No space left on device")) << FirstLine(sox);
    EXPECT_FALSE(wxFileExists(Wx(full + "/b.wav")));

    EXPECT_EQ(-1, sox.AppendFiles(Files({"in/a.wav", "in/b.wav"}), Wx(full + "/Mix.wav")));
    EXPECT_TRUE(FirstLine(sox).StartsWith("Mix.wav: ")) << FirstLine(sox);
    EXPECT_TRUE(FirstLine(sox).Contains("No space left on device")) << FirstLine(sox);
    EXPECT_FALSE(wxFileExists(Wx(full + "/Mix.wav")));
}

// What the caller of BeginRun/BeginAppend hands back decides: a FAIL line
// whatever the status, and only a file the run wrote is removed.
TEST_F(Render, RunsEndedByTheCallerAreJudgedByWhatSoxPrinted) {
    MakeSilence(Work("in/song.wav"), 3.5, 8000, 1);
    const std::string out = Work("out/song.wav");
    const auto earlier = [&](const std::string& bytes) {
        ASSERT_EQ(0, Shell("printf %s " + ShellQuote(bytes) + " > " + ShellQuote(out)));
    };
    earlier("earlier");
    SoxOutput full;
    full.status = 0;
    full.errors = Strings({"sox WARN wav: header says less", "sox FAIL sox: `" + Wx(out) +
                                                                 "' error writing output file: No "
                                                                 "space left on device"});
    SoxOutput unstarted; // status -1
    SoxOutput warned;
    warned.status = 0;
    warned.errors = Strings({"sox WARN sox: sox clipped 3 samples; decrease volume?"});

    CSoxHandler sox;
    PrepareWatermarking(sox, Work("in/song.wav"), {Work("wm/beep.wav")}, Work("out"));
    wxString command;
    ASSERT_TRUE(sox.BeginRun(command));
    EXPECT_TRUE(command.StartsWith("./sox  -v 1 -m ")) << command;
    EXPECT_FALSE(sox.EndRun(full));
    EXPECT_EQ(Strings({"song.wav: `" + Wx(out) +
                       "' error writing output file: No space left on "
                       "device"}),
              sox.GetErrors());
    EXPECT_EQ("earlier", Contents(out)); // never reached: stays

    ASSERT_TRUE(sox.BeginRun(command));
    earlier("partly written");
    EXPECT_FALSE(sox.EndRun(full));
    EXPECT_FALSE(wxFileExists(Wx(out)));

    ASSERT_TRUE(sox.BeginRun(command));
    EXPECT_FALSE(sox.EndRun(unstarted));
    EXPECT_EQ(Strings({"song.wav: SoX could not be started."}), sox.GetErrors());
    ASSERT_TRUE(sox.BeginRun(command));
    EXPECT_TRUE(sox.EndRun(warned));
    EXPECT_EQ(Strings({"song.wav: Process completed successfully"}), sox.GetErrors());

    ASSERT_TRUE(sox.BeginAppend(Files({"in/song.wav"}), Wx(out), command));
    EXPECT_EQ("./sox \"" + Wx(Work("in/song.wav")) + "\" \"" + Wx(out) + "\"", command);
    earlier("partly joined");
    full.errors[1].Replace(Wx(out), "Mix.wav");
    EXPECT_EQ(-1, sox.EndAppend(full));
    EXPECT_EQ(Strings({"song.wav: `Mix.wav' error writing output file: No space left on device"}),
              sox.GetErrors());
    EXPECT_FALSE(wxFileExists(Wx(out)));
    ASSERT_TRUE(sox.BeginAppend(Files({"in/song.wav"}), Wx(out), command));
    EXPECT_EQ(0, sox.EndAppend(warned));
    EXPECT_TRUE(sox.GetErrors().empty());

    // A join that would write over one of its files is not started.
    EXPECT_FALSE(sox.BeginAppend(Files({"in/song.wav"}), Wx(Work("in/song.wav")), command));
    EXPECT_EQ(Strings({"song.wav: Not created: it would replace song.wav, one of the files to "
                       "join."}),
              sox.GetErrors());
}

} // namespace