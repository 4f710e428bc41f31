// The watermark level: the gain of every watermark copy in the audio, and the
// line a run adds when the mix of tag and music clips.
#include "SoxCommand.h"
#include "testutil.h"

namespace {

class Level : public BundleTest {
protected:
    // Renders in/track to WAV in out/, named with suffix, the watermark at
    // 1, 6, 11 ... seconds at level dB.
    std::string Render(const std::string& track, const std::string& watermark, int dB,
                       const std::string& suffix) {
        CSoxHandler sox;
        PrepareWatermarking(sox, Work("in/" + track), {Work("wm/" + watermark)}, Work("out"), 1, 5);
        sox.SetWaterMarkLevel(dB);
        sox.SetSuffix(Wx(suffix));
        EXPECT_TRUE(sox.Run()) << FirstLine(sox);
        EXPECT_EQ(1u, sox.GetErrors().size()) << wxJoin(sox.GetErrors(), '\n').utf8_string();
        return sox.GetResultOutput().utf8_string();
    }
};

TEST_F(Level, EveryCopyTakesTheLevelAndTheTrackStaysAsItWas) {
    MakeTone(Work("wm/beep.wav"), 0.5, "sine 1000 vol 0.4", 8000, 1);
    MakeSilence(Work("in/silence.wav"), 12.5, 8000, 1);
    const std::string plain = Render("silence.wav", "beep.wav", 0, "_0");
    const std::string quieter = Render("silence.wav", "beep.wav", -6, "_-6");
    for (double at : {1.0, 6.0, 11.0}) {
        SCOPED_TRACE(at);
        const double rms = RmsIn(plain, at, 0.5);
        ASSERT_GT(rms, 0.2);
        EXPECT_NEAR(0.5, RmsIn(quieter, at, 0.5) / rms, 0.5 * 0.05);
    }

    // Music under the tag: outside the tag's windows not one sample changes.
    MakeTone(Work("in/music.wav"), 12.5, "pinknoise vol 0.3", 8000, 1);
    const std::string mixed = Render("music.wav", "beep.wav", -6, "");
    const std::string track = Work("in/music.wav");
    for (auto [start, duration] :
         {std::pair<double, double>{0, 1}, {1.5, 4.5}, {6.5, 4.5}, {11.5, 1}})
        EXPECT_EQ(0, DifferenceIn(track, mixed, start, duration)) << start;
    EXPECT_GT(DifferenceIn(track, mixed, 6, 0.5), 0.1);
}

// The largest count of the mixing stages; a watermark's own resampling, in
// its pipe run, is no level's doing.
TEST(ClippedSamples, TheLargestCountOfTheMixingStagesOnly) {
    EXPECT_EQ(0, SoxClippedSamples(Strings({"sox WARN wav: Premature EOF on .wav input file",
                                            "sox WARN rate: rate clipped 2 samples; decrease "
                                            "volume?"})));
    EXPECT_EQ(37520,
              SoxClippedSamples(Strings(
                  {"./sox WARN sox: mix-combining clipped 37520 samples; decrease volume?",
                   "./sox WARN sox: `| ./sox \"clipped 99999 samples.wav\" -p' balancing clipped "
                   "5520 samples; decrease volume?"})));
    EXPECT_EQ(12, SoxClippedSamples(Strings(
                      {"sox WARN sox: `/out/a.wav' output clipped 12 samples; decrease volume?"})));
}

// A loud tag on a loud track clips; at -12 dB the same mix fits. The lines
// stay in track order, each track's success line first.
TEST_F(Level, AClippedMixSaysSoAfterItsSuccessLine) {
    MakeTone(Work("in/loud.wav"), 11.5, "sine 220 vol 0.7", 8000, 1);
    MakeTone(Work("in/quiet.wav"), 6.5, "sine 220 vol 0.05", 8000, 1);
    MakeTone(Work("wm/tag.wav"), 1, "sine 1000 vol 0.7", 8000, 1);
    RenderSettings settings = RunSettings();
    const wxArrayString tracks = Files({"in/loud.wav", "in/quiet.wav"}),
                        watermarks = Files({"wm/tag.wav"});

    RenderRun loud(settings, tracks, watermarks);
    loud.SetParallel(2);
    const wxArrayString lines = loud.Run();
    ASSERT_EQ(3u, lines.size()) << wxJoin(lines, '\n').utf8_string();
    EXPECT_EQ("loud.wav: Process completed successfully", lines[0]);
    wxString count;
    EXPECT_TRUE(lines[1].StartsWith("loud.wav: ", &count) &&
                count.EndsWith(" samples clipped: lower the watermark level."))
        << lines[1];
    // Three copies of one second at 8 kHz: clipped where tag and track peak together.
    EXPECT_GT(wxAtol(count), 100);
    EXPECT_LE(wxAtol(count), 3 * 8000);
    EXPECT_EQ("quiet.wav: Process completed successfully", lines[2]);

    settings.level = -12;
    const wxArrayString fits = RenderRun(settings, tracks, watermarks).Run();
    EXPECT_EQ(Strings({"loud.wav: Process completed successfully",
                       "quiet.wav: Process completed successfully"}),
              fits);
}

} // namespace
