// Rendering one track with its watermark copies: placement, names, formats and
// the audio itself.
#include "testutil.h"

#include <wx/ffile.h>

namespace {

// Where a watermark sounds in a rendered file: start and length in tenths of a second.
struct Sound {
    int start;
    int length;
    bool operator==(const Sound& o) const { return start == o.start && length == o.length; }
};
std::ostream& operator<<(std::ostream& out, const Sound& s) {
    return out << "{" << s.start << ", " << s.length << "}";
}

std::vector<Sound> SoundsIn(const std::string& path, int channel = 0) {
    std::vector<Sound> sounds;
    const std::vector<double> peaks = BlockPeaks(path, 0.1, channel);
    EXPECT_FALSE(peaks.empty()) << path;
    for (size_t b = 0; b < peaks.size(); ++b) {
        if (peaks[b] < 0.02)
            continue;
        if (!sounds.empty() && sounds.back().start + sounds.back().length == static_cast<int>(b))
            ++sounds.back().length;
        else
            sounds.push_back({static_cast<int>(b), 1});
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

wxString Wx(const std::string& s) {
    return wxString::FromUTF8(s);
}

std::string Contents(const std::string& path) {
    wxFFile file(Wx(path), "rb");
    wxString text;
    file.ReadAll(&text, wxConvISO8859_1);
    return std::string(text.mb_str(wxConvISO8859_1));
}

class Render : public BundleTest {
protected:
    void SetUp() override {
        BundleTest::SetUp();
        ASSERT_EQ(0, Shell("mkdir -p " + ShellQuote(Work("in")) + " " + ShellQuote(Work("wm")) +
                           " " + ShellQuote(Work("out"))));
        // Quiet tracks and loud beeps at a low rate keep the audio checks quick and exact.
        MakeTone(Work("wm/beep.wav"), 0.5, "sine 1000", 8000, 1);
        CSoxHandler::s_commandObserver = [this](const wxString& c) { m_commands.Add(c); };
    }
    void TearDown() override {
        CSoxHandler::s_commandObserver = nullptr;
        BundleTest::TearDown();
    }

    // Renders a silent track of the given length to WAV in out/ with the beep.
    bool RenderSilence(const std::string& name, double seconds, int start, int interval,
                       CSoxHandler& sox) {
        MakeSilence(Work("in/" + name), seconds, 8000, 1);
        sox.SetOperation(SOX_ADD_WATERMARK);
        sox.SetInputFile(Wx(Work("in/" + name)));
        sox.SetOutputFile(Wx(Work("out")));
        sox.SetWaterMarks(wxArrayString(1, Wx(Work("wm/beep.wav"))));
        sox.SetStartTime(start);
        sox.SetWaterMarkInterval(interval);
        sox.SetFileFormat("WAV");
        return sox.Run();
    }

    // The mixing command of the last render.
    wxString MixCommand() const {
        for (size_t i = m_commands.size(); i-- > 0;)
            if (m_commands[i].Contains(" -v 1 "))
                return m_commands[i];
        return wxString();
    }

    wxArrayString m_commands;
};

TEST(WatermarkPlacement, CopiesStartBeforeTheLastWholeSecond) {
    EXPECT_EQ((std::vector<int>{10, 25, 40}), WatermarkPositions(50, 10, 15));
    EXPECT_EQ((std::vector<int>{10, 25, 40}), WatermarkPositions(41, 10, 15));
    EXPECT_EQ((std::vector<int>{10, 25}), WatermarkPositions(40, 10, 15));
    EXPECT_EQ((std::vector<int>{0, 5, 10}), WatermarkPositions(12, 0, 5));
    EXPECT_EQ((std::vector<int>{10}), WatermarkPositions(11, 10, 5));
    EXPECT_TRUE(WatermarkPositions(10, 10, 5).empty());
    EXPECT_TRUE(WatermarkPositions(9, 10, 5).empty());
    // No end without a positive interval; no negative padding.
    EXPECT_TRUE(WatermarkPositions(50, 10, 0).empty());
    EXPECT_TRUE(WatermarkPositions(50, 10, -5).empty());
    EXPECT_TRUE(WatermarkPositions(50, -1, 5).empty());
    for (int length = 1; length < 70; ++length)
        for (int interval : {5, 10, 15})
            EXPECT_EQ(static_cast<size_t>((length - 1) / interval + 1),
                      WatermarkPositions(length, 0, interval).size());
}

TEST(OutputNaming, FolderPrefixBaseSuffixAndLowerCaseFormat) {
    EXPECT_EQ("/out/x_a.b.aiff", WatermarkOutputPath("/in/a.b.wav", "/out", "x_", "", "AIFF"));
    EXPECT_EQ("/out/song_wm.mp3", WatermarkOutputPath("/in/song.mp3", "/out", "", "_wm", "MP3"));
    EXPECT_EQ("/out/_wmsong.mp3", WatermarkOutputPath("/in/song.mp3", "/out", "_wm", "", "MP3"));
    EXPECT_EQ("/out dir/my song.wav",
              WatermarkOutputPath("/in/my song.aiff", "/out dir", "", "", "WAV"));

    EXPECT_EQ("/out/Mix.mp3", MergedOutputPath("/out", "Mix", "MP3"));
    EXPECT_EQ("/out/Mix.mp3", MergedOutputPath("/out", "Mix.wav", "MP3"));
    EXPECT_EQ("/out/Mix.take.aiff", MergedOutputPath("/out", "Mix.take.wav", "AIFF"));

    EXPECT_TRUE(IsUsableMergeName("Mix"));
    EXPECT_TRUE(IsUsableMergeName("My mix.wav"));
    EXPECT_FALSE(IsUsableMergeName(""));
    EXPECT_FALSE(IsUsableMergeName("   "));
    EXPECT_FALSE(IsUsableMergeName("a/b"));
    EXPECT_FALSE(IsUsableMergeName("/tmp/x"));
    EXPECT_FALSE(IsUsableMergeName(".."));
    EXPECT_FALSE(IsUsableMergeName(".mp3"));
    EXPECT_FALSE(IsUsableMergeName(" .hidden"));
}

TEST_F(Render, PathsNamingOneFileAreTheSameAfterResolving) {
    MakeSilence(Work("in/a.wav"), 1);
    ASSERT_EQ(0, Shell("ln -s in " + ShellQuote(Work("link")) + " && ln " +
                       ShellQuote(Work("in/a.wav")) + " " + ShellQuote(Work("hard.wav"))));
    EXPECT_TRUE(IsSameFile(Wx(Work("in/a.wav")), Wx(Work("in/../in/./a.wav"))));
    EXPECT_TRUE(IsSameFile(Wx(Work("in/a.wav")), Wx(Work("link/a.wav"))));
    EXPECT_TRUE(IsSameFile(Wx(Work("in/a.wav")), Wx(Work("hard.wav"))));
    EXPECT_TRUE(IsSameFile(Wx(Work("in/new.wav")), Wx(Work("in/../in/new.wav"))));
    EXPECT_FALSE(IsSameFile(Wx(Work("in/a.wav")), Wx(Work("in/b.wav"))));
    EXPECT_FALSE(IsSameFile(Wx(Work("in/a.wav")), Wx(Work("in/A.wav"))));
}

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
                          {12.2, 0, 5, Beeps({0, 5, 10})}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        CSoxHandler sox;
        ASSERT_TRUE(RenderSilence("song.wav", c.seconds, c.start, c.interval, sox));
        EXPECT_EQ(Wx(Work("out/song.wav")), sox.GetResultOutput());
        EXPECT_EQ(static_cast<int>(c.seconds), sox.GetResultLong());
        ASSERT_EQ(1u, sox.GetErrors().size());
        EXPECT_EQ("song.wav: Process completed successfully", sox.GetErrors()[0]);
        EXPECT_EQ(c.expected, SoundsIn(Work("out/song.wav")));
        EXPECT_NEAR(c.seconds, Inspect(Work("out/song.wav")).seconds, 0.01);
    }
    EXPECT_TRUE(MixCommand().Contains("-p pad 0\" ")) << MixCommand();
}

TEST_F(Render, TrackThatGetsNoCopyIsWrittenPlainly) {
    // With L = S there is nothing to mix, and SoX refuses -m with one input.
    CSoxHandler sox;
    ASSERT_TRUE(RenderSilence("short.wav", 10.4, 10, 5, sox));
    ASSERT_EQ(1u, sox.GetErrors().size());
    EXPECT_EQ("short.wav: Process completed successfully", sox.GetErrors()[0]);
    EXPECT_EQ("./sox  -v 1 \"" + Wx(Work("in/short.wav")) + "\" \"" + Wx(Work("out/short.wav")) +
                  "\"",
              MixCommand());
    EXPECT_TRUE(SoundsIn(Work("out/short.wav")).empty());
    EXPECT_NEAR(10.4, Inspect(Work("out/short.wav")).seconds, 0.01);
}

TEST_F(Render, ThreeWatermarksCycleInListOrder) {
    // Told apart by their lengths: 0.3, 0.6 and 0.9 seconds.
    MakeTone(Work("wm/one.wav"), 0.3, "sine 500", 8000, 1);
    MakeTone(Work("wm/two.wav"), 0.6, "sine 700", 8000, 1);
    MakeTone(Work("wm/three.wav"), 0.9, "sine 900", 8000, 1);
    MakeSilence(Work("in/song.wav"), 31.5, 8000, 1);
    CSoxHandler sox;
    sox.SetOperation(SOX_ADD_WATERMARK);
    sox.SetInputFile(Wx(Work("in/song.wav")));
    sox.SetOutputFile(Wx(Work("out")));
    wxArrayString marks;
    for (const char* name : {"one", "two", "three"})
        marks.Add(Wx(Work(std::string("wm/") + name + ".wav")));
    sox.SetWaterMarks(marks);
    sox.SetStartTime(0);
    sox.SetWaterMarkInterval(5);
    sox.SetFileFormat("WAV");
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
    sox.SetOperation(SOX_ADD_WATERMARK);
    sox.SetInputFile(Wx(Work("in/song.mp3")));
    sox.SetOutputFile(Wx(Work("out")));
    wxArrayString marks;
    marks.Add(Wx(Work("wm/a.mp3")));
    marks.Add(Wx(Work("wm/b.mp3")));
    sox.SetWaterMarks(marks);
    sox.SetStartTime(10);
    sox.SetWaterMarkInterval(15);
    sox.SetFileFormat("MP3");
    sox.SetBitrate(128);
    sox.SetMono(true);
    sox.SetSuffix("_wm");
    ASSERT_TRUE(sox.Run()) << (sox.GetErrors().empty() ? wxString() : sox.GetErrors()[0]);

    const wxString a = Wx(Work("wm/a.mp3")), b = Wx(Work("wm/b.mp3"));
    const wxString out = Wx(Work("out/song_wm.mp3"));
    EXPECT_EQ("./sox  -v 1 -m \"" + Wx(Work("in/song.mp3")) + "\" " + "\"| ./sox \\\"" + a +
                  "\\\" -p pad 10\" " + "\"| ./sox \\\"" + b + "\\\" -p pad 25\" " +
                  "\"| ./sox \\\"" + a + "\\\" -p pad 40\" " + " -c 1 -C 128 \"" + out + "\"",
              MixCommand());
    EXPECT_EQ(out, sox.GetResultOutput());
    EXPECT_EQ(50, sox.GetResultLong());
    EXPECT_EQ("song.mp3: Process completed successfully", sox.GetErrors()[0]);
    const AudioInfo info = Inspect(Work("out/song_wm.mp3"));
    EXPECT_EQ(1, info.channels);
    EXPECT_EQ(44100, info.rate);
    EXPECT_EQ(128, info.kbits);
}

TEST_F(Render, FormatsBitrateAndMono) {
    MakeTone(Work("in/song.wav"), 6.5, "sine 220");
    struct Case {
        const char* format;
        int bitrate;
        bool mono;
        int channels;
        int kbits;
    };
    const Case cases[] = {{"MP3", 192, false, 2, 192},
                          {"MP3", 64, true, 1, 64},
                          {"WAV", 0, false, 2, 0},
                          {"AIFF", 0, false, 2, 0},
                          {"AIFF", 0, true, 1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + (c.mono ? " mono" : ""));
        CSoxHandler sox;
        sox.SetOperation(SOX_ADD_WATERMARK);
        sox.SetInputFile(Wx(Work("in/song.wav")));
        sox.SetOutputFile(Wx(Work("out")));
        sox.SetWaterMarks(wxArrayString(1, Wx(Work("wm/beep.wav"))));
        sox.SetStartTime(1);
        sox.SetWaterMarkInterval(5);
        sox.SetFileFormat(c.format);
        sox.SetBitrate(c.bitrate);
        sox.SetMono(c.mono);
        ASSERT_TRUE(sox.Run());
        const std::string out = Work("out/song." + wxString(c.format).Lower().ToStdString());
        EXPECT_EQ(Wx(out), sox.GetResultOutput());
        const AudioInfo info = Inspect(out);
        EXPECT_EQ(44100, info.rate);
        EXPECT_EQ(c.channels, info.channels);
        EXPECT_EQ(c.kbits, info.kbits);
        if (c.bitrate == 0 && !c.mono) {
            EXPECT_TRUE(MixCommand().EndsWith("-p pad 1\" \"" + Wx(out) + "\"")) << MixCommand();
        }
    }
}

TEST_F(Render, WatermarkIsConvertedToTheTracksRateAndChannels) {
    // A 44.1 kHz mono beep on a 48 kHz stereo track: SoX would refuse the mix,
    // and unconverted the beep would sound on the left only.
    MakeSilence(Work("in/stereo48.wav"), 7.5, 48000, 2);
    MakeTone(Work("wm/mono44.wav"), 0.5, "sine 1000", 44100, 1);
    CSoxHandler sox;
    sox.SetOperation(SOX_ADD_WATERMARK);
    sox.SetInputFile(Wx(Work("in/stereo48.wav")));
    sox.SetOutputFile(Wx(Work("out")));
    sox.SetWaterMarks(wxArrayString(1, Wx(Work("wm/mono44.wav"))));
    sox.SetStartTime(2);
    sox.SetWaterMarkInterval(5);
    sox.SetFileFormat("WAV");
    ASSERT_TRUE(sox.Run()) << sox.GetErrors()[0];
    EXPECT_TRUE(MixCommand().Contains("\\\" -r 48000 -c 2 -p pad 2\" ")) << MixCommand();
    AudioInfo info = Inspect(Work("out/stereo48.wav"));
    EXPECT_EQ(48000, info.rate);
    EXPECT_EQ(2, info.channels);
    EXPECT_EQ(Beeps({2}), SoundsIn(Work("out/stereo48.wav"), 1));
    EXPECT_EQ(Beeps({2}), SoundsIn(Work("out/stereo48.wav"), 2));

    // A stereo 22.05 kHz beep on a mono 44.1 kHz track stays mono; with mono
    // on, a stereo track gives one channel too.
    MakeSilence(Work("in/mono.wav"), 7.5, 44100, 1);
    MakeTone(Work("wm/stereo22.wav"), 0.5, "sine 1000", 22050, 2);
    sox.SetInputFile(Wx(Work("in/mono.wav")));
    sox.SetWaterMarks(wxArrayString(1, Wx(Work("wm/stereo22.wav"))));
    ASSERT_TRUE(sox.Run()) << sox.GetErrors()[0];
    EXPECT_TRUE(MixCommand().Contains("\\\" -r 44100 -c 1 -p pad 2\" ")) << MixCommand();
    info = Inspect(Work("out/mono.wav"));
    EXPECT_EQ(44100, info.rate);
    EXPECT_EQ(1, info.channels);
    EXPECT_EQ(Beeps({2}), SoundsIn(Work("out/mono.wav")));

    sox.SetInputFile(Wx(Work("in/stereo48.wav")));
    sox.SetMono(true);
    ASSERT_TRUE(sox.Run()) << sox.GetErrors()[0];
    info = Inspect(Work("out/stereo48.wav"));
    EXPECT_EQ(48000, info.rate);
    EXPECT_EQ(1, info.channels);
    EXPECT_EQ(Beeps({2}), SoundsIn(Work("out/stereo48.wav")));
}

TEST_F(Render, FourChannelTrackBecomesStereoMp3) {
    MakeSilence(Work("in/quad.wav"), 3.5, 44100, 4);
    CSoxHandler sox;
    sox.SetOperation(SOX_ADD_WATERMARK);
    sox.SetInputFile(Wx(Work("in/quad.wav")));
    sox.SetOutputFile(Wx(Work("out")));
    sox.SetWaterMarks(wxArrayString(1, Wx(Work("wm/beep.wav"))));
    sox.SetStartTime(1);
    sox.SetWaterMarkInterval(5);
    sox.SetFileFormat("MP3");
    sox.SetBitrate(320);
    ASSERT_TRUE(sox.Run()) << sox.GetErrors()[0];
    EXPECT_EQ(2, Inspect(Work("out/quad.mp3")).channels);
}

TEST_F(Render, OutputThatWouldReplaceAnInputIsRefused) {
    MakeTone(Work("in/song.mp3"), 3.5, "sine 220");
    ASSERT_EQ(0, Shell("ln -s in " + ShellQuote(Work("alias"))));
    const std::string before = Contents(Work("in/song.mp3"));
    for (const std::string folder : {"in", "alias", "in/../in"}) {
        SCOPED_TRACE(folder);
        m_commands.Clear();
        CSoxHandler sox;
        sox.SetOperation(SOX_ADD_WATERMARK);
        sox.SetInputFile(Wx(Work("in/song.mp3")));
        sox.SetOutputFile(Wx(Work(folder)));
        sox.SetWaterMarks(wxArrayString(1, Wx(Work("wm/beep.wav"))));
        sox.SetStartTime(1);
        sox.SetWaterMarkInterval(5);
        sox.SetFileFormat("MP3");
        sox.SetBitrate(320);
        EXPECT_FALSE(sox.Run());
        ASSERT_EQ(1u, sox.GetErrors().size());
        EXPECT_EQ("song.mp3: Not processed: the output file would replace this track. Choose "
                  "another output folder, a prefix or suffix, or another format.",
                  sox.GetErrors()[0]);
        EXPECT_EQ("", MixCommand());
        EXPECT_EQ(before, Contents(Work("in/song.mp3")));
    }

    // A track named like a watermark, rendered into the watermark's folder.
    MakeSilence(Work("in/beep.aiff"), 3.5, 8000, 1);
    const std::string beep = Contents(Work("wm/beep.wav"));
    CSoxHandler sox;
    sox.SetOperation(SOX_ADD_WATERMARK);
    sox.SetInputFile(Wx(Work("in/beep.aiff")));
    sox.SetOutputFile(Wx(Work("wm")));
    sox.SetWaterMarks(wxArrayString(1, Wx(Work("wm/beep.wav"))));
    sox.SetStartTime(1);
    sox.SetWaterMarkInterval(5);
    sox.SetFileFormat("WAV");
    EXPECT_FALSE(sox.Run());
    ASSERT_EQ(1u, sox.GetErrors().size());
    EXPECT_EQ("beep.aiff: Not processed: the output file would replace the watermark file "
              "beep.wav.",
              sox.GetErrors()[0]);
    EXPECT_EQ(beep, Contents(Work("wm/beep.wav")));
}

TEST_F(Render, PreconditionsFailWithoutALineOrARender) {
    MakeSilence(Work("in/five.wav"), 5.5, 8000, 1);
    auto prepared = [&](CSoxHandler& sox) {
        sox.SetOperation(SOX_ADD_WATERMARK);
        sox.SetInputFile(Wx(Work("in/five.wav")));
        sox.SetOutputFile(Wx(Work("out")));
        sox.SetWaterMarks(wxArrayString(1, Wx(Work("wm/beep.wav"))));
        sox.SetStartTime(1);
        sox.SetWaterMarkInterval(5);
        sox.SetFileFormat("WAV");
    };
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
        m_commands.Clear();
        CSoxHandler sox;
        prepared(sox);
        c.spoil(sox);
        EXPECT_FALSE(sox.Run());
        EXPECT_TRUE(sox.GetErrors().empty());
        EXPECT_EQ(c.commands, m_commands.size());
    }
    EXPECT_FALSE(wxFileExists(Wx(Work("out/five.wav"))));
}

TEST_F(Render, SoxFailureLeavesTheTracksNameAndSoxsFirstLine) {
    MakeSilence(Work("in/song.wav"), 3.5, 8000, 1);
    CSoxHandler sox;
    sox.SetOperation(SOX_ADD_WATERMARK);
    sox.SetInputFile(Wx(Work("in/song.wav")));
    sox.SetOutputFile(Wx(Work("no such folder")));
    sox.SetWaterMarks(wxArrayString(1, Wx(Work("wm/beep.wav"))));
    sox.SetStartTime(1);
    sox.SetWaterMarkInterval(5);
    sox.SetFileFormat("WAV");
    EXPECT_FALSE(sox.Run());
    EXPECT_EQ(Wx(Work("no such folder/song.wav")), sox.GetResultOutput());
    ASSERT_EQ(1u, sox.GetErrors().size());
    EXPECT_TRUE(sox.GetErrors()[0].StartsWith("song.wav: ")) << sox.GetErrors()[0];
    EXPECT_TRUE(sox.GetErrors()[0].Contains("can't open output file")) << sox.GetErrors()[0];
}

} // namespace
