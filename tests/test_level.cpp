// The watermark level: as recorded, or against the music's loudness; the
// music's dip under each copy; no clipping at any level.
#include "AppPaths.h"
#include "SoxCommand.h"
#include "shell.h"
#include "testutil.h"

#include <wx/dir.h>

#include <cmath>

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
    // A level as recorded that clips nothing renders as it always did: the
    // bed scaled as it enters the mix, the track as it is.
    MakeTone(Work("in/music.wav"), 12.5, "pinknoise vol 0.3", 8000, 1);
    CommandLog log;
    const std::string mixed = Render("music.wav", "beep.wav", -6, "");
    ASSERT_FALSE(log.commands.empty());
    EXPECT_TRUE(log.commands.Last().Contains(" -v 0.501187 \"| ")) << log.commands.Last();
    EXPECT_FALSE(log.commands.Last().Contains("amod")) << log.commands.Last();
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

// Whatever the level, a master peaking at -0.3 dBFS and a loud tag never
// clip: the tag is capped below full scale and the music makes room under it.
TEST_F(Level, NoLevelClipsALoudMaster) {
    MakeTone(Work("in/raw.wav"), 7, "pinknoise overdrive 30", 8000, 1);
    ASSERT_EQ(0,
              Shell("sox " + Work("in/raw.wav") + " " + Work("in/master.wav") + " gain -n -0.3"));
    MakeTone(Work("wm/tag.wav"), 1, "sine 1000 vol 0.9", 8000, 1);
    for (int dB = g_minWatermarkLevel; dB <= g_maxWatermarkLevel; ++dB) {
        SCOPED_TRACE(dB);
        const std::string out = Render("master.wav", "tag.wav", dB, std::to_string(dB));
        EXPECT_LT(PeakIn(out, 0, -1), 0.98);
        // The tag is there, and the music outside its windows untouched.
        EXPECT_GT(DifferenceIn(Work("in/master.wav"), out, 1, 1), 0.01);
        EXPECT_EQ(0, DifferenceIn(Work("in/master.wav"), out, 2.2, 3.6));
    }
}

// The tag's loudness set against the music's, measured by ffmpeg's meter on
// what the render added to the track (a null test).
class MusicLevel : public BundleTest {
protected:
    std::string Render(const std::string& track, LevelMode mode, int level, int duck,
                       const std::string& suffix) {
        CSoxHandler sox;
        PrepareWatermarking(sox, Work("in/" + track), {Work("wm/tag.wav")}, Work("out"), 2, 10);
        sox.SetLevelMode(mode);
        sox.SetWaterMarkLevel(level);
        sox.SetDuck(duck);
        sox.SetSuffix(Wx(suffix));
        EXPECT_TRUE(sox.Run()) << FirstLine(sox);
        EXPECT_EQ(1u, sox.GetErrors().size()) << wxJoin(sox.GetErrors(), '\n').utf8_string();
        return sox.GetResultOutput().utf8_string();
    }
    // The loudness of what out added to track in the seconds from at.
    double TagLoudness(const std::string& track, const std::string& out, double at,
                       double seconds = 1) {
        const std::string added = out + ".added.wav";
        WriteDifference(out, Work("in/" + track), added);
        return Ffmpeg(added, "ebur128", at, seconds).integrated;
    }
    void SetUp() override {
        BundleTest::SetUp();
        MakeTone(Work("wm/tag.wav"), 1, "sine 1000 vol 0.5");
    }
};

TEST_F(MusicLevel, AQuietAndALoudTrackGetTagsEquallyLoudAgainstTheirMusic) {
    MakeTone(Work("in/quiet.wav"), 14, "pinknoise vol 0.1");
    MakeTone(Work("in/loud.wav"), 14, "pinknoise overdrive 30 vol 0.5");
    for (const std::string track : {"quiet.wav", "loud.wav"}) {
        SCOPED_TRACE(track);
        const double music = Ffmpeg(Work("in/" + track)).integrated;
        const std::string out = Render(track, LevelMode::AgainstTrack, -6, 0, "");
        for (double at : {2.0, 12.0})
            EXPECT_NEAR(music - 6, TagLoudness(track, out, at), 1.0) << at;
    }
}

// Against the music where it lands: a tag in a quiet intro stays below the
// intro as one in the loud part stays below that.
TEST_F(MusicLevel, AgainstTheMusicAroundEachCopy) {
    MakeTone(Work("in/a.wav"), 10, "pinknoise vol 0.3");
    MakeTone(Work("in/b.wav"), 10, "pinknoise overdrive 30 vol 0.5");
    ASSERT_EQ(
        0, Shell("sox " + Work("in/a.wav") + " " + Work("in/b.wav") + " " + Work("in/song.wav")));
    const double intro = Ffmpeg(Work("in/a.wav")).integrated;
    const double chorus = Ffmpeg(Work("in/b.wav")).integrated;
    ASSERT_GT(chorus - intro, 12);
    const std::string out = Render("song.wav", LevelMode::AgainstMusicThere, -4, 0, "");
    EXPECT_NEAR(intro - 4, TagLoudness("song.wav", out, 2), 1.0);
    EXPECT_NEAR(chorus - 4, TagLoudness("song.wav", out, 12), 1.0);
}

// Every shipped sound at the shipped level, without the dip: as loud against
// a quiet track's music as against a loud one's, by ffmpeg's meter.
TEST_F(MusicLevel, EveryShippedSoundSitsAlikeOnQuietAndLoudMusic) {
    MakeTone(Work("in/quiet.wav"), 8, "pinknoise vol 0.05");
    // Loud, with the headroom for a tag that no dip makes room for.
    MakeTone(Work("in/loud.wav"), 8, "pinknoise overdrive 30 vol 0.3");
    const Preset shipped = InitialPreset();
    wxArrayString sounds;
    wxDir::GetAllFiles(ShippedPresetsFolder(), &sounds, "*.mp3");
    ASSERT_EQ(8u, sounds.size());
    for (const wxString& sound : sounds) {
        SCOPED_TRACE(sound.utf8_string());
        ASSERT_EQ(0, Shell("sox " + ShellQuote(sound.utf8_string()) + " -r 44100 -c 2 " +
                           Work("wm/tag.wav")));
        const double length = Inspect(Work("wm/tag.wav")).seconds;
        double against[2];
        int i = 0;
        for (const std::string track : {"quiet.wav", "loud.wav"}) {
            const std::string out = Render(track, shipped.levelMode, shipped.level, 0, "");
            against[i++] =
                TagLoudness(track, out, 2, length) - Ffmpeg(Work("in/" + track)).integrated;
            EXPECT_LT(PeakIn(out, 0, -1), 0.98);
        }
        EXPECT_NEAR(against[0], against[1], 1.0);
    }
}

// A preview's first seconds measure only the music they write, so that a
// long track starts playing at once.
TEST_F(MusicLevel, AFirstPartMeasuresOnlyItsOwnMusic) {
    MakeTone(Work("in/long.wav"), 100, "pinknoise vol 0.1", 8000, 1);
    CSoxHandler sox;
    PrepareWatermarking(sox, Work("in/long.wav"), {Work("wm/tag.wav")}, Work("out"), 2, 10);
    sox.SetLevelMode(LevelMode::AgainstTrack);
    sox.SetFirstSeconds(30);
    CommandLog log;
    ASSERT_TRUE(sox.Run()) << FirstLine(sox);
    EXPECT_NEAR(30, Inspect(sox.GetResultOutput().utf8_string()).seconds, 0.01);
    int measures = 0;
    for (const wxString& command : log.commands) {
        if (command.Contains("long.wav") && command.Contains(" -t au ")) {
            ++measures;
            EXPECT_TRUE(command.EndsWith(" trim 0 30")) << command;
        }
    }
    EXPECT_EQ(1, measures) << wxJoin(log.commands, '\n');
}

// The music dips under each copy by the depth asked, ramping smoothly, and
// stays as it was elsewhere.
TEST_F(MusicLevel, TheMusicDipsUnderEachCopyWithoutAClick) {
    MakeTone(Work("in/music.wav"), 14, "pinknoise vol 0.2");
    const std::string track = Work("in/music.wav");
    const std::string plain = Render("music.wav", LevelMode::AsRecorded, -12, 0, "_0");
    const std::string dipped = Render("music.wav", LevelMode::AsRecorded, -12, 6, "_6");
    // The tags are alike: the outputs differ by what the dip took away.
    const std::string taken = Work("taken.wav");
    WriteDifference(plain, dipped, taken);
    for (double at : {2.0, 12.0}) {
        SCOPED_TRACE(at);
        const double kept = 1 - RmsIn(taken, at, 1) / RmsIn(track, at, 1);
        EXPECT_NEAR(-6, 20 * std::log10(kept), 0.5);
    }
    for (auto [start, duration] : {std::pair<double, double>{0, 1.85}, {3.15, 6.7}, {13.15, 0.85}})
        EXPECT_EQ(0, DifferenceIn(track, dipped, start, duration)) << start;
    // The dipped music moves no faster from sample to sample than the music.
    const std::string music = Work("dipped-music.wav");
    ASSERT_EQ(0, Shell("sox -m -v 1 " + track + " -v 1 " + dipped + " -v -1 " + plain +
                       " -e floating-point -b 32 " + music));
    EXPECT_LE(Figure(StatOf(music), "Maximum delta:"),
              Figure(StatOf(track), "Maximum delta:") * 1.01);
}

} // namespace
