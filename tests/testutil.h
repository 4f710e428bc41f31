// Shared helpers for the tests: temporary bundle folders, audio made with SoX,
// level measurement, access to the windows' controls, and dialog answers.
#ifndef TESTUTIL_H
#define TESTUTIL_H

#include "MainFormImp.h"
#include "ProcessCompleteImp.h"
#include "SoxHandler.h"

#include <wx/testing.h>
#include <wx/textdlg.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Runs a shell command, returns its exit status; output (stdout and stderr) in *output.
int Shell(const std::string& command, std::string* output = nullptr);
// Quotes text for /bin/sh.
std::string ShellQuote(const std::string& text);
inline wxString Wx(const std::string& text) {
    return wxString::FromUTF8(text);
}
wxArrayString Strings(std::initializer_list<wxString> texts);
// The file's bytes; empty when it cannot be read.
std::string Contents(const std::string& path);
// Replaces the file with bytes that no decoder takes for audio.
void Spoil(const std::string& path, int bytes = 20000);

// Makes an audio file with `sox -n -r RATE -c CHANNELS PATH synth SECONDS SYNTH...`.
// synth is the rest of the synth effect, for example "sine 440" or "whitenoise".
void MakeTone(const std::string& path, double seconds, const std::string& synth = "sine 440",
              int rate = 44100, int channels = 2);
// A silent file of the given length.
void MakeSilence(const std::string& path, double seconds, int rate = 44100, int channels = 2);

struct AudioInfo {
    int rate = 0;
    int channels = 0;
    double seconds = 0;
    int kbits = 0; // bit rate as soxi reports it, 0 when it reports none
};
AudioInfo Inspect(const std::string& path);

// Largest absolute sample value in [start, start + duration) seconds (0..1).
double PeakIn(const std::string& path, double start, double duration);
// Peak level (0..1) of each block of blockSeconds of one channel (1-based),
// or of all channels averaged when channel is 0. Empty when SoX cannot read the file.
std::vector<double> BlockPeaks(const std::string& path, double blockSeconds = 0.1, int channel = 0);

// Sets sox up to watermark track into folder: the watermarks cycling from
// start seconds every interval seconds, written as format.
void PrepareWatermarking(CSoxHandler& sox, const std::string& track,
                         const std::vector<std::string>& watermarks, const std::string& folder,
                         int start = 1, int interval = 5, const wxString& format = "WAV");
// sox's first message line, or nothing.
wxString FirstLine(CSoxHandler& sox);

// Records every SoX command the engine runs while it exists; also hands each to also.
class CommandLog {
public:
    explicit CommandLog(std::function<void(const wxString&)> also = nullptr);
    ~CommandLog();
    wxArrayString commands;
};

// A temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Each test runs in a fresh folder that holds a Velisto.app bundle (the one the
// build laid out), with HOME pointing at a fresh folder too, so the
// configuration file starts empty.
class BundleTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string Work(const std::string& name) const { return m_dir / name; }
    std::string Home() const { return m_dir / "home"; }
    // Work paths of the names.
    wxArrayString Files(std::initializer_list<std::string> names) const;
    void MakeFolders(std::initializer_list<std::string> names) const;

    TempDir m_dir;

private:
    std::string m_oldCwd;
    std::string m_oldHome;
};

// A shown main window made as the application makes it.
CMainFormImp* NewMainWindow();

// Creates the main window as the application does; destroys it with the guard.
class MainWindow {
public:
    MainWindow() : m_window(NewMainWindow()) {}
    ~MainWindow();
    CMainFormImp* operator->() const { return m_window; }
    CMainFormImp& operator*() const { return *m_window; }
    CMainFormImp* get() const { return m_window; }

private:
    CMainFormImp* m_window;
};

// Processes pending events until pred holds or timeoutMs passes; true when it held.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs);
// Processes events for the given time.
void Pump(int ms);

// Sends the command event a control sends when used: a click by default.
void Send(wxWindow* control, wxEventType type = wxEVT_BUTTON, int value = 0);
inline void Click(wxWindow* button) {
    Send(button);
}
// Moves the slider and sends the scroll event a user's move sends.
void Slide(wxSlider* slider, int position, wxEventType type = wxEVT_SCROLL_THUMBTRACK);

// Selects exactly the given rows.
void Select(wxListCtrl* list, std::initializer_list<long> rows);
// Column text of a list row.
wxString Cell(wxListCtrl* list, long row, int column);
// One column of every row, comma-separated ("1,2,3").
wxString Column(wxListCtrl* list, int column);
// Path object attached to a list row.
wxString RowPath(wxListCtrl* list, long row);

// A message box with exactly this text and the default caption, answered with answer.
class MessageExpect : public wxExpectModalBase<wxMessageDialog, MessageExpect> {
public:
    explicit MessageExpect(const wxString& text, int answer = wxID_OK)
        : m_text(text), m_answer(answer) {}
    // Message boxes answered so far in the run.
    static int Shown() { return s_shown; }

protected:
    int OnInvoked(wxMessageDialog* dialog) const override;
    wxString GetDefaultDescription() const override { return "message \"" + m_text + "\""; }

private:
    wxString m_text;
    int m_answer;
    static int s_shown;
};

// A text prompt with this title and message, offering offered: types typed
// and answers with answer.
class TextEntryExpect : public wxExpectModalBase<wxTextEntryDialog, TextEntryExpect> {
public:
    TextEntryExpect(const wxString& title, const wxString& message, const wxString& offered,
                    const wxString& typed, int answer = wxID_OK)
        : m_title(title), m_message(message), m_offered(offered), m_typed(typed), m_answer(answer) {
    }

protected:
    int OnInvoked(wxTextEntryDialog* dialog) const override;

private:
    wxString m_title, m_message, m_offered, m_typed;
    int m_answer;
};

// Access to the window's controls and working settings.
struct Controls {};
template <> struct MainWindowProbe<Controls> {
    MainWindowProbe() = default;
    explicit MainWindowProbe(CMainFormImp& window) : w(&window) {}
    CMainFormImp* w = nullptr;

    wxListCtrl* tracks() const { return w->m_trackList; }
    wxListCtrl* watermarks() const { return w->m_watermarkList; }
    wxButton* trackAdd() const { return w->m_trackAddButton; }
    wxButton* trackDelete() const { return w->m_trackDeleteButton; }
    wxButton* trackUp() const { return w->m_trackUpButton; }
    wxButton* trackDown() const { return w->m_trackDownButton; }
    wxButton* trackClear() const { return w->m_trackClearButton; }
    wxButton* watermarkAdd() const { return w->m_watermarkAddButton; }
    wxButton* watermarkDelete() const { return w->m_watermarkDeleteButton; }
    wxButton* watermarkUp() const { return w->m_watermarkUpButton; }
    wxButton* watermarkDown() const { return w->m_watermarkDownButton; }
    wxButton* watermarkClear() const { return w->m_watermarkClearButton; }
    wxChoice* presetChoice() const { return w->m_presetChoice; }
    wxButton* deletePreset() const { return w->m_deletePresetButton; }
    wxButton* savePreset() const { return w->m_savePresetButton; }
    wxButton* loadPreset() const { return w->m_loadPresetButton; }
    wxMediaCtrl* media() const { return w->m_mediaCtrl; }
    wxBitmapButton* play() const { return w->m_playButton; }
    wxBitmapButton* stop() const { return w->m_stopButton; }
    wxSlider* volume() const { return w->m_volumeSlider; }
    wxChoice* startChoice() const { return w->m_startChoice; }
    wxRadioBox* repeatChoice() const { return w->m_repeatChoice; }
    wxCheckBox* mono() const { return w->m_monoCheckBox; }
    wxCheckBox* merge() const { return w->m_mergeCheckBox; }
    wxRadioButton* mp3() const { return w->m_mp3Radio; }
    wxRadioButton* wav() const { return w->m_wavRadio; }
    wxRadioButton* aiff() const { return w->m_aiffRadio; }
    wxSlider* quality() const { return w->m_qualitySlider; }
    wxStaticText* qualityLabel() const { return w->m_qualityLabel; }
    wxStaticText* outputFolderLabel() const { return w->m_outputFolderLabel; }
    wxButton* outputFolderButton() const { return w->m_outputFolderButton; }
    wxChoice* affixChoice() const { return w->m_affixChoice; }
    wxTextCtrl* affixText() const { return w->m_affixText; }
    wxButton* go() const { return w->m_goButton; }
    wxStaticBitmap* logo() const { return w->m_logoBitmap; }

    RenderSettings settings() const { return SettingsFromPreset(w->PresetFromControls()); }
    wxString& outputFolder() const { return w->m_outputFolder; }
    PreviewPlayer& player() const { return w->m_player; }
    wxBitmap& playBitmap() const { return w->m_playBitmap; }
    wxBitmap& pauseBitmap() const { return w->m_pauseBitmap; }
    wxBitmap& resumeBitmap() const { return w->m_resumeBitmap; }
    wxFileConfig& config() const { return w->m_config; }
};
using Probe = MainWindowProbe<Controls>;

// A BundleTest with the main window open for the whole case, as w and p.
class WindowTest : public BundleTest {
protected:
    void SetUp() override;
    void TearDown() override;

    CMainFormImp* w = nullptr;
    Probe p;

private:
    std::unique_ptr<MainWindow> m_window;
};

// Access to the results dialog's controls.
struct ResultsControls {};
template <> struct ResultsDialogProbe<ResultsControls> {
    explicit ResultsDialogProbe(ProcessCompleteImp& d) : d(d) {}
    ProcessCompleteImp& d;

    wxStaticText* label() const { return d.m_resultsLabel; }
    wxListCtrl* list() const { return d.m_resultsList; }
    wxButton* goToFolder() const { return d.m_goToFolderButton; }
    wxButton* close() const { return d.m_closeButton; }
    const wxString& folder() const { return d.m_resultFolder; }
    // The listed lines, top to bottom.
    wxArrayString lines() const;
};
using ResultsProbe = ResultsDialogProbe<ResultsControls>;

// Answers the results dialog: stores its lines (top to bottom) and folder in
// *seen, then closes it with id.
struct SeenResults {
    wxArrayString lines;
    wxString folder;
    wxString title;
    int shown = 0;
};
class ResultsExpect : public wxExpectModalBase<ProcessCompleteImp, ResultsExpect> {
public:
    explicit ResultsExpect(SeenResults* seen, int id = wxID_CLOSE) : m_seen(seen), m_id(id) {}

protected:
    int OnInvoked(ProcessCompleteImp* dlg) const override;

private:
    SeenResults* m_seen;
    int m_id;
};

#endif
