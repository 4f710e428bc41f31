// The waveform strip: the selected track's envelope read once in the
// background, its watermark marks placed as a render places them, a track
// SoX cannot read, and a click that plays from the second under it.
#include "testutil.h"

#include <algorithm>
#include <cmath>

namespace {

// Long enough for a busy machine; a stuck read or player fails here instead of hanging the run.
const int kDeadlineMs = 15000;

void ClickAt(wxWindow* strip, int x) {
    wxMouseEvent down(wxEVT_LEFT_DOWN);
    down.SetPosition(wxPoint(x, strip->GetClientSize().y / 2));
    down.SetEventObject(strip);
    strip->HandleWindowEvent(down);
}

// "start+length#file" of every mark, in order.
std::string Marks(const WaveformStrip* strip) {
    wxString text;
    for (const WatermarkMark& mark : strip->Plan().marks)
        text += wxString::Format("%s%g+%g#%zu", text.empty() ? "" : " ", mark.start, mark.length,
                                 mark.watermark);
    return text.utf8_string();
}

class WaveformWindow : public WindowTest {
protected:
    bool Read() const {
        return WaitUntil([&] { return p.strip()->Text() != "Reading..."; }, kDeadlineMs);
    }
};

TEST_F(WaveformWindow, TheWaveformIsReadOnceAndPeaksWhereTheTrackIsLoud) {
    // 12 s of silence, a loud second on the left channel alone, 7 s of
    // silence; pitched high enough that a plain low rate would filter it away.
    MakeTone(Work("in/drop.wav"), 1, "sine 3117 vol 0.9 remix 1 0 pad 12 7");
    MakeTone(Work("in/other.mp3"), 3, "sine 440 vol 0.5");
    w->OnFileListDropFiles(Files({"in/drop.wav", "in/other.mp3"}));
    ASSERT_TRUE(Measured(p));
    EXPECT_EQ("Select a track to see where its watermarks go", p.strip()->Text());

    CommandLog log;
    Select(p.tracks(), {0});
    EXPECT_EQ("Reading...", p.strip()->Text());
    ASSERT_TRUE(Read());
    ASSERT_TRUE(p.strip()->HasEnvelope());
    EXPECT_EQ("", p.strip()->Text());
    EXPECT_EQ(0, p.strip()->Plan().from);
    EXPECT_NEAR(20, p.strip()->Plan().length, 0.001);

    const std::vector<float> peaks = p.strip()->ColumnPeaks();
    const int width = static_cast<int>(peaks.size());
    ASSERT_EQ(p.strip()->GetClientSize().x, width);
    ASSERT_GT(width, 100);
    const int first = 12 * width / 20, end = (13 * width + 19) / 20;
    const int loudest =
        static_cast<int>(std::max_element(peaks.begin(), peaks.end()) - peaks.begin());
    EXPECT_GE(loudest, first);
    EXPECT_LT(loudest, end);
    // One side's level, not half of it.
    EXPECT_GT(peaks[loudest], 0.8);
    for (int x = 0; x < width; ++x) {
        if (x < first - 1 || x > end) {
            EXPECT_LT(peaks[x], 0.01) << "column " << x;
        }
    }

    // Every track is read once for the window's life; a changed file again.
    Select(p.tracks(), {1});
    ASSERT_TRUE(Read());
    EXPECT_TRUE(p.strip()->HasEnvelope());
    Select(p.tracks(), {0});
    EXPECT_TRUE(p.strip()->HasEnvelope());
    EXPECT_EQ("", p.strip()->Text());
    EXPECT_EQ(2u, log.commands.size()) << wxJoin(log.commands, '\n');
    ASSERT_EQ(0, Shell("touch -d '+1 minute' " + ShellQuote(Work("in/drop.wav"))));
    Select(p.tracks(), {0});
    EXPECT_EQ("Reading...", p.strip()->Text());
    ASSERT_TRUE(Read());
    EXPECT_EQ(3u, log.commands.size());
}

TEST_F(WaveformWindow, MarksStandWhereTheRenderPutsThemAndMoveWithTheSettingsAlone) {
    MakeSilence(Work("in/song.wav"), 60.4);
    MakeTone(Work("wm/a.wav"), 0.5, "sine 1000");
    MakeTone(Work("wm/b.wav"), 1, "sine 1200");
    MakeTone(Work("wm/c.wav"), 1.5, "sine 1400");
    w->OnFileListDropFiles(Files({"in/song.wav"}));
    w->OnWatermarkListDropFiles(Files({"wm/a.wav", "wm/b.wav", "wm/c.wav"}));
    ASSERT_TRUE(Measured(p));
    Choose(p.startChoice(), IndexForStartSeconds(0));
    Choose(p.repeatChoice(), IndexForRepeatSeconds(5));
    Select(p.tracks(), {0});
    // Before the waveform is read the marks show already.
    EXPECT_EQ("Reading...", p.strip()->Text());
    EXPECT_FALSE(p.strip()->HasEnvelope());
    EXPECT_EQ("0+0.5#0 5+1#1 10+1.5#2 15+0.5#0 20+1#1 25+1.5#2 30+0.5#0 35+1#1 40+1.5#2 "
              "45+0.5#0 50+1#1 55+1.5#2",
              Marks(p.strip()));
    ASSERT_TRUE(Read());

    CommandLog log;
    Choose(p.startChoice(), IndexForStartSeconds(5));
    Choose(p.repeatChoice(), IndexForRepeatSeconds(10));
    EXPECT_EQ("5+0.5#0 15+1#1 25+1.5#2 35+0.5#0 45+1#1 55+1.5#2", Marks(p.strip()));
    // The list's order decides which file each copy plays.
    Select(p.watermarks(), {2});
    Click(p.watermarkUp());
    EXPECT_EQ("5+0.5#0 15+1.5#1 25+1#2 35+0.5#0 45+1.5#1 55+1#2", Marks(p.strip()));

    // A 30 s clip asked from 0:40 starts at 0:30, where it ends with the
    // track, as the render's does; its copies count from its start.
    Choose(p.clip(), IndexForClipSeconds(30));
    p.clipStart()->SetValue("0:40");
    EXPECT_EQ(30, p.strip()->Plan().from);
    EXPECT_EQ(30, p.strip()->Plan().length);
    EXPECT_EQ("35+0.5#0 45+1.5#1 55+1#2", Marks(p.strip()));
    EXPECT_TRUE(p.strip()->HasEnvelope());
    EXPECT_TRUE(log.commands.empty()) << wxJoin(log.commands, '\n');

    CSoxHandler sox;
    PrepareWatermarking(sox, Work("in/song.wav"), {Work("wm/a.wav")}, Work("out"), 5, 10);
    sox.SetClip(30, 40, 2);
    wxString command;
    ASSERT_TRUE(sox.BeginRun(command));
    EXPECT_EQ(30, sox.GetClipFrom());
    EXPECT_EQ(std::vector<double>({5, 15, 25}), sox.GetPositions());
}

// Vary by: the marks move by the seed and the track's music once that is
// measured, in their regular places until then and at 0.
TEST_F(WaveformWindow, VaryByMovesTheMarksOnceTheMusicIsMeasured) {
    MakeTone(Work("in/song.wav"), 30, "pinknoise vol 0.3");
    MakeTone(Work("wm/beep.wav"), 1, "sine 1000 vol 0.5");
    w->OnFileListDropFiles(Files({"in/song.wav"}));
    w->OnWatermarkListDropFiles(Files({"wm/beep.wav"}));
    ASSERT_TRUE(Measured(p));
    Choose(p.startChoice(), IndexForStartSeconds(0));
    Choose(p.repeatChoice(), IndexForRepeatSeconds(5));
    Spin(p.vary(), 3);
    EXPECT_EQ(3, p.preset().vary);
    const std::string regular = "0+1#0 5+1#0 10+1#0 15+1#0 20+1#0 25+1#0";
    Select(p.tracks(), {0});
    EXPECT_EQ("Reading...", p.strip()->Text());
    EXPECT_EQ(regular, Marks(p.strip()));
    ASSERT_TRUE(Read());

    const std::string varied = Marks(p.strip());
    EXPECT_NE(regular, varied);
    // Where the render puts them.
    CSoxHandler sox;
    PrepareWatermarking(sox, Work("in/song.wav"), {Work("wm/beep.wav")}, Work("out"), 0, 5);
    sox.SetVary(3);
    sox.SetSeed(p.preset().seed);
    wxString command;
    ASSERT_TRUE(sox.BeginRun(command));
    std::vector<double> starts;
    for (const WatermarkMark& mark : p.strip()->Plan().marks)
        starts.push_back(mark.start);
    EXPECT_EQ(sox.GetPositions(), starts) << varied;
    Spin(p.vary(), 0);
    EXPECT_EQ(regular, Marks(p.strip()));
    Spin(p.vary(), 3);
    EXPECT_EQ(varied, Marks(p.strip()));

    // Another seed, other places.
    Preset reseeded = p.preset();
    reseeded.seed += 1;
    p.show(reseeded);
    ASSERT_TRUE(Measured(p));
    EXPECT_EQ(3, p.vary()->GetValue());
    EXPECT_NE(varied, Marks(p.strip()));
}

// The level against the music and the dip from step 2: the strip draws the
// music lower under each mark, and a render from the window takes the music's
// measure from the strip's read instead of decoding the track again.
TEST_F(WaveformWindow, TheDipShowsUnderEachMarkAndARenderMeasuresNothingMore) {
    MakeTone(Work("in/song.wav"), 12, "pinknoise vol 0.3");
    MakeTone(Work("wm/beep.wav"), 1, "sine 1000 vol 0.5");
    w->OnFileListDropFiles(Files({"in/song.wav"}));
    w->OnWatermarkListDropFiles(Files({"wm/beep.wav"}));
    ASSERT_TRUE(Measured(p));
    Choose(p.startChoice(), IndexForStartSeconds(2));
    Choose(p.repeatChoice(), IndexForRepeatSeconds(5));
    Select(p.tracks(), {0});
    ASSERT_TRUE(Read());

    Choose(p.dip(), 0);
    const std::vector<float> plain = p.strip()->ColumnPeaks();
    Choose(p.dip(), 12);
    const std::vector<float> dipped = p.strip()->ColumnPeaks();
    const int width = static_cast<int>(plain.size());
    for (int x = 0; x < width; ++x) {
        const double at = 12.0 * (x + 0.5) / width;
        const bool under = (at > 2.1 && at < 2.9) || (at > 7.1 && at < 7.9);
        const bool clear = at < 1.9 || (at > 3.1 && at < 6.9) || at > 8.1;
        if (under) {
            EXPECT_NEAR(plain[x] * 0.251, dipped[x], 0.01) << x;
        } else if (clear) {
            EXPECT_EQ(plain[x], dipped[x]) << x;
        }
    }

    // The level's unit follows what it is measured against.
    Choose(p.levelMode(), static_cast<int>(LevelMode::AsRecorded));
    EXPECT_EQ("Watermark level: -6 dB", p.levelLabel()->GetLabel());
    Choose(p.levelMode(), static_cast<int>(LevelMode::AgainstTrack));
    EXPECT_EQ("Watermark level: -6 LU", p.levelLabel()->GetLabel());
    EXPECT_EQ(LevelMode::AgainstTrack, p.preset().levelMode);
    EXPECT_EQ(12, p.preset().duck);

    p.setFolder(Work("out"));
    CommandLog log;
    wxArrayString results;
    wxTEST_DIALOG(Click(p.go()), ResultsExpect(&results));
    EXPECT_EQ("song.wav: Process completed successfully", results.Last());
    const wxString commands = wxJoin(log.commands, '\n');
    // The watermark's peak and loudness are read (the headers in-process);
    // the track is decoded only by the mix, which dips it.
    ASSERT_EQ(3u, log.commands.size()) << commands;
    for (size_t i = 0; i + 1 < log.commands.size(); ++i)
        EXPECT_FALSE(log.commands[i].Contains("song.wav") && log.commands[i].Contains(" -t au "))
            << commands;
    EXPECT_TRUE(log.commands.Last().Contains(" amod ")) << commands;
    EXPECT_NEAR(12, Inspect(Work("out/song.mp3")).seconds, 0.1);
}

TEST_F(WaveformWindow, ATrackSoXCannotReadShowsWhy) {
    MakeSilence(Work("in/a.wav"), 3);
    w->OnFileListDropFiles(Files({"in/a.wav"}));
    ASSERT_TRUE(Measured(p));
    // Spoilt after it was listed.
    Spoil(Work("in/a.wav"));
    Select(p.tracks(), {0});
    ASSERT_TRUE(Read());
    EXPECT_FALSE(p.strip()->HasEnvelope());
    EXPECT_EQ("can't open input file `a.wav': WAVE: RIFF header not found", p.strip()->Text());
    Select(p.tracks(), {});
    EXPECT_EQ("Select a track to see where its watermarks go", p.strip()->Text());
}

class WaveformPlayback : public WindowTest {
protected:
    bool PlaysBetween(long from, long to) const {
        return WaitUntil(
            [&] {
                const long at = static_cast<long>(p.media()->Tell());
                return p.player().IsPlaying() && at >= from && at < to;
            },
            kDeadlineMs);
    }
    bool LineBetween(double from, double to) const {
        return WaitUntil(
            [&] { return p.strip()->Playhead() >= from && p.strip()->Playhead() < to; },
            kDeadlineMs);
    }
};

TEST_F(WaveformPlayback, AClickPlaysFromItsSecondAndTheLineFollowsThePlayer) {
    MakeTone(Work("in/song.wav"), 40, "sine 440 vol 0.1");
    MakeTone(Work("wm/beep.wav"), 0.5, "sine 1000 vol 0.1");
    w->OnFileListDropFiles(Files({"in/song.wav"}));
    ASSERT_TRUE(Measured(p));
    Select(p.tracks(), {0});
    const int width = p.strip()->GetClientSize().x;

    ClickAt(p.strip(), width / 2);
    ASSERT_TRUE(PlaysBetween(20000, 24000)) << p.media()->Tell();
    EXPECT_TRUE(LineBetween(20, 24)) << p.strip()->Playhead();
    // While it plays, a click moves it.
    ClickAt(p.strip(), width / 4);
    EXPECT_TRUE(PlaysBetween(10000, 14000)) << p.media()->Tell();
    EXPECT_TRUE(LineBetween(10, 14)) << p.strip()->Playhead();
    Click(p.stop());
    EXPECT_LT(p.strip()->Playhead(), 0);

    // Watermarked with a 30 s clip from 0:05, the render holds 5 to 35 s of
    // the track: a click at 20 s plays it from 15 s, and the line shows 20 s.
    w->OnWatermarkListDropFiles(Files({"wm/beep.wav"}));
    ASSERT_TRUE(Measured(p));
    p.watermarked()->SetValue(true);
    Choose(p.clip(), IndexForClipSeconds(30));
    p.clipStart()->SetValue("5");
    ClickAt(p.strip(), width / 2);
    EXPECT_EQ(p.stamped().File(), p.player().LoadedFile());
    ASSERT_TRUE(PlaysBetween(15000, 19000)) << p.media()->Tell();
    EXPECT_TRUE(LineBetween(20, 24)) << p.strip()->Playhead();
    Click(p.stop());
}

} // namespace
