// The watermark level control and the stamped preview: Play with
// "Watermarked" ticked plays the selected track as the run would write it.
#include "testutil.h"

#include <wx/app.h>
#include <wx/filefn.h>

// Access to the controls and state that the shared probe does not reach.
struct LevelControls {};
template <> struct MainWindowProbe<LevelControls> {
    explicit MainWindowProbe(CMainFormImp& window) : w(&window) {}
    CMainFormImp* w;

    wxSlider* level() const { return w->m_levelSlider; }
    wxStaticText* levelLabel() const { return w->m_levelLabel; }
    wxCheckBox* watermarked() const { return w->m_watermarkedCheckBox; }
    const StampedPreview& stamped() const { return w->m_stampedPreview; }
    const PreviewPlayer& player() const { return w->m_player; }
};
using LevelProbe = MainWindowProbe<LevelControls>;

namespace {

const int kDeadlineMs = 15000;

// A message box with this text, answered with OK.
class NoticeExpect : public wxExpectModalBase<wxMessageDialog, NoticeExpect> {
public:
    explicit NoticeExpect(const wxString& text) : m_text(text) {}

protected:
    int OnInvoked(wxMessageDialog* dialog) const override {
        EXPECT_EQ(m_text, dialog->GetMessage());
        return wxID_OK;
    }
    wxString GetDefaultDescription() const override { return "message \"" + m_text + "\""; }

private:
    wxString m_text;
};

double RmsIn(const wxString& path, double start, double duration) {
    std::string out;
    Shell("sox " + ShellQuote(path.utf8_string()) + " -n trim " + std::to_string(start) + " " +
              std::to_string(duration) + " stat",
          &out);
    const size_t at = out.find("RMS     amplitude:");
    return at == std::string::npos ? -1 : std::atof(out.c_str() + at + 18);
}

// Tenths of a second in which something sounds, as runs: {start, length}.
std::vector<std::pair<int, int>> SoundsIn(const wxString& path) {
    std::vector<std::pair<int, int>> sounds;
    const std::vector<double> peaks = BlockPeaks(path.utf8_string(), 0.1);
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

class LevelWindow : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        q = std::make_unique<LevelProbe>(*w);
        MakeTone(Work("beep.wav"), 0.5, "sine 1000 vol 0.5", 44100, 1);
        MakeSilence(Work("song.wav"), 8.5);
    }
    // Mixing commands run so far: one per render.
    int Renders() const {
        int renders = 0;
        for (const wxString& command : m_log.commands)
            renders += command.StartsWith("./sox  -v 1 ");
        return renders;
    }

    std::unique_ptr<LevelProbe> q;
    CommandLog m_log;
};

TEST_F(LevelWindow, LevelShowsItsValueAndGoesIntoPresetsAndTheRun) {
    EXPECT_EQ(-24, q->level()->GetMin());
    EXPECT_EQ(6, q->level()->GetMax());
    EXPECT_EQ(0, q->level()->GetValue());
    EXPECT_EQ("Watermark level: 0 dB", q->levelLabel()->GetLabel());
    Slide(q->level(), 3);
    EXPECT_EQ("Watermark level: +3 dB", q->levelLabel()->GetLabel());
    Slide(q->level(), -6, wxEVT_SCROLL_CHANGED);
    EXPECT_EQ("Watermark level: -6 dB", q->levelLabel()->GetLabel());
    EXPECT_EQ(-6, p.settings().level);

    p.presetChoice()->SetSelection(0); // "New..."
    wxTEST_DIALOG(
        Click(p.savePreset()),
        TextEntryExpect("New preset", "Please provide a name for your new preset", "", "Quiet"));
    const wxString key = "/Presets/Quiet/Watermark Settings/WatermarkLevel";
    EXPECT_EQ(-6, p.config().ReadLong(key, 99));

    // Stored before the level existed: the files as recorded. Out of range: clamped.
    Slide(q->level(), -3);
    ASSERT_TRUE(p.config().DeleteEntry(key));
    ASSERT_TRUE(w->LoadPreset("Quiet"));
    EXPECT_EQ(0, q->level()->GetValue());
    EXPECT_EQ("Watermark level: 0 dB", q->levelLabel()->GetLabel());
    p.config().Write(key, 40L);
    ASSERT_TRUE(w->LoadPreset("Quiet"));
    EXPECT_EQ("Watermark level: +6 dB", q->levelLabel()->GetLabel());
    p.config().Write(key, -100L);
    ASSERT_TRUE(w->LoadPreset("Quiet"));
    EXPECT_EQ(-24, q->level()->GetValue());
    EXPECT_EQ("Watermark level: -24 dB", q->levelLabel()->GetLabel());

    // The run scales every watermark copy, never the track.
    Slide(q->level(), -6);
    MakeFolders({"out"});
    p.outputFolder() = Wx(Work("out"));
    w->OnFileListDropFiles(Files({"song.wav"}));
    w->OnWatermarkListDropFiles(Files({"beep.wav"}));
    SeenResults results;
    wxTEST_DIALOG(Click(p.go()), ResultsExpect(&results));
    EXPECT_EQ(Strings({"song.wav: Process completed successfully"}), results.lines);
    ASSERT_EQ(1, Renders());
    const wxString mix = m_log.commands.Last();
    EXPECT_TRUE(mix.StartsWith("./sox  -v 1 -m \"" + Wx(Work("song.wav")) + "\" -v 0.501187 \"| "))
        << mix;
}

TEST_F(LevelWindow, WatermarkedPreviewRendersOnlyWhenItsSoundChanges) {
    MakeTone(Work("other.wav"), 6.5, "sine 220 vol 0.1");
    w->OnFileListDropFiles(Files({"song.wav", "other.wav"}));
    w->OnWatermarkListDropFiles(Files({"beep.wav"}));
    Select(p.tracks(), {0});
    p.startChoice()->SetSelection(2); // "2 Seconds", repeating every 5: at 2 and 7
    q->watermarked()->SetValue(true);

    // Rendered, as WAV although the output is MP3, and played.
    Click(p.play());
    ASSERT_EQ(1, Renders());
    const wxString first = q->stamped().File();
    EXPECT_TRUE(first.StartsWith(q->stamped().Folder() + "/")) << first;
    EXPECT_TRUE(first.EndsWith(".wav")) << first;
    EXPECT_EQ(first, q->player().LoadedFile());
    EXPECT_TRUE(
        WaitUntil([&] { return p.media()->GetState() == wxMEDIASTATE_PLAYING; }, kDeadlineMs));
    EXPECT_EQ((std::vector<std::pair<int, int>>{{20, 5}, {70, 5}}), SoundsIn(first));
    const double loud = RmsIn(first, 2, 0.5);
    Click(p.stop());

    // Nothing changed: the same file again.
    Click(p.play());
    EXPECT_EQ(1, Renders());
    EXPECT_EQ(first, q->player().LoadedFile());
    Click(p.stop());

    // 6 dB quieter: rendered again, the earlier file removed.
    Slide(q->level(), -6);
    Click(p.play());
    ASSERT_EQ(2, Renders());
    const wxString quieter = q->player().LoadedFile();
    EXPECT_NE(first, quieter);
    EXPECT_FALSE(wxFileExists(first));
    EXPECT_NEAR(0.5, RmsIn(quieter, 2, 0.5) / loud, 0.025);
    Click(p.stop());

    // Unticked: the track itself.
    q->watermarked()->SetValue(false);
    Click(p.play());
    EXPECT_EQ(Wx(Work("song.wav")), q->player().LoadedFile());
    Click(p.stop());
    q->watermarked()->SetValue(true);

    // Another track, and the same track saved again, are rendered again.
    Select(p.tracks(), {1});
    Click(p.play());
    EXPECT_EQ(3, Renders());
    Click(p.stop());
    Click(p.play());
    EXPECT_EQ(3, Renders());
    Click(p.stop());
    ASSERT_EQ(0, Shell("touch -d '+1 minute' " + ShellQuote(Work("other.wav"))));
    Click(p.play());
    EXPECT_EQ(4, Renders());
    Click(p.stop());
}

TEST_F(LevelWindow, AFailedRenderIsShownAndTheFilesGoWithTheWindow) {
    MakeSilence(Work("short.wav"), 1.5);
    w->OnFileListDropFiles(Files({"short.wav"}));
    Select(p.tracks(), {0});
    q->watermarked()->SetValue(true);
    wxTEST_DIALOG(Click(p.play()), NoticeExpect("Please add at least one watermark file."));
    EXPECT_FALSE(q->player().IsStarting());

    w->OnWatermarkListDropFiles(Files({"beep.wav"}));
    p.startChoice()->SetSelection(2);
    wxTEST_DIALOG(
        Click(p.play()),
        NoticeExpect(
            "short.wav: Not processed: the track ends before the first watermark at 2 s."));
    EXPECT_FALSE(q->player().IsStarting());
    EXPECT_TRUE(q->player().LoadedFile().empty());

    // Closing a window removes what its previews rendered.
    CMainFormImp* other = NewMainWindow();
    LevelProbe r(*other);
    Probe o(*other);
    other->OnFileListDropFiles(Files({"song.wav"}));
    other->OnWatermarkListDropFiles(Files({"beep.wav"}));
    Select(o.tracks(), {0});
    r.watermarked()->SetValue(true);
    Click(o.play());
    const wxString folder = r.stamped().Folder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(wxFileExists(r.stamped().File()));
    Click(o.stop());
    other->Close(false);
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();
    EXPECT_FALSE(wxDirExists(folder)) << folder;
}

} // namespace
