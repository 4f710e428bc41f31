// Pressing GO!: the checks, the merge prompt, the per-track renders, the join
// and the results, driven through the main window.
#include "testutil.h"

#include <wx/ffile.h>
#include <wx/progdlg.h>
#include <wx/textdlg.h>

#include <set>

namespace {

wxString Wx(const std::string& s) {
    return wxString::FromUTF8(s);
}

wxArrayString Strings(std::initializer_list<wxString> texts) {
    wxArrayString out;
    for (const wxString& t : texts)
        out.Add(t);
    return out;
}

std::string Contents(const std::string& path) {
    wxFFile file(Wx(path), "rb");
    wxString text;
    file.ReadAll(&text, wxConvISO8859_1);
    return std::string(text.mb_str(wxConvISO8859_1));
}

// Names of the entries of a folder, sorted.
std::set<std::string> Entries(const std::string& folder) {
    std::string out;
    Shell("ls -A " + ShellQuote(folder), &out);
    std::set<std::string> names;
    size_t start = 0;
    for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
        names.insert(out.substr(start, end - start));
    return names;
}

// Answers a message box after checking its text.
class MessageExpect : public wxExpectModalBase<wxMessageDialog, MessageExpect> {
public:
    explicit MessageExpect(const wxString& text) : m_text(text) {}

protected:
    int OnInvoked(wxMessageDialog* dialog) const override {
        EXPECT_EQ(m_text, dialog->GetMessage());
        return wxID_OK;
    }

private:
    wxString m_text;
};

// Answers the merge-name prompt: checks what it offers, then types a name.
class MergeNameExpect : public wxExpectModalBase<wxTextEntryDialog, MergeNameExpect> {
public:
    MergeNameExpect(const wxString& offered, const wxString& typed, int answer = wxID_OK)
        : m_offered(offered), m_typed(typed), m_answer(answer) {}

protected:
    int OnInvoked(wxTextEntryDialog* dialog) const override {
        EXPECT_EQ("Please choose output file", dialog->GetTitle());
        EXPECT_EQ(m_offered, dialog->GetValue());
        wxString texts;
        for (wxWindow* child : dialog->GetChildren())
            if (auto* text = dynamic_cast<wxStaticText*>(child))
                texts += text->GetLabel();
        EXPECT_EQ("Please provide your merge output file name (The file will be created in the "
                  "output folder you choose)",
                  texts);
        dialog->SetValue(m_typed);
        return m_answer;
    }

private:
    wxString m_offered;
    wxString m_typed;
    int m_answer;
};

// What the progress dialog showed while SoX rendered.
struct ProgressSeen {
    wxString title;
    wxArrayString messages;
    std::vector<int> values;
    int range = 0;
};

class RunTest : public BundleTest {
protected:
    void SetUp() override {
        BundleTest::SetUp();
        for (const char* folder : {"in", "in2", "wm", "out", "tmp"})
            ASSERT_EQ(0, Shell("mkdir -p " + ShellQuote(Work(folder))));
        // The run's private folder goes here, where the test can see it.
        wxGetEnv("TMPDIR", &m_oldTmp);
        wxSetEnv("TMPDIR", Wx(Work("tmp")));
        MakeTone(Work("wm/beep.wav"), 0.5, "sine 1000", 8000, 1);
        CSoxHandler::s_commandObserver = [this](const wxString& c) {
            m_commands.Add(c);
            if (!c.Contains(" -v 1 "))
                return;
            for (wxWindow* top : wxTopLevelWindows) {
                if (auto* progress = dynamic_cast<wxGenericProgressDialog*>(top)) {
                    m_progress.title = progress->GetTitle();
                    m_progress.messages.Add(progress->GetMessage());
                    m_progress.values.push_back(progress->GetValue());
                    m_progress.range = progress->GetRange();
                }
            }
        };
    }
    void TearDown() override {
        CSoxHandler::s_commandObserver = nullptr;
        wxSetEnv("TMPDIR", m_oldTmp);
        BundleTest::TearDown();
    }

    void AddTracks(MainWindow& w, std::initializer_list<std::string> names) {
        wxArrayString paths;
        for (const std::string& n : names)
            paths.Add(Wx(Work(n)));
        w->OnFileListDropFiles(paths);
        ASSERT_EQ(static_cast<int>(names.size()), Probe(*w).tracks()->GetItemCount());
    }
    void AddBeep(MainWindow& w) {
        w->OnWatermarkListDropFiles(wxArrayString(1, Wx(Work("wm/beep.wav"))));
        ASSERT_EQ(1, Probe(*w).watermarks()->GetItemCount());
    }
    static void SetOutputFolder(MainWindow& w, const std::string& folder) {
        Probe(*w).outputFolder() = Wx(folder);
        Probe(*w).outputFolderLabel()->SetLabel(Wx(folder));
    }
    static void ChooseWav(MainWindow& w) {
        Probe p(*w);
        p.wav()->SetValue(true);
        p.format() = "WAV";
    }
    static void Go(MainWindow& w) {
        wxCommandEvent click(wxEVT_BUTTON, Probe(*w).go()->GetId());
        w->OnGoClicked(click);
    }
    // Commands that rendered or joined (not measurements or header reads).
    size_t WritingCommands() const {
        size_t n = 0;
        for (const wxString& c : m_commands)
            if (!c.EndsWith(" -n stat") && !c.StartsWith("./sox --i "))
                ++n;
        return n;
    }

    wxString m_oldTmp;
    wxArrayString m_commands;
    ProgressSeen m_progress;
};

TEST_F(RunTest, ChecksComeInOrderAndStopTheRun) {
    MainWindow w;
    wxTEST_DIALOG(Go(w), MessageExpect("Choose an output folder first."));

    SetOutputFolder(w, Work("out"));
    wxTEST_DIALOG(Go(w), MessageExpect("Please add at least one input file."));

    MakeSilence(Work("in/song.wav"), 6.5, 8000, 1);
    AddTracks(w, {"in/song.wav"});
    wxTEST_DIALOG(Go(w), MessageExpect("Please add at least one watermark file."));

    SetOutputFolder(w, "");
    AddBeep(w);
    wxTEST_DIALOG(Go(w), MessageExpect("Choose an output folder first."));
    EXPECT_EQ(0u, WritingCommands());
    EXPECT_TRUE(Entries(Work("out")).empty());
}

TEST_F(RunTest, UndecodableTrackGetsNoLineAndTheOthersAreRendered) {
    for (const char* name : {"in/a.mp3", "in/b.mp3", "in/c.mp3"})
        MakeTone(Work(name), 6.5, "sine 220");
    MainWindow w;
    AddTracks(w, {"in/a.mp3", "in/b.mp3", "in/c.mp3"});
    AddBeep(w);
    SetOutputFolder(w, Work("out"));
    // Spoilt after it was listed: its measurement fails when the run starts.
    ASSERT_EQ(0, Shell("head -c 20000 /dev/urandom > " + ShellQuote(Work("in/b.mp3"))));

    SeenResults results;
    wxTEST_DIALOG(Go(w), ResultsExpect(&results));
    EXPECT_EQ(1, results.shown);
    EXPECT_EQ("Process Completed", results.title);
    EXPECT_EQ(
        Strings({"c.mp3: Process completed successfully", "a.mp3: Process completed successfully"}),
        results.lines);
    EXPECT_EQ(Wx(Work("out")), results.folder);
    EXPECT_EQ((std::set<std::string>{"a.mp3", "c.mp3"}), Entries(Work("out")));
    // Values of the window as it opened: start 5, every 5 s, MP3 at 320 kbit/s.
    const AudioInfo info = Inspect(Work("out/a.mp3"));
    EXPECT_EQ(320, info.kbits);
    EXPECT_EQ(2, info.channels);
    EXPECT_TRUE(m_commands.Last().Contains(" -p pad 5\" -C 320 \"")) << m_commands.Last();

    EXPECT_EQ("Please wait...", m_progress.title);
    EXPECT_EQ(3, m_progress.range);
    EXPECT_EQ(Strings({"Processing file a.mp3", "Processing file c.mp3"}), m_progress.messages);
    EXPECT_EQ((std::vector<int>{0, 2}), m_progress.values);
    for (wxWindow* top : wxTopLevelWindows)
        EXPECT_EQ(nullptr, dynamic_cast<wxGenericProgressDialog*>(top));
}

TEST_F(RunTest, EverySettingComesFromTheWindow) {
    MakeSilence(Work("in/song.wav"), 7.5, 8000, 2);
    MainWindow w;
    Probe p(*w);
    AddTracks(w, {"in/song.wav"});
    AddBeep(w);
    SetOutputFolder(w, Work("out"));
    ChooseWav(w);
    p.start() = 1;
    p.repeatEvery() = 5;
    p.mono()->SetValue(true);
    p.affixText()->ChangeValue("_wm");
    p.affixChoice()->SetSelection(1);

    SeenResults results;
    wxTEST_DIALOG(Go(w), ResultsExpect(&results));
    EXPECT_EQ(Strings({"song.wav: Process completed successfully"}), results.lines);
    const std::string out = Work("out/song_wm.wav");
    const AudioInfo info = Inspect(out);
    EXPECT_EQ(1, info.channels);
    EXPECT_GT(PeakIn(out, 1.0, 0.5), 0.1);
    EXPECT_LT(PeakIn(out, 1.6, 4.3), 0.01);
    EXPECT_GT(PeakIn(out, 6.0, 0.5), 0.1);
    for (const wxString& c : m_commands)
        EXPECT_FALSE(c.Contains("-C ")) << c;
    // The run leaves the working format as the window shows it.
    EXPECT_EQ("WAV", p.format());

    p.affixChoice()->SetSelection(0);
    p.mono()->SetValue(false);
    wxTEST_DIALOG(Go(w), ResultsExpect(&results));
    EXPECT_EQ(2, Inspect(Work("out/_wmsong.wav")).channels);
    EXPECT_EQ((std::set<std::string>{"song_wm.wav", "_wmsong.wav"}), Entries(Work("out")));
}

TEST_F(RunTest, MergedRunJoinsTheRenderedTracksInTrackOrder) {
    // Different rates and channels, and a spoilt track in the middle.
    MakeSilence(Work("in/first.wav"), 3.4, 44100, 2);
    MakeSilence(Work("in/broken.wav"), 3.0, 44100, 2);
    MakeSilence(Work("in/third.aiff"), 6.4, 48000, 1);
    MainWindow w;
    Probe p(*w);
    AddTracks(w, {"in/first.wav", "in/broken.wav", "in/third.aiff"});
    AddBeep(w);
    SetOutputFolder(w, Work("out"));
    ChooseWav(w);
    p.start() = 1;
    p.merge()->SetValue(true);
    ASSERT_EQ(0, Shell("head -c 20000 /dev/urandom > " + ShellQuote(Work("in/broken.wav"))));

    SeenResults results;
    wxTEST_DIALOG(Go(w), MergeNameExpect("first", "Mix.mp3"), ResultsExpect(&results));
    EXPECT_EQ(Strings({"third.aiff: Process completed successfully",
                       "first.wav: Process completed successfully"}),
              results.lines);
    // The button opens the folder with the joined file, not the private one.
    EXPECT_EQ(Wx(Work("out")), results.folder);
    EXPECT_EQ((std::set<std::string>{"Mix.wav"}), Entries(Work("out")));
    EXPECT_TRUE(Entries(Work("tmp")).empty());

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
    EXPECT_EQ("WAV", p.format());
}

TEST_F(RunTest, TracksOfTheSameNameFromTwoFolders) {
    MakeSilence(Work("in/song.wav"), 3.4, 8000, 1);
    MakeSilence(Work("in2/song.wav"), 6.4, 8000, 1);
    MainWindow w;
    Probe p(*w);
    AddTracks(w, {"in/song.wav", "in2/song.wav"});
    AddBeep(w);
    SetOutputFolder(w, Work("out"));
    ChooseWav(w);
    p.start() = 1;

    // Separately: the second would overwrite the first's output, so it waits.
    SeenResults results;
    wxTEST_DIALOG(Go(w), ResultsExpect(&results));
    EXPECT_EQ(
        Strings({"song.wav: Not processed: song.wav was already written by an earlier track of "
                 "this run.",
                 "song.wav: Process completed successfully"}),
        results.lines);
    EXPECT_NEAR(3.4, Inspect(Work("out/song.wav")).seconds, 0.01);

    // Merged: both tracks, each once.
    p.merge()->SetValue(true);
    wxTEST_DIALOG(Go(w), MergeNameExpect("song", "Both"), ResultsExpect(&results));
    EXPECT_EQ(Strings({"song.wav: Process completed successfully",
                       "song.wav: Process completed successfully"}),
              results.lines);
    EXPECT_NEAR(3.4 + 6.4, Inspect(Work("out/Both.wav")).seconds, 0.01);
    EXPECT_GT(PeakIn(Work("out/Both.wav"), 4.4, 0.5), 0.1);
    EXPECT_TRUE(Entries(Work("tmp")).empty());
}

TEST_F(RunTest, OutputsNeverReplaceListedFiles) {
    MakeTone(Work("in/b.mp3"), 3.5, "sine 220");
    MakeSilence(Work("in2/b.wav"), 3.5, 8000, 1);
    const std::string before = Contents(Work("in/b.mp3"));
    MainWindow w;
    AddTracks(w, {"in2/b.wav", "in/b.mp3"});
    AddBeep(w);
    SetOutputFolder(w, Work("in"));
    Probe(*w).start() = 1;

    SeenResults results;
    wxTEST_DIALOG(Go(w), ResultsExpect(&results));
    EXPECT_EQ(Strings({"b.mp3: Not processed: the output file would replace this track. Choose "
                       "another output folder, a prefix or suffix, or another format.",
                       "b.wav: Not processed: the output file would replace the listed track "
                       "b.mp3."}),
              results.lines);
    EXPECT_EQ(before, Contents(Work("in/b.mp3")));
    EXPECT_EQ(0u, WritingCommands());
}

TEST_F(RunTest, CancelledMergePromptRendersNothing) {
    MakeSilence(Work("in/song.wav"), 6.5, 8000, 1);
    MainWindow w;
    AddTracks(w, {"in/song.wav"});
    AddBeep(w);
    SetOutputFolder(w, Work("out"));
    Probe(*w).merge()->SetValue(true);
    m_commands.Clear();
    // No results dialog follows: the outer hook would fail the test.
    wxTEST_DIALOG(Go(w), MergeNameExpect("song", "Mix", wxID_CANCEL));
    EXPECT_TRUE(m_commands.empty());
    EXPECT_TRUE(Entries(Work("out")).empty());
    EXPECT_TRUE(Entries(Work("tmp")).empty());
}

TEST_F(RunTest, UnusableMergeNamesAreRefusedBeforeRendering) {
    MakeSilence(Work("in/song.wav"), 6.5, 8000, 1);
    MainWindow w;
    AddTracks(w, {"in/song.wav"});
    AddBeep(w);
    SetOutputFolder(w, Work("in"));
    ChooseWav(w);
    Probe(*w).merge()->SetValue(true);
    m_commands.Clear();
    for (const char* typed : {"", "   ", "sub/Mix", "../Mix", ".mp3"}) {
        SCOPED_TRACE(typed);
        wxTEST_DIALOG(
            Go(w), MergeNameExpect("song", typed),
            MessageExpect("Please provide a file name for the merged file, without a folder."));
    }
    // Joined into the track's own file.
    wxTEST_DIALOG(Go(w), MergeNameExpect("song", "song.mp3"),
                  MessageExpect("The merged file " + Wx(Work("in/song.wav")) +
                                " would replace song.wav, which is in your lists. Please choose "
                                "another name."));
    EXPECT_TRUE(m_commands.empty());
    EXPECT_EQ((std::set<std::string>{"song.wav"}), Entries(Work("in")));
    EXPECT_TRUE(Entries(Work("tmp")).empty());
}

TEST_F(RunTest, FailedOrEmptyJoinIsReported) {
    MakeSilence(Work("in/song.wav"), 6.5, 8000, 1);
    MakeSilence(Work("in/short.wav"), 3.5, 8000, 1);
    MainWindow w;
    Probe p(*w);
    AddTracks(w, {"in/song.wav"});
    AddBeep(w);
    SetOutputFolder(w, Work("gone")); // never created
    ChooseWav(w);
    p.merge()->SetValue(true);

    SeenResults results;
    wxTEST_DIALOG(Go(w), MergeNameExpect("song", "Mix"), ResultsExpect(&results));
    ASSERT_EQ(2u, results.lines.size());
    EXPECT_TRUE(results.lines[0].StartsWith("Mix.wav: ")) << results.lines[0];
    EXPECT_TRUE(results.lines[0].Contains("can't open output file")) << results.lines[0];
    EXPECT_EQ("song.wav: Process completed successfully", results.lines[1]);
    EXPECT_TRUE(Entries(Work("tmp")).empty());

    // Every track shorter than the start: nothing to join, and the user is told.
    MainWindow other;
    AddTracks(other, {"in/short.wav"});
    AddBeep(other);
    SetOutputFolder(other, Work("out"));
    ChooseWav(other);
    Probe(*other).start() = 5;
    Probe(*other).merge()->SetValue(true);
    wxTEST_DIALOG(Go(other), MergeNameExpect("short", "Mix"), ResultsExpect(&results));
    EXPECT_EQ(Strings({"Mix.wav: Not created: no track was rendered."}), results.lines);
    EXPECT_TRUE(Entries(Work("out")).empty());
}

} // namespace
