// Shared helpers for the window's and the engine's tests: temporary bundle
// folders, level measurement, access to the windows' controls, and dialog answers.
#ifndef TESTUTIL_H
#define TESTUTIL_H

#include "MainFormImp.h"
#include "ProcessCompleteImp.h"
#include "SoxHandler.h"
#include "shell.h"

#include <wx/testing.h>
#include <wx/textdlg.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

inline wxString Wx(const std::string& text) {
    return wxString::FromUTF8(text);
}
wxArrayString Strings(std::initializer_list<wxString> texts);
// Replaces the file with bytes that no decoder takes for audio.
void Spoil(const std::string& path, int bytes = 20000);

// Sets sox up to watermark track into folder: the watermarks cycling from
// start seconds every interval seconds, written as format.
void PrepareWatermarking(CSoxHandler& sox, const std::string& track,
                         const std::vector<std::string>& watermarks, const std::string& folder,
                         int start = 1, int interval = 5, const wxString& format = "WAV");
// sox's first message line, or nothing.
inline wxString FirstLine(CSoxHandler& sox) {
    return sox.GetErrors().empty() ? wxString() : sox.GetErrors()[0];
}

// Records every SoX command the engine runs while it exists; also hands each to also.
class CommandLog {
public:
    explicit CommandLog(std::function<void(const wxString&)> also = nullptr);
    ~CommandLog() { CSoxHandler::s_commandObserver = nullptr; }
    // Commands that mixed a track with its watermarks.
    size_t Mixes() const;
    wxArrayString commands;
};

// Each test runs in a fresh folder that holds a Velisto.app bundle (the one the
// build laid out) and empty folders in/, wm/ and out/, with HOME (so the
// settings file starts empty) and TMPDIR pointing at fresh folders too.
// Nothing is shared with tests running beside it.
class BundleTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string Work(const std::string& name) const { return m_dir / name; }
    std::string Home() const { return m_dir / "home"; }
    // Work paths of the names.
    wxArrayString Files(std::initializer_list<std::string> names) const;
    void MakeFolders(std::initializer_list<std::string> names) const;
    // A run's settings: the first watermark at 1 s, then every 5 s, into out/.
    RenderSettings RunSettings(OutputFormat format = OutputFormat::Wav) const;

    TempDir m_dir;

private:
    wxString m_oldCwd, m_oldHome, m_oldTmp;
};

// A shown main window made as the application makes it, at its own size.
CMainFormImp* NewMainWindow();

// Destroys a window and lets the toolkit finish with it.
struct DestroyWindow {
    void operator()(wxWindow* window) const;
};
// A main window made as the application makes it, destroyed with the guard.
struct MainWindow : std::unique_ptr<CMainFormImp, DestroyWindow> {
    MainWindow() : unique_ptr(NewMainWindow()) {}
};

// Processes pending events until pred holds or timeoutMs passes; true when it held.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs);
inline void Pump(int ms) {
    WaitUntil([] { return false; }, ms);
}

// Sends the click event a button sends when used.
void Click(wxWindow* button);
// Moves the slider and sends the scroll event a user's move sends.
void Slide(wxSlider* slider, int position, wxEventType type = wxEVT_SCROLL_THUMBTRACK);

// Sets a spin control as a user does, with the event that sends.
void Spin(wxSpinCtrl* spin, int value);
// Chooses an entry as a user does, with the event that sends.
void Choose(wxChoice* choice, int selection);
inline void Choose(wxChoice* choice, const wxString& item) {
    Choose(choice, choice->FindString(item));
}
// Selects exactly the given rows.
void Select(wxListCtrl* list, std::initializer_list<long> rows);
// One column of every row, comma-separated ("1,2,3").
wxString Column(wxListCtrl* list, int column);

// A modal dialog of type Dialog, expected with wxTEST_DIALOG: answer checks
// it, acts on it and returns what ShowModal returns.
template <class Dialog> class Answer : public wxExpectModalBase<Dialog, Answer<Dialog>> {
public:
    explicit Answer(std::function<int(Dialog*)> answer) : m_answer(std::move(answer)) {}

protected:
    int OnInvoked(Dialog* dialog) const override { return m_answer(dialog); }

private:
    std::function<int(Dialog*)> m_answer;
};

// A message box with exactly this text and the program's name as caption,
// answered with answer; or, given seen, one whose text goes to *seen.
Answer<wxMessageDialog> MessageExpect(const wxString& text, int answer = wxID_OK);
Answer<wxMessageDialog> MessageExpect(wxString* seen);

// A text prompt with this title and message, offering offered: types typed
// and answers with answer.
Answer<wxTextEntryDialog> TextEntryExpect(const wxString& title, const wxString& message,
                                          const wxString& offered, const wxString& typed,
                                          int answer = wxID_OK);

// Every setting of a preset in a few lines, for comparing presets in one check.
std::string Describe(const Preset& preset);

// Access to the window's controls and its settings.
struct Controls {};
template <> struct MainWindowProbe<Controls> {
    MainWindowProbe() = default;
    explicit MainWindowProbe(CMainFormImp& window) : w(&window) {}
    CMainFormImp* w = nullptr;

    wxListCtrl* tracks() const { return w->m_trackList; }
    wxListCtrl* watermarks() const { return w->m_watermarkList; }
    wxButton* trackDelete() const { return w->m_trackDeleteButton; }
    wxButton* trackUp() const { return w->m_trackUpButton; }
    wxButton* trackDown() const { return w->m_trackDownButton; }
    wxButton* trackClear() const { return w->m_trackClearButton; }
    wxButton* watermarkDelete() const { return w->m_watermarkDeleteButton; }
    wxButton* watermarkUp() const { return w->m_watermarkUpButton; }
    wxChoice* presetChoice() const { return w->m_presetChoice; }
    wxButton* deletePreset() const { return w->m_deletePresetButton; }
    wxButton* savePreset() const { return w->m_savePresetButton; }
    wxButton* loadPreset() const { return w->m_loadPresetButton; }
    wxMediaCtrl* media() const { return w->m_media.Current(); }
    const MediaControl& mediaControl() const { return w->m_media; }
    wxBitmapButton* play() const { return w->m_playButton; }
    wxBitmapButton* stop() const { return w->m_stopButton; }
    wxSlider* volume() const { return w->m_volumeSlider; }
    wxChoice* startChoice() const { return w->m_startChoice; }
    wxChoice* repeatChoice() const { return w->m_repeatChoice; }
    wxSlider* level() const { return w->m_levelSlider; }
    wxStaticText* levelLabel() const { return w->m_levelLabel; }
    wxChoice* levelMode() const { return w->m_levelModeChoice; }
    wxChoice* dip() const { return w->m_dipChoice; }
    wxSpinCtrl* vary() const { return w->m_varySpin; }
    wxCheckBox* watermarked() const { return w->m_watermarkedCheckBox; }
    WaveformStrip* strip() const { return w->m_waveformStrip; }
    const StampedPreview& stamped() const { return w->m_stampedPreview; }
    wxCheckBox* mono() const { return w->m_monoCheckBox; }
    wxCheckBox* merge() const { return w->m_mergeCheckBox; }
    wxRadioButton* wav() const { return w->m_wavRadio; }
    wxRadioButton* aiff() const { return w->m_aiffRadio; }
    wxRadioButton* flac() const { return w->m_flacRadio; }
    wxRadioButton* ogg() const { return w->m_oggRadio; }
    wxChoice* clip() const { return w->m_clipChoice; }
    wxTextCtrl* clipStart() const { return w->m_clipStartText; }
    wxChoice* clipFade() const { return w->m_clipFadeChoice; }
    wxSlider* quality() const { return w->m_qualitySlider; }
    wxStaticText* qualityLabel() const { return w->m_qualityLabel; }
    wxStaticText* outputFolderLabel() const { return w->m_outputFolderLabel; }
    wxChoice* affixChoice() const { return w->m_affixChoice; }
    wxTextCtrl* affixText() const { return w->m_affixText; }
    wxButton* go() const { return w->m_goButton; }
    wxButton* recipients() const { return w->m_recipientsButton; }
    wxStaticText* recipientsLabel() const { return w->m_recipientsLabel; }
    wxStaticText* measureLabel() const { return w->m_measureLabel; }
    wxButton* measureStop() const { return w->m_measureStopButton; }
    // From an add until its files are measured and any refusal told.
    bool measuring() const { return w->m_listMeasure.Busy(); }

    // The settings as the controls show them.
    Preset preset() const { return w->PresetFromControls(); }
    // Shows a preset as loading one does.
    void show(const Preset& preset) const { w->ShowPreset(preset); }
    // What GO! would run with.
    RenderSettings runSettings() const { return w->RunSettings(); }
    LeakCheck& leakCheck() const { return w->m_leakCheck; }
    bool identifying() const { return w->m_leakCheck.Running(); }
    // Sets the output folder as the folder dialog does.
    void setFolder(const std::string& folder) const { w->SetOutputFolder(Wx(folder)); }
    const PreviewPlayer& player() const { return w->m_player; }
    const wxBitmap& playBitmap() const { return w->m_playBitmap; }
    const wxBitmap& pauseBitmap() const { return w->m_pauseBitmap; }
    const wxBitmap& resumeBitmap() const { return w->m_resumeBitmap; }
};
using Probe = MainWindowProbe<Controls>;

// Runs the event loop until the files added to the window's lists are
// measured and any refusal told; true when that happened within timeoutMs.
bool Measured(const Probe& p, int timeoutMs = 60000);

// A BundleTest with the main window open for the whole case, as w and p.
class WindowTest : public BundleTest {
protected:
    void SetUp() override {
        BundleTest::SetUp();
        if (HasFatalFailure())
            return;
        w.reset(NewMainWindow());
        p.w = w.get();
    }
    // The window goes before HOME is restored: it may write its settings as it closes.
    void TearDown() override {
        w.reset();
        BundleTest::TearDown();
    }

    std::unique_ptr<CMainFormImp, DestroyWindow> w;
    Probe p;
};

// Access to the results dialog's controls.
struct ResultsControls {};
template <> struct ResultsDialogProbe<ResultsControls> {
    ProcessCompleteImp& d;
    wxButton* goToFolder() const { return d.m_goToFolderButton; }
    wxButton* close() const { return d.m_closeButton; }
    const wxString& folder() const { return d.m_resultFolder; }
    // The listed lines, top to bottom.
    wxArrayString lines() const;
};
using ResultsProbe = ResultsDialogProbe<ResultsControls>;

// Answers the results dialog: notes its title, its folder and its lines (top
// to bottom) in *seen, and closes it.
Answer<ProcessCompleteImp> ResultsExpect(wxArrayString* seen);

#endif
