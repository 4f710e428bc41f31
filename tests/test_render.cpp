// Rendering one track with its watermark copies: placement, names, formats and
// the audio itself.
#include "TagCopy.h"
#include "testutil.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <map>
#include <tuple>
#include <unistd.h>

namespace {

class Render : public BundleTest {
protected:
    void SetUp() override {
        BundleTest::SetUp();
        // Quiet tracks and loud beeps at a low rate keep the audio checks quick and exact.
        MakeTone(Work("wm/beep.wav"), 0.5, "sine 1000", 8000, 1);
    }

    CommandLog m_log;
};

TEST(OutputNaming, FolderPrefixBaseSuffixAndLowerCaseFormat) {
    EXPECT_EQ("/out/x_a.b.aiff", WatermarkOutputPath("/in/a.b.wav", "/out", "x_", "", "AIFF"));
    EXPECT_EQ("/out dir/my song_wm.mp3",
              WatermarkOutputPath("/in/my song.aiff", "/out dir", "", "_wm", "MP3"));
    EXPECT_EQ("/out/Mix.take.aiff", MergedOutputPath("/out", "Mix.take.wav", "AIFF"));
}

// Copies at S, S + I ... while they start before the track's last whole
// second; a track that gets none (L = S) is written plainly, and its line says so.
TEST_F(Render, BeepSoundsAtEveryPlannedSecondAndNowhereElse) {
    const struct {
        double seconds;
        int start, interval;
        std::vector<int> expected; // where each half-second beep starts
    } cases[] = {{41.3, 10, 15, {10, 25, 40}}, {40.9, 10, 15, {10, 25}}, {10.4, 10, 5, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        MakeSilence(Work("in/song.wav"), c.seconds, 8000, 1);
        CSoxHandler sox;
        PrepareWatermarking(sox, Work("in/song.wav"), {Work("wm/beep.wav")}, Work("out"), c.start,
                            c.interval);
        ASSERT_TRUE(sox.Run());
        const std::string out = Work("out/song.wav");
        EXPECT_EQ(static_cast<int>(c.seconds), sox.GetResultLong());
        EXPECT_EQ(Strings({c.expected.empty() ? "song.wav: written WITHOUT a watermark: the track "
                                                "ends before the first watermark at 10 s."
                                              : "song.wav: Process completed successfully"}),
                  sox.GetErrors());
        EXPECT_NEAR(c.seconds, Inspect(out).seconds, 0.01);
        // Loud at each start, silent from the end of one beep to the next.
        double from = 0;
        for (int at : c.expected) {
            EXPECT_GT(PeakIn(out, at, 0.5), 0.5) << at;
            if (at > from) {
                EXPECT_LT(PeakIn(out, from, at - from - 0.01), 0.01) << from;
            }
            from = at + 0.51;
        }
        EXPECT_LT(PeakIn(out, from, c.seconds - from), 0.01) << from;
    }
}

// A clip is cut and faded on the track alone, in the same render; the
// watermarks count from its start and keep their level.
TEST_F(Render, AClipIsCutFromItsStartFadedAndWatermarkedFromThere) {
    // Three minutes of a quiet tone with a loud second at 47.5 s, which a
    // clip from 0:45 holds at 2.5 s.
    for (const auto& [name, seconds, volume] :
         {std::make_tuple("a", 47.5, "0.3"), std::make_tuple("b", 1.0, "0.9"),
          std::make_tuple("c", 131.5, "0.3")})
        MakeTone(Work(std::string("in/") + name + ".wav"), seconds,
                 std::string("sine 220 vol ") + volume, 8000, 1);
    ASSERT_EQ(0, Shell("cd " + ShellQuote(Work("in")) + " && sox a.wav b.wav c.wav song.wav"));
    MakeTone(Work("wm/soft.wav"), 0.5, "sine 1000 vol 0.5", 8000, 1);
    auto render = [&](int clip, int from, int start, int interval) {
        CSoxHandler sox;
        PrepareWatermarking(sox, Work("in/song.wav"), {Work("wm/soft.wav")}, Work("out"), start,
                            interval);
        sox.SetClip(clip, from, 2);
        sox.Run();
        return sox.GetErrors();
    };
    const std::string out = Work("out/song.wav");

    EXPECT_EQ(Strings({"song.wav: Process completed successfully"}), render(60, 45, 10, 30));
    EXPECT_EQ(60 * 8000, Inspect(out).frames);
    // Rising over the first 2 s, then the loud second where it belongs.
    double last = 0;
    for (double at = 0; at < 2; at += 0.5) {
        const double rms = RmsIn(out, at, 0.5);
        EXPECT_GT(rms, last) << at;
        last = rms;
    }
    EXPECT_LT(RmsIn(out, 0, 0.2), 0.03);
    EXPECT_NEAR(0.212, RmsIn(out, 2.0, 0.4), 0.01);
    EXPECT_GT(RmsIn(out, 2.6, 0.8), 0.6);
    EXPECT_NEAR(0.212, RmsIn(out, 4, 1), 0.01);
    // Every 30 s from 10 s into the clip, at the watermark's own level.
    for (int at : {10, 40})
        EXPECT_GT(PeakIn(out, at, 0.5), 0.7) << at;
    for (int at : {5, 25, 55})
        EXPECT_LT(PeakIn(out, at, 1), 0.31) << at;
    // Falling over the last 2 s, to nothing.
    EXPECT_GT(RmsIn(out, 58, 0.5), RmsIn(out, 59, 0.5));
    EXPECT_LT(RmsIn(out, 59.8, 0.2), 0.03);

    // A clip that would run past the end starts earlier; a track shorter
    // than the clip is written whole, faded at both of its ends.
    EXPECT_EQ(Strings({"song.wav: Process completed successfully",
                       "song.wav: the 90 s clip starts at 1:30 instead of 2:00, so that it ends "
                       "with the track."}),
              render(90, 120, 10, 30));
    EXPECT_EQ(90 * 8000, Inspect(out).frames);
    MakeTone(Work("in/song.wav"), 40.5, "sine 220 vol 0.3", 8000, 1);
    EXPECT_EQ(Strings({"song.wav: Process completed successfully",
                       "song.wav: shorter than the 45 s clip: the whole track was written, faded "
                       "in and out."}),
              render(45, 30, 10, 30));
    EXPECT_EQ(40.5 * 8000, Inspect(out).frames);
    EXPECT_LT(RmsIn(out, 0, 0.2), 0.03);
    EXPECT_LT(RmsIn(out, 40.3, 0.2), 0.03);
    EXPECT_NEAR(0.212, RmsIn(out, 20, 1), 0.01);
    EXPECT_EQ(
        Strings({"song.wav: Not processed: the clip ends before the first watermark at 35 s."}),
        render(30, 0, 35, 10));
}

TEST_F(Render, FormatsBitrateAndMono) {
    MakeTone(Work("in/song.wav"), 6.5, "sine 220");
    MakeSilence(Work("in/quad.wav"), 3.5, 44100, 4);
    const struct {
        const char* track;
        const char* format;
        bool mono;
        int kbits; // as the window gives it: none but for MP3
        const char* out;
        int channels;
    } cases[] = {{"song.wav", "AIFF", true, 0, "song_wm.aiff", 1},
                 {"quad.wav", "MP3", false, 192, "quad_wm.mp3", 2},
                 {"song.wav", "MP3", true, 128, "song_wm.mp3", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        CSoxHandler sox;
        PrepareWatermarking(sox, Work("in/") + c.track, {Work("wm/beep.wav")}, Work("out"), 1, 5,
                            c.format);
        sox.SetBitrate(c.kbits);
        sox.SetMono(c.mono);
        sox.SetSuffix("_wm");
        ASSERT_TRUE(sox.Run()) << FirstLine(sox);
        const std::string out = Work("out/") + c.out;
        EXPECT_EQ(Wx(out), sox.GetResultOutput());
        const AudioInfo info = Inspect(out);
        EXPECT_EQ(44100, info.rate);
        EXPECT_EQ(c.channels, info.channels);
        EXPECT_EQ(c.kbits, info.kbits);
    }
}

TEST_F(Render, OutputThatWouldReplaceAnInputIsRefused) {
    MakeTone(Work("in/song.mp3"), 3.5, "sine 220");
    ASSERT_EQ(0, Shell("ln -s in " + ShellQuote(Work("alias"))));
    const std::string before = Contents(Work("in/song.mp3"));
    for (const std::string folder : {"in", "alias", "in/../in"}) {
        SCOPED_TRACE(folder);
        CSoxHandler sox;
        PrepareWatermarking(sox, Work("in/song.mp3"), {Work("wm/beep.wav")}, Work(folder), 1, 5,
                            "MP3");
        EXPECT_FALSE(sox.Run());
        EXPECT_EQ(Strings({"song.mp3: Not processed: the output file would replace this track. "
                           "Choose another output folder, a prefix or suffix, or another format."}),
                  sox.GetErrors());
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
    // A join that would write over one of its files is not started.
    wxString command;
    EXPECT_FALSE(sox.BeginAppend(Files({"in/beep.aiff"}), Wx(Work("in/beep.aiff")), command));
    EXPECT_EQ(Strings({"beep.aiff: Not created: it would replace beep.aiff, one of the files to "
                       "join."}),
              sox.GetErrors());
}

TEST_F(Render, MissingSettingsFailSilentlyOtherFailuresWithALine) {
    MakeSilence(Work("in/five.wav"), 5.5, 8000, 1);
    const std::function<void(CSoxHandler&)> spoils[] = {
        [](CSoxHandler& s) { s.SetInputFile(""); }, [](CSoxHandler& s) { s.SetOutputFile(""); },
        [](CSoxHandler& s) { s.SetWaterMarks(wxArrayString()); },
        [](CSoxHandler& s) { s.SetWaterMarkInterval(0); }};
    for (const auto& spoil : spoils) {
        m_log.commands.Clear();
        CSoxHandler sox;
        PrepareWatermarking(sox, Work("in/five.wav"), {Work("wm/beep.wav")}, Work("out"));
        spoil(sox);
        EXPECT_FALSE(sox.Run());
        EXPECT_TRUE(sox.GetErrors().empty());
        EXPECT_TRUE(m_log.commands.empty());
    }

    // A track SoX cannot write is not written, and its line says why. (Tracks
    // it cannot read, or that end before the start, are the run's cases.)
    CSoxHandler sox;
    PrepareWatermarking(sox, Work("in/five.wav"), {Work("wm/beep.wav")}, Work("no such folder"));
    EXPECT_FALSE(sox.Run());
    EXPECT_EQ(Strings({FirstLine(sox)}), sox.GetErrors());
    EXPECT_TRUE(FirstLine(sox).StartsWith("five.wav: ")) << FirstLine(sox);
    EXPECT_TRUE(FirstLine(sox).Contains("can't open output file")) << FirstLine(sox);
}

// The render as it was once built: one SoX input per copy, the watermark
// delayed by its start. Kept here to prove that the bed sounds the same.
TEST_F(Render, SameAudioAsOneInputPerCopy) {
    MakeTone(Work("in/track.wav"), 23.7, "pinknoise vol 0.2");
    MakeTone(Work("in/track.mp3"), 12.4, "pinknoise vol 0.2");
    MakeTone(Work("wm/w1.wav"), 0.5, "sine 1000 vol 0.4");
    MakeTone(Work("wm/w2.mp3"), 1.2, "sine 1500 vol 0.4");
    MakeTone(Work("wm/mono.wav"), 0.8, "sine 700 vol 0.4", 44100, 1);
    MakeTone(Work("wm/long.wav"), 7.3, "sine 300 vol 0.4");
    MakeTone(Work("wm/w22.wav"), 0.5, "sine 1200 vol 0.4", 22050, 1);
    MakeTone(Work("in/single.wav"), 7.5, "pinknoise vol 0.2", 44100, 1);
    MakeTone(Work("wm/s22.wav"), 0.5, "sine 1200 vol 0.4", 22050, 2);
    // The reference's conversion of each watermark to the 44.1 kHz tracks
    // (s22.wav goes on the mono one).
    const std::map<std::string, std::string> conversion = {
        {"mono.wav", "-c 2 "}, {"w22.wav", "-r 44100 -c 2 "}, {"s22.wav", "-r 44100 -c 1 "}};

    struct Case {
        const char* what;
        const char* track;
        int length; // whole seconds
        std::vector<std::string> watermarks;
        int start, interval;
        bool mono;
        double tolerance; // 0 where nothing is resampled or dithered
    };
    // An MP3 decodes to more than 16 bits, which the output's are dithered from.
    const double dither = 2e-4;
    const Case cases[] = {
        {"three, from 0", "track.wav", 23, {"w1.wav", "w2.mp3", "mono.wav"}, 0, 5, false, dither},
        // Copies overlap, and the last reaches past the track's end.
        {"overlapping", "track.wav", 23, {"long.wav", "w1.wav", "mono.wav"}, 2, 5, false, 0},
        {"mono output", "track.wav", 23, {"w1.wav", "w2.mp3"}, 1, 10, true, dither},
        {"an MP3 track", "track.mp3", 12, {"w1.wav"}, 0, 5, false, dither},
        {"resampled", "track.wav", 23, {"w22.wav", "w1.wav"}, 3, 5, false, 0.01},
        {"stereo on a mono track", "single.wav", 7, {"s22.wav"}, 2, 5, false, 0.01},
    };
    // MP3s as ffmpeg decodes them, without the encoder's delay and padding.
    MakeFolders({"ref", "decoded"});
    auto decoded = [&](const std::string& path) {
        if (path.size() < 4 || path.substr(path.size() - 4) != ".mp3")
            return path;
        const std::string wav = Work("decoded/" + path.substr(path.rfind('/') + 1) + ".wav");
        EXPECT_EQ(0, Shell("[ -e " + ShellQuote(wav) + " ] || ffmpeg -nostdin -v error -i " +
                           ShellQuote(path) + " " + ShellQuote(wav)));
        return wav;
    };
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
                                ShellQuote(decoded(Work("in/") + c.track));
        for (int k = 0; c.start + k * c.interval <= c.length - 1; ++k) {
            const std::string& name = c.watermarks[k % c.watermarks.size()];
            const auto convert = conversion.find(name);
            reference += " " + ShellQuote("|sox " + ShellQuote(decoded(Work("wm/" + name))) + " " +
                                          (convert == conversion.end() ? "" : convert->second) +
                                          "-p pad " + std::to_string(c.start + k * c.interval));
        }
        const std::string expected = Work("ref/out.wav");
        std::string text;
        ASSERT_EQ(0, Shell(reference + (c.mono ? " -c 1 " : " ") + ShellQuote(expected), &text))
            << reference << "\n"
            << text;

        EXPECT_EQ(Inspect(expected).frames, Inspect(out).frames);
        const double difference = DifferenceIn(expected, out);
        EXPECT_GE(difference, 0);
        EXPECT_LE(difference, c.tolerance);
    }

    // An MP3 track decoded apart, as a run with a spare core does it, gives
    // the same MP3 byte for byte.
    std::string outputs[2];
    for (bool apart : {false, true}) {
        CSoxHandler sox;
        PrepareWatermarking(sox, Work("in/track.mp3"), {Work("wm/w1.wav"), Work("wm/mono.wav")},
                            Work(apart ? "ref" : "out"), 0, 5, "mp3");
        sox.SetDecodeApart(apart);
        ASSERT_TRUE(sox.Run()) << FirstLine(sox);
        outputs[apart] = sox.GetResultOutput().utf8_string();
    }
    EXPECT_EQ(0, Shell("cmp " + ShellQuote(outputs[0]) + " " + ShellQuote(outputs[1])));
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
    CSoxHandler sox;
    const auto expectFull = [&](const std::string& name) {
        EXPECT_EQ(Strings({FirstLine(sox)}), sox.GetErrors());
        EXPECT_TRUE(FirstLine(sox).StartsWith(Wx(name + ": "))) << FirstLine(sox);
        EXPECT_TRUE(FirstLine(sox).Contains("No space left on device")) << FirstLine(sox);
        EXPECT_FALSE(wxFileExists(Wx(full + "/" + name)));
    };
    PrepareWatermarking(sox, Work("in/a.wav"), {Work("wm/beep.wav")}, full);
    EXPECT_FALSE(sox.Run()); // cut short
    expectFull("a.wav");
    Shell("head -c 3000000 /dev/zero > " + ShellQuote(full + "/filler"));
    sox.SetInputFile(Wx(Work("in/b.wav")));
    EXPECT_FALSE(sox.Run()); // nothing written at all
    expectFull("b.wav");
    EXPECT_EQ(-1, sox.AppendFiles(Files({"in/a.wav", "in/b.wav"}), Wx(full + "/Mix.wav")));
    expectFull("Mix.wav");

    // Where SoX says nothing useful (MP3: "Unknown error -1") or nothing at
    // all (Ogg), the line says it in plain words.
    Shell("rm " + ShellQuote(full + "/filler"));
    MakeTone(Work("in/c.wav"), 200, "whitenoise");
    sox.SetInputFile(Wx(Work("in/c.wav")));
    sox.SetBitrate(320);
    for (const char* format : {"mp3", "ogg"}) {
        SCOPED_TRACE(format);
        sox.SetFileFormat(format);
        EXPECT_FALSE(sox.Run());
        EXPECT_EQ(Strings({FirstLine(sox)}), sox.GetErrors());
        EXPECT_TRUE(FirstLine(sox).StartsWith("c.wav: ")) << FirstLine(sox);
        EXPECT_TRUE(FirstLine(sox).Contains("he disk is full.")) << FirstLine(sox);
        EXPECT_EQ("", Listing(full));
    }

    // A cover that does not fit: the tags are written before the output
    // takes its name, so nothing damaged is left under it.
    MakeTone(Work("in/d.mp3"), 5, "sine 440 vol 0.1");
    {
        TagLib::MPEG::File tagged(Work("in/d.mp3").c_str());
        auto* cover = new TagLib::ID3v2::AttachedPictureFrame;
        cover->setPicture(TagLib::ByteVector(10 << 20, 'x'));
        cover->setMimeType("image/jpeg");
        tagged.ID3v2Tag(true)->addFrame(cover);
        ASSERT_TRUE(tagged.save());
    }
    sox.SetInputFile(Wx(Work("in/d.mp3")));
    sox.SetFileFormat("mp3");
    sox.SetCopyTags(true);
    EXPECT_FALSE(sox.Run());
    EXPECT_EQ(Strings({"d.mp3: writing its tags damaged the file. The disk is full."}),
              sox.GetErrors());
    EXPECT_EQ("", Listing(full));
}

} // namespace