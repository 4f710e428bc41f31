// Cancelling renders under way, from the progress or by closing the window:
// only whole files stay, and no SoX process.
#include "testutil.h"

namespace {

// Counts the SoX processes whose command line mentions text.
int SoxProcessesWith(const std::string& text) {
    std::string out;
    // "[s]ox" keeps the shell running pgrep from matching itself.
    Shell("pgrep -f -c -- " + ShellQuote("[s]ox.*" + text), &out);
    return std::atoi(out.c_str());
}

class Progress : public RenderProgress {
public:
    void TrackStarted(size_t index, size_t, const wxString&) override { started.push_back(index); }
    void TracksFinished(size_t, size_t) override {}
    bool CancelRequested() override { return cancelWhen && cancelWhen(); }

    std::vector<size_t> started;
    std::function<bool()> cancelWhen;
};

// TMPDIR is the test's own tmp/, so the private render folders show there.
class ParallelTest : public BundleTest {};

TEST_F(ParallelTest, CancelEndsEveryRenderAndKeepsOnlyWholeFiles) {
    MakeTone(Work("beep.wav"), 0.3, "sine 1000 vol 0.3");
    MakeTone(Work("in/short.wav"), 2, "sine 440 vol 0.6");
    // Long enough to be still rendering when the cancel comes.
    MakeTone(Work("in/long1.wav"), 3600, "whitenoise", 8000, 1);
    MakeTone(Work("in/long2.wav"), 3600, "whitenoise", 8000, 1);
    MakeTone(Work("in/never.wav"), 2);
    for (bool merge : {false, true}) {
        SCOPED_TRACE(merge ? "merging" : "not merging");
        Shell("rm -rf " + ShellQuote(Work("out")) + "/*");
        RenderSettings s = RunSettings(OutputFormat::Mp3);
        s.merge = merge;
        s.mergeName = "mix";
        RenderRun run(s, Files({"in/short.wav", "in/long1.wav", "in/long2.wav", "in/never.wav"}),
                      Files({"beep.wav"}));
        run.SetParallel(2);
        Progress progress;
        // Once both long renders are under way, the user cancels.
        progress.cancelWhen = [&] { return progress.started.size() == 3; };
        const wxArrayString lines = run.Run(&progress);

        EXPECT_TRUE(run.WasCancelled());
        const wxString cancelled = "Cancelled: 3 of 4 tracks not rendered.";
        EXPECT_EQ(cancelled, lines.empty() ? wxString() : lines.Last());
        if (!merge) { // short.mp3 stays, whole
            EXPECT_EQ(Strings({"short.wav: Process completed successfully", cancelled}), lines);
            EXPECT_NEAR(2.0, Inspect(Work("out/short.mp3")).seconds, 0.1);
        }
        EXPECT_EQ(merge ? "" : "short.mp3\n", Listing(Work("out")));
        EXPECT_EQ(0, SoxProcessesWith(Work("")));
        EXPECT_EQ("", Listing(Work("tmp")));
    }
}

TEST_F(ParallelTest, ClosingTheWindowCancelsTheRunAndLeavesNothingRunning) {
    MakeTone(Work("beep.wav"), 0.3, "sine 1000 vol 0.3");
    MakeTone(Work("in/long.wav"), 3600, "whitenoise", 8000, 1);
    CMainFormImp* w = NewMainWindow();
    Probe p(*w);
    w->OnFileListDropFiles(Files({"in/long.wav"}));
    w->OnWatermarkListDropFiles(Files({"beep.wav"}));
    ASSERT_TRUE(Measured(p));
    p.setFolder(Work("out"));
    // The user closes the window once the render is under way.
    wxTimer closer;
    closer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (SoxProcessesWith(Work("in")) > 0)
            w->Close(false);
        else
            closer.StartOnce(50);
    });
    closer.StartOnce(50);
    wxCommandEvent go;
    w->OnGoClicked(go);
    // No results dialog came (an unexpected dialog fails the test); the window goes.
    EXPECT_TRUE(WaitUntil([&] { return !wxTopLevelWindows.Find(w); }, 5000));
    EXPECT_EQ(0, SoxProcessesWith(Work("")));
    EXPECT_FALSE(wxFileExists(Wx(Work("out/long.mp3"))));
}

// A close while dropped files are measured: the measuring ends, no row is
// added to the closing window, and it goes once the drop has returned.
TEST_F(ParallelTest, ClosingTheWindowWhileFilesAreMeasuredCancelsTheMeasuring) {
    // Near a whole second, so that each is decoded to be measured.
    MakeTone(Work("ten.mp3"), 10, "sine 440 vol 0.1");
    CopyFile(Work("ten.mp3"), Work("in"), "t", 30);
    wxArrayString tracks;
    for (int i = 1; i <= 30; ++i)
        tracks.Add(Wx(Work("in/t" + std::to_string(i) + ".mp3")));
    CMainFormImp* w = NewMainWindow();
    size_t started = 0;
    CommandLog log([&](const wxString&) {
        // The user closes the window once the decoding is under way.
        if (++started == 3)
            w->CallAfter([w] { w->Close(false); });
    });
    w->OnFileListDropFiles(tracks);
    EXPECT_TRUE(wxTopLevelWindows.Find(w)); // still there when the drop returns
    EXPECT_TRUE(WaitUntil([&] { return !wxTopLevelWindows.Find(w); }, 5000));
    EXPECT_LT(started, 31u);
    EXPECT_EQ(0, SoxProcessesWith(Work("")));
}

} // namespace
