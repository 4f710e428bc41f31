// Rendering one track with its watermark copies: placement, names, formats and
// the audio itself.
#include "testutil.h"

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

// A track that gets no copy (L = S) is written plainly: SoX refuses to mix one input.
TEST_F(Render, BeepSoundsAtEveryPlannedSecondAndNowhereElse) {
    struct Case {
        double seconds;
        int start;
        int interval;
        std::vector<Sound> expected;
    };
    const Case cases[] = {{50.5, 10, 15, Beeps({10, 25, 40})},
                          {41.3, 10, 15, Beeps({10, 25, 40})},
                          {40.9, 10, 15, Beeps({10, 25})},
                          {12.2, 0, 5, Beeps({0, 5, 10})},
                          {10.4, 10, 5, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        CSoxHandler sox;
        ASSERT_TRUE(RenderSilence("song.wav", c.seconds, c.start, c.interval, sox));
        EXPECT_EQ(Wx(Work("out/song.wav")), sox.GetResultOutput());
        EXPECT_EQ(static_cast<int>(c.seconds), sox.GetResultLong());
        EXPECT_EQ(Strings({"song.wav: Process completed successfully"}), sox.GetErrors());
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

TEST_F(Render, CommandIsTheDocumentedOneForOrdinaryPaths) {
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

    const wxString a = Wx(Work("wm/a.mp3")), b = Wx(Work("wm/b.mp3"));
    const wxString out = Wx(Work("out/song_wm.mp3"));
    EXPECT_EQ("./sox  -v 1 -m \"" + Wx(Work("in/song.mp3")) + "\" " + "\"| ./sox \\\"" + a +
                  "\\\" -p pad 10\" " + "\"| ./sox \\\"" + b + "\\\" -p pad 25\" " +
                  "\"| ./sox \\\"" + a + "\\\" -p pad 40\" " + " -c 1 -C 128 \"" + out + "\"",
              MixCommand());
    EXPECT_EQ(out, sox.GetResultOutput());
    EXPECT_EQ(50, sox.GetResultLong());
    EXPECT_EQ("song.mp3: Process completed successfully", FirstLine(sox));
    const AudioInfo info = Inspect(Work("out/song_wm.mp3"));
    EXPECT_EQ(1, info.channels);
    EXPECT_EQ(44100, info.rate);
    EXPECT_EQ(128, info.kbits);

    // The next track of the batch reads only its own header again.
    m_log.commands.Clear();
    ASSERT_TRUE(sox.Run()) << FirstLine(sox);
    int headerReads = 0;
    for (const wxString& command : m_log.commands)
        headerReads += command.StartsWith("./sox --i ");
    EXPECT_EQ(1, headerReads);
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
    EXPECT_TRUE(MixCommand().Contains("\\\" -r 48000 -c 2 -p pad 2\" ")) << MixCommand();
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
    EXPECT_TRUE(MixCommand().Contains("\\\" -r 44100 -c 1 -p pad 2\" ")) << MixCommand();
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

TEST_F(Render, PreconditionsFailWithoutALineOrARender) {
    MakeSilence(Work("in/five.wav"), 5.5, 8000, 1);
    struct Case {
        const char* what;
        std::function<void(CSoxHandler&)> spoil;
        size_t commands; // runs before giving up
    };
    const Case cases[] = {
        {"no track", [](CSoxHandler& s) { s.SetInputFile(""); }, 0},
        {"no folder", [](CSoxHandler& s) { s.SetOutputFile(""); }, 0},
        {"no watermarks", [](CSoxHandler& s) { s.SetWaterMarks(wxArrayString()); }, 0},
        {"zero interval", [](CSoxHandler& s) { s.SetWaterMarkInterval(0); }, 0},
        {"negative interval", [](CSoxHandler& s) { s.SetWaterMarkInterval(-5); }, 0},
        {"unmeasurable", [&](CSoxHandler& s) { s.SetInputFile(Wx(Work("in/none.wav"))); }, 1},
        {"start after the end", [](CSoxHandler& s) { s.SetStartTime(6); }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_log.commands.Clear();
        CSoxHandler sox;
        PrepareWatermarking(sox, Work("in/five.wav"), {Work("wm/beep.wav")}, Work("out"));
        c.spoil(sox);
        EXPECT_FALSE(sox.Run());
        EXPECT_TRUE(sox.GetErrors().empty());
        EXPECT_EQ(c.commands, m_log.commands.size());
    }
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

} // namespace
