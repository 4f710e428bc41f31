// Pressing GO!: the checks, the merge prompt, the per-track renders, the join
// and the results, driven through the main window.
#include "testutil.h"

#include <wx/progdlg.h>

namespace {

// The folder's entries, one a line, sorted.
std::string Listing(const std::string& folder) {
    std::string out;
    Shell("LC_ALL=C ls -A " + ShellQuote(folder), &out);
    return out;
}

TextEntryExpect MergeName(const wxString& offered, const wxString& typed, int answer = wxID_OK) {
    return TextEntryExpect("Please choose output file",
                           "Please provide your merge output file name (The file will be created "
                           "in the output folder you choose)",
                           offered, typed, answer);
}

class RunTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        MakeFolders({"in", "in2", "wm", "out", "tmp"});
        // The run's private folder goes here, where the test can see it.
        wxGetEnv("TMPDIR", &m_oldTmp);
        wxSetEnv("TMPDIR", Wx(Work("tmp")));
        MakeTone(Work("wm/beep.wav"), 0.5, "sine 1000", 8000, 1);
    }
    void TearDown() override {
        wxSetEnv("TMPDIR", m_oldTmp);
        WindowTest::TearDown();
    }

    // Lists the tracks and the beep and sets the output folder; with wav, WAV
    // output with the first beep at 1 s too.
    void Prepare(std::initializer_list<std::string> tracks, const std::string& folder,
                 bool wav = true) {
        w->OnFileListDropFiles(Files(tracks));
        ASSERT_EQ(int(tracks.size()), p.tracks()->GetItemCount());
        w->OnWatermarkListDropFiles(Files({"wm/beep.wav"}));
        ASSERT_EQ(1, p.watermarks()->GetItemCount());
        SetOutputFolder(folder);
        if (wav) {
            p.wav()->SetValue(true);
            p.format() = "WAV";
            p.start() = 1;
        }
    }
    void SetOutputFolder(const std::string& folder) {
        p.outputFolder() = Wx(folder);
        p.outputFolderLabel()->SetLabel(Wx(folder));
    }
    // Commands that rendered or joined (not measurements or header reads).
    size_t WritingCommands() const {
        size_t n = 0;
        for (const wxString& c : m_log.commands)
            if (!c.EndsWith(" -n stat") && !c.StartsWith("./sox --i "))
                ++n;
        return n;
    }

    wxString m_oldTmp;
    // What the progress dialog showed at each render.
    wxArrayString m_progress;
    CommandLog m_log{[this](const wxString& c) {
        for (wxWindow* top : wxTopLevelWindows) {
            auto* progress = dynamic_cast<wxGenericProgressDialog*>(top);
            if (progress && c.Contains(" -v 1 "))
                m_progress.Add(wxString::Format("%s: %s (%d of %d)", progress->GetTitle(),
                                                progress->GetMessage(), progress->GetValue(),
                                                progress->GetRange()));
        }
    }};
};

TEST_F(RunTest, ChecksComeInOrderAndStopTheRun) {
    wxTEST_DIALOG(Click(p.go()), MessageExpect("Choose an output folder first."));
    SetOutputFolder(Work("out"));
    wxTEST_DIALOG(Click(p.go()), MessageExpect("Please add at least one input file."));
    MakeSilence(Work("in/song.wav"), 6.5, 8000, 1);
    w->OnFileListDropFiles(Files({"in/song.wav"}));
    wxTEST_DIALOG(Click(p.go()), MessageExpect("Please add at least one watermark file."));
    w->OnWatermarkListDropFiles(Files({"wm/beep.wav"}));
    SetOutputFolder("");
    wxTEST_DIALOG(Click(p.go()), MessageExpect("Choose an output folder first."));
    EXPECT_EQ(0u, WritingCommands());
    EXPECT_EQ("", Listing(Work("out")));
}

TEST_F(RunTest, UndecodableTrackGetsNoLineAndTheOthersAreRendered) {
    for (const char* name : {"in/a.mp3", "in/b.mp3", "in/c.mp3"})
        MakeTone(Work(name), 6.5, "sine 220");
    Prepare({"in/a.mp3", "in/b.mp3", "in/c.mp3"}, Work("out"), false);
    // Spoilt after it was listed: its measurement fails when the run starts.
    Spoil(Work("in/b.mp3"));

    SeenResults results;
    wxTEST_DIALOG(Click(p.go()), ResultsExpect(&results));
    EXPECT_EQ(1, results.shown);
    EXPECT_EQ("Process Completed", results.title);
    EXPECT_EQ(
        Strings({"c.mp3: Process completed successfully", "a.mp3: Process completed successfully"}),
        results.lines);
    EXPECT_EQ(Wx(Work("out")), results.folder);
    EXPECT_EQ("a.mp3\nc.mp3\n", Listing(Work("out")));
    // Values of the window as it opened: start 5, every 5 s, MP3 at 320 kbit/s.
    const AudioInfo info = Inspect(Work("out/a.mp3"));
    EXPECT_EQ(320, info.kbits);
    EXPECT_EQ(2, info.channels);
    EXPECT_TRUE(m_log.commands.Last().Contains(" -p pad 5\" -C 320 \"")) << m_log.commands.Last();

    EXPECT_EQ(Strings({"Please wait...: Processing file a.mp3 (0 of 3)",
                       "Please wait...: Processing file c.mp3 (2 of 3)"}),
              m_progress);
    for (wxWindow* top : wxTopLevelWindows)
        EXPECT_EQ(nullptr, dynamic_cast<wxGenericProgressDialog*>(top));
}

TEST_F(RunTest, EverySettingComesFromTheWindow) {
    MakeSilence(Work("in/song.wav"), 7.5, 8000, 2);
    Prepare({"in/song.wav"}, Work("out"));
    p.mono()->SetValue(true);
    p.affixText()->ChangeValue("_wm");
    p.affixChoice()->SetSelection(1);

    SeenResults results;
    wxTEST_DIALOG(Click(p.go()), ResultsExpect(&results));
    EXPECT_EQ(Strings({"song.wav: Process completed successfully"}), results.lines);
    const std::string out = Work("out/song_wm.wav");
    EXPECT_EQ(1, Inspect(out).channels);
    EXPECT_GT(PeakIn(out, 1.0, 0.5), 0.1);
    EXPECT_LT(PeakIn(out, 1.6, 4.3), 0.01);
    EXPECT_GT(PeakIn(out, 6.0, 0.5), 0.1);
    for (const wxString& c : m_log.commands)
        EXPECT_FALSE(c.Contains("-C ")) << c;
    // The run leaves the working format as the window shows it.
    EXPECT_EQ("WAV", p.format());

    p.affixChoice()->SetSelection(0);
    p.mono()->SetValue(false);
    wxTEST_DIALOG(Click(p.go()), ResultsExpect(&results));
    EXPECT_EQ(2, Inspect(Work("out/_wmsong.wav")).channels);
    EXPECT_EQ("_wmsong.wav\nsong_wm.wav\n", Listing(Work("out")));
}

TEST_F(RunTest, MergedRunJoinsTheRenderedTracksInTrackOrder) {
    // Different rates and channels, which SoX does not join as they are, and a
    // spoilt track in the middle.
    MakeSilence(Work("in/first.wav"), 3.4, 44100, 2);
    MakeSilence(Work("in/broken.wav"), 3.0, 44100, 2);
    MakeSilence(Work("in/third.aiff"), 6.4, 48000, 1);
    Prepare({"in/first.wav", "in/broken.wav", "in/third.aiff"}, Work("out"));
    p.merge()->SetValue(true);
    Spoil(Work("in/broken.wav"));

    SeenResults results;
    wxTEST_DIALOG(Click(p.go()), MergeName("first", "Mix.mp3"), ResultsExpect(&results));
    EXPECT_EQ(Strings({"third.aiff: Process completed successfully",
                       "first.wav: Process completed successfully"}),
              results.lines);
    // The button opens the folder with the joined file, not the private one.
    EXPECT_EQ(Wx(Work("out")), results.folder);
    EXPECT_EQ("Mix.wav\n", Listing(Work("out")));
    EXPECT_EQ("", Listing(Work("tmp")));

    const std::string mix = Work("out/Mix.wav");
    const AudioInfo info = Inspect(mix);
    EXPECT_EQ(44100, info.rate);
    EXPECT_EQ(2, info.channels);
    EXPECT_NEAR(3.4 + 6.4, info.seconds, 0.01);
    // One beep a second into each track: at 1 s and at 3.4 + 1 s.
    EXPECT_GT(PeakIn(mix, 1.0, 0.5), 0.1);
    EXPECT_LT(PeakIn(mix, 1.6, 2.7), 0.01);
    EXPECT_GT(PeakIn(mix, 4.4, 0.5), 0.1);
    EXPECT_LT(PeakIn(mix, 5.0, 4.7), 0.01);
    // The mono track, converted in the join, sounds on both sides.
    const std::vector<double> right = BlockPeaks(mix, 0.1, 2);
    ASSERT_GT(right.size(), 45u);
    EXPECT_GT(right[44], 0.1);
}

TEST_F(RunTest, TracksOfTheSameNameFromTwoFolders) {
    MakeSilence(Work("in/song.wav"), 3.4, 8000, 1);
    MakeSilence(Work("in2/song.wav"), 6.4, 8000, 1);
    Prepare({"in/song.wav", "in2/song.wav"}, Work("out"));

    // Separately: the second would overwrite the first's output, so it waits.
    SeenResults results;
    wxTEST_DIALOG(Click(p.go()), ResultsExpect(&results));
    EXPECT_EQ(
        Strings({"song.wav: Not processed: song.wav was already written by an earlier track of "
                 "this run.",
                 "song.wav: Process completed successfully"}),
        results.lines);
    EXPECT_NEAR(3.4, Inspect(Work("out/song.wav")).seconds, 0.01);

    // Merged: both tracks, each once.
    p.merge()->SetValue(true);
    wxTEST_DIALOG(Click(p.go()), MergeName("song", "Both"), ResultsExpect(&results));
    EXPECT_EQ(Strings({"song.wav: Process completed successfully",
                       "song.wav: Process completed successfully"}),
              results.lines);
    EXPECT_NEAR(3.4 + 6.4, Inspect(Work("out/Both.wav")).seconds, 0.01);
    EXPECT_GT(PeakIn(Work("out/Both.wav"), 4.4, 0.5), 0.1);
    EXPECT_EQ("", Listing(Work("tmp")));
}

TEST_F(RunTest, OutputsNeverReplaceListedFiles) {
    MakeTone(Work("in/b.mp3"), 3.5, "sine 220");
    MakeSilence(Work("in2/b.wav"), 3.5, 8000, 1);
    const std::string before = Contents(Work("in/b.mp3"));
    Prepare({"in2/b.wav", "in/b.mp3"}, Work("in"), false);
    p.start() = 1;

    SeenResults results;
    wxTEST_DIALOG(Click(p.go()), ResultsExpect(&results));
    EXPECT_EQ(Strings({"b.mp3: Not processed: the output file would replace this track. Choose "
                       "another output folder, a prefix or suffix, or another format.",
                       "b.wav: Not processed: the output file would replace the listed track "
                       "b.mp3."}),
              results.lines);
    EXPECT_EQ(before, Contents(Work("in/b.mp3")));
    EXPECT_EQ(0u, WritingCommands());
}

TEST_F(RunTest, CancelledOrUnusableMergeNamesRenderNothing) {
    MakeSilence(Work("in/song.wav"), 6.5, 8000, 1);
    Prepare({"in/song.wav"}, Work("in"));
    p.merge()->SetValue(true);
    m_log.commands.Clear();
    // No results dialog follows: the outer hook would fail the test.
    wxTEST_DIALOG(Click(p.go()), MergeName("song", "Mix", wxID_CANCEL));
    for (const char* typed : {"", "   ", "sub/Mix", "../Mix", ".mp3"}) {
        SCOPED_TRACE(typed);
        wxTEST_DIALOG(
            Click(p.go()), MergeName("song", typed),
            MessageExpect("Please provide a file name for the merged file, without a folder."));
    }
    // Joined into the track's own file.
    wxTEST_DIALOG(Click(p.go()), MergeName("song", "song.mp3"),
                  MessageExpect("The merged file " + Wx(Work("in/song.wav")) +
                                " would replace song.wav, which is in your lists. Please choose "
                                "another name."));
    EXPECT_TRUE(m_log.commands.empty());
    EXPECT_EQ("song.wav\n", Listing(Work("in")));
    EXPECT_EQ("", Listing(Work("tmp")));
}

TEST_F(RunTest, FailedOrEmptyJoinIsReported) {
    MakeSilence(Work("in/song.wav"), 6.5, 8000, 1);
    MakeSilence(Work("in/short.wav"), 3.5, 8000, 1);
    Prepare({"in/song.wav"}, Work("gone")); // never created
    p.merge()->SetValue(true);

    SeenResults results;
    wxTEST_DIALOG(Click(p.go()), MergeName("song", "Mix"), ResultsExpect(&results));
    ASSERT_EQ(2u, results.lines.size());
    EXPECT_TRUE(results.lines[0].StartsWith("Mix.wav: ")) << results.lines[0];
    EXPECT_TRUE(results.lines[0].Contains("can't open output file")) << results.lines[0];
    EXPECT_EQ("song.wav: Process completed successfully", results.lines[1]);
    EXPECT_EQ("", Listing(Work("tmp")));

    // Every track shorter than the start: nothing to join, and the user is told.
    Click(p.trackClear());
    w->OnFileListDropFiles(Files({"in/short.wav"}));
    SetOutputFolder(Work("out"));
    p.start() = 5;
    wxTEST_DIALOG(Click(p.go()), MergeName("short", "Mix"), ResultsExpect(&results));
    EXPECT_EQ(Strings({"Mix.wav: Not created: no track was rendered."}), results.lines);
    EXPECT_EQ("", Listing(Work("out")));
}

} // namespace
