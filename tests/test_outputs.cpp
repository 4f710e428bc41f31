// What a render promises: a track is reported done only when its output is
// what was asked, and no file the run did not write is ever replaced.
#include "AppPaths.h"
#include "RenderRun.h"
#include "TagCopy.h"
#include "WaveformStrip.h"
#include "testutil.h"

#include <sys/stat.h>
#include <utime.h>

namespace {

class Outputs : public BundleTest {
protected:
    void SetUp() override {
        BundleTest::SetUp();
        MakeTone(Work("wm/beep.wav"), 1.5, "sine 1000 vol 0.5");
    }

    // Kills, as often as it shows up while the render runs, the process of
    // this test whose command line matches pattern (after program, "./sox
    // -V1 " or ffmpeg's start), and not the sh that runs it; waits for the
    // killing to stop.
    void KillWhileRendering(CSoxHandler& sox, const std::string& pattern,
                            const std::string& program = "./sox -V1 ") {
        const std::string stop = Work("stop-killing"), stopped = Work("stopped-killing");
        Shell("rm -f " + ShellQuote(stop) + " " + ShellQuote(stopped));
        Shell("(for i in $(seq 1000); do [ -e " + ShellQuote(stop) +
              " ] && break; pkill -KILL -f " +
              ShellQuote("^" + program + m_dir.path() + "/" + pattern) +
              "; sleep 0.02; done; touch " + ShellQuote(stopped) + ") >/dev/null 2>&1 &");
        EXPECT_FALSE(sox.Run());
        Shell("touch " + ShellQuote(stop));
        EXPECT_EQ(0, Shell("for i in $(seq 100); do [ -e " + ShellQuote(stopped) +
                           " ] && exit 0; sleep 0.05; done; exit 1"));
    }
};

// SoX mixes on when one of its pipe inputs dies: a track that stops half-way,
// or watermarks that stop sounding, would be reported done.
TEST_F(Outputs, APipeInputKilledMidRenderFailsTheTrack) {
    MakeTone(Work("in/long.wav"), 200, "sine 440 vol 0.1");
    for (const std::string input : {"long.wav", "beep.wav"}) {
        SCOPED_TRACE(input);
        CSoxHandler sox;
        PrepareWatermarking(sox, Work("in/long.wav"), {Work("wm/beep.wav")}, Work("out"), 1, 5,
                            "mp3");
        sox.SetDecodeApart(true); // the track decoded in a process of its own
        KillWhileRendering(sox, ".*" + input + " -p");
        ASSERT_EQ(1u, sox.GetErrors().size());
        EXPECT_EQ(TrackOutcome::Failed, sox.GetTrackResult().outcome);
        const wxString what = input == "long.wav" ? "the SoX process decoding the track"
                                                  : "a SoX process playing the watermark copies";
        EXPECT_EQ("long.wav: " + what +
                      " ended abnormally (exit status 137), so the output would be incomplete.",
                  FirstLine(sox));
        EXPECT_EQ("", Listing(Work("out"))); // no output, no partial file
    }
    // ffmpeg decoding the track (for the mix, not to measure it): a
    // reader's early stop is no failure, its death is.
    ASSERT_EQ(0, Shell("ffmpeg -nostdin -v error -i " + ShellQuote(Work("in/long.wav")) +
                       " -c:a alac " + ShellQuote(Work("in/long.m4a"))));
    CSoxHandler sox;
    PrepareWatermarking(sox, Work("in/long.m4a"), {Work("wm/beep.wav")}, Work("out"), 1, 5, "wav");
    KillWhileRendering(sox, "in/long.m4a -map 0:a:0 -af atrim",
                       "ffmpeg -nostdin -v fatal -i file:");
    EXPECT_EQ(TrackOutcome::Failed, sox.GetTrackResult().outcome);
    EXPECT_EQ("long.m4a: ffmpeg, decoding one of the files, ended abnormally (exit status 137), "
              "so the output would be incomplete.",
              FirstLine(sox));
    EXPECT_EQ("", Listing(Work("out")));
}

// A copy near a clip's end is cut there and faded with the clip, which keeps
// its length to the sample; a whole track lets its last copy ring out.
TEST_F(Outputs, AClipIsExactlyItsLengthWithItsLastCopyCutAndFaded) {
    MakeSilence(Work("in/song.wav"), 120, 44100, 2);
    CSoxHandler sox;
    PrepareWatermarking(sox, Work("in/song.wav"), {Work("wm/beep.wav")}, Work("out"), 0, 29);
    sox.SetClip(30, 60, 2);
    ASSERT_TRUE(sox.Run()) << FirstLine(sox);
    const std::string out = Work("out/song.wav");
    EXPECT_EQ(30 * 44100, Inspect(out).frames);
    EXPECT_GT(PeakIn(out, 0.5, 0.2), 0.45); // the first copy at its own level
    EXPECT_LT(PeakIn(out, 29.5, 0.2), 0.2); // the last, fading out with the clip
    EXPECT_GT(PeakIn(out, 29.0, 0.2), 0.1);

    // The strip draws it as cut.
    RenderSettings settings = RunSettings();
    settings.start = 0;
    settings.interval = 29;
    settings.clipLength = 30;
    settings.clipStart = 60;
    const StripPlan plan = PlanStrip(120, settings, {1.5});
    ASSERT_EQ(2u, plan.marks.size());
    EXPECT_EQ(89, plan.marks[1].start);
    EXPECT_DOUBLE_EQ(1, plan.marks[1].length);

    sox.SetClip(0, 0, 0);
    sox.SetInputFile(Wx(Work("in/short.wav")));
    MakeSilence(Work("in/short.wav"), 30.2, 44100, 2);
    ASSERT_TRUE(sox.Run()) << FirstLine(sox);
    EXPECT_EQ(static_cast<long long>(30.5 * 44100), Inspect(Work("out/short.wav")).frames);
}

// An output name that already holds a file is replaced only when this
// program wrote that file: a master beside its track stays as it was.
TEST_F(Outputs, OnlyFilesThisProgramWroteAreReplaced) {
    MakeTone(Work("in/a.wav"), 8, "sine 440 vol 0.1");
    MakeTone(Work("in/a.mp3"), 8, "sine 440 vol 0.1");
    const std::string master = StampOf(Work("in/a.mp3"));
    RenderSettings settings = RunSettings(OutputFormat::Mp3);
    settings.folder = Wx(Work("in"));
    RenderRun run(settings, Files({"in/a.wav"}), Files({"wm/beep.wav"}));
    ASSERT_EQ("", run.InputProblem());
    EXPECT_EQ(Strings({"a.wav: Not processed: a.mp3 already exists and was not written by this "
                       "program. Move or rename it, or choose another output folder, prefix or "
                       "suffix, and run again."}),
              run.Run());
    EXPECT_EQ(master, StampOf(Work("in/a.mp3")));
    EXPECT_FALSE(run.Complete());

    // Its own outputs it writes again, also the merged file; a foreign file
    // under the merged name is refused before anything renders.
    settings.folder = Wx(Work("out"));
    settings.merge = true;
    settings.mergeName = "Mix";
    for (int round = 0; round < 2; ++round) {
        RenderRun merged(settings, Files({"in/a.wav", "in/a.mp3"}), Files({"wm/beep.wav"}));
        ASSERT_EQ("", merged.MergeProblem());
        merged.Run();
        EXPECT_TRUE(merged.Complete());
    }
    EXPECT_TRUE(IsMarkedOutput(Wx(Work("out/Mix.mp3"))));
    EXPECT_EQ("Mix.mp3\n", Listing(Work("out")));
    ASSERT_EQ(0, Shell("rm " + ShellQuote(Work("out/Mix.mp3")) + " && cp " +
                       ShellQuote(Work("in/a.mp3")) + " " + ShellQuote(Work("out/Mix.mp3"))));
    EXPECT_EQ("The merged file Mix.mp3 already exists and was not written by this program. Move "
              "or rename it, or choose another output folder, prefix or suffix, and run again.",
              RenderRun(settings, Files({"in/a.wav"}), Files({"wm/beep.wav"})).MergeProblem());
}

// Names near the file system's limit: a partial name is cut to fit, one
// that cannot fit at all is refused before anything renders.
TEST_F(Outputs, LongNamesRenderUnderAPartialNameThatFitsOrAreRefusedFirst) {
    const std::string name = std::string(240, 'n') + ".wav";
    MakeTone(Work("in/" + name), 3, "sine 440 vol 0.1");
    RenderSettings settings = RunSettings();
    RenderRun run(settings, Files({"in/" + name}), Files({"wm/beep.wav"}));
    ASSERT_EQ("", run.InputProblem());
    EXPECT_EQ(Strings({Wx(name + ": Process completed successfully")}), run.Run());
    EXPECT_EQ(name + "\n", Listing(Work("out")));

    settings.suffix = std::string(20, 's');
    EXPECT_EQ(Wx("The output name for " + name +
                 " would be longer than the file system allows (255 bytes). Please choose a "
                 "shorter prefix or suffix, or rename the track."),
              RenderRun(settings, Files({"in/" + name}), Files({"wm/beep.wav"})).InputProblem());
    settings.merge = true;
    settings.mergeName = std::string(300, 'm');
    EXPECT_EQ("The name of the merged file is longer than the file system allows (255 bytes). "
              "Please choose a shorter name.",
              RenderRun(settings, Files({"in/" + name}), Files({"wm/beep.wav"})).MergeProblem());
}

// A merge killed outright leaves its parts behind; the next run's private
// folder clears them, but never one that a running program holds.
TEST_F(Outputs, PrivateFoldersLeftByAKilledRunGoWithTheNext) {
    const std::string left = Work("tmp/velisto-run-left");
    MakeFolders({"tmp/velisto-run-left"});
    ASSERT_EQ(0, Shell("head -c 100000 /dev/zero > " + ShellQuote(left + "/1.wav")));
    struct utimbuf old = {time(nullptr) - 600, time(nullptr) - 600};
    ASSERT_EQ(0, utime(left.c_str(), &old));
    TempFolder held("velisto-run");
    ASSERT_FALSE(held.Path().empty());
    ASSERT_EQ(0, utime(held.Path().fn_str(), &old));
    EXPECT_FALSE(wxDirExists(Wx(left)));
    TempFolder next("velisto-run");
    EXPECT_TRUE(wxDirExists(held.Path()));
}

} // namespace
