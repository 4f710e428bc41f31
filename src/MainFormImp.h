#ifndef MAINFORMIMP_H
#define MAINFORMIMP_H

#include "SoxHandler.h"
#include "mainform.h"

#include <wx/dnd.h>
#include <wx/fileconf.h>
#include <wx/timer.h>

#include <functional>
#include <vector>

class CMainFormImp;
template <typename Tag> struct MainWindowProbe;

// MP3 bitrates in kbit/s, indexed by the quality slider's position.
extern const int g_sliderToBitrate[10];
// The protected preset.
extern const wxString g_defaultPreset;
// Longest watermark sound accepted, in whole seconds.
extern const int g_maxWatermarkSeconds;

// The name a typed preset name is stored under (blanks trimmed at both ends).
// error is empty when the name can be used, else says why not.
wxString CheckPresetName(const wxString& typed, wxString& error);

// One list row, held while a move rebuilds the list.
struct ITEM_DATA {
    wxString fileName;
    wxString fileSize;
    wxString fileLength;
    wxUIntPtr itemData;
    bool isSelected;
};

// Move passes over a snapshot of count rows, top to bottom. Each selected row
// changes place with an unselected neighbour above it (Up) or below it (Down);
// a selected run already at that edge of the list stays where it is.
void ExchangeSelectedUp(std::vector<ITEM_DATA>& records, int count);
void ExchangeSelectedDown(std::vector<ITEM_DATA>& records, int count);

// Entries of the Start After and Repeat Every selectors, positions of the quality slider.
constexpr int g_startChoiceCount = 13;
constexpr int g_repeatChoiceCount = 3;
constexpr int g_qualityPositionCount = 10;
// Seconds before the first watermark for a Start After entry; -1 for an index with no entry.
int StartSecondsForIndex(int index);
// Seconds between watermarks for a Repeat Every entry; -1 for an index with no entry.
int RepeatSecondsForIndex(int index);
// MP3 bitrate in kbit/s for a quality slider position; -1 for a position outside the slider.
int BitrateForSliderPosition(int position);

// Accepts files dropped from the desktop onto one of the two lists.
class DnDFile : public wxFileDropTarget {
public:
    DnDFile(CMainFormImp* owner, wxListCtrl* list) : m_owner(owner), m_list(list) {}
    bool OnDropFiles(wxCoord x, wxCoord y, const wxArrayString& filenames) override;

private:
    CMainFormImp* m_owner;
    wxListCtrl* m_list;
};

// The product website, without a trailing slash; page paths are appended to it.
inline const wxString g_websiteBase = "https://www.example.com";
// The maker's social-media pages.
inline const wxString g_facebookPage = "https://www.example.com/fenwaro/facebook";
inline const wxString g_twitterPage = "https://www.example.com/fenwaro/twitter";
inline const wxString g_googlePlusPage = "https://www.example.com/fenwaro/googleplus";

// Shows address in the user's default browser. The outcome is not reported:
// a browser that cannot be started leaves the program as it was.
void OpenWebPage(const wxString& address);

// When set, OpenWebPage hands the address to this instead of starting a
// browser; tests use it to see which page would open.
extern std::function<void(const wxString&)> g_webPageOpener;

class MenuBarImp : public MenuBar {
public:
    MenuBarImp(CMainFormImp* mainForm, long style);

protected:
    void OnAbout(wxCommandEvent& event) override;
    void OnVisitWebsite(wxCommandEvent& event) override;
    void OnQuitMenu(wxCommandEvent& event) override;
    void OnMenuCheckForUpdate(wxCommandEvent& event) override;
    void OnMenuTutorial(wxCommandEvent& event) override;
    void OnMenuFeedback(wxCommandEvent& event) override;
    void OnMenuFAQ(wxCommandEvent& event) override;
    void OnMenuSupport(wxCommandEvent& event) override;
    void OnMenuFacebook(wxCommandEvent& event) override;
    void OnMenuTwitter(wxCommandEvent& event) override;
    void OnMenuGoogle(wxCommandEvent& event) override;

private:
    CMainFormImp* m_mainForm;
};

// The main window's behaviour.
class CMainFormImp : public MainForm, public CProgressCallback {
public:
    CMainFormImp(wxWindow* parent, int id, const wxString& title, const wxPoint& pos,
                 const wxSize& size, long style);
    ~CMainFormImp() override;

    // Lists
    virtual void OnFileListDropFiles(const wxArrayString& paths);
    virtual void OnWatermarkListDropFiles(const wxArrayString& paths);
    void DeleteItemsFromList(wxListCtrl* list);
    void MoveItemsUp(wxListCtrl* list);
    void MoveItemsDown(wxListCtrl* list);
    wxListCtrl* GetFileList() { return m_trackList; }
    wxListCtrl* GetWatermarkList() { return m_watermarkList; }

    // Presets
    void CreatePreset(const wxString& name);
    bool LoadPreset(const wxString& name);
    void CreatePresetWithWatermark(const wxString& name, const wxString& file);
    void ReadPresets(const wxString& select);
    void SetPresetChoice(const wxString& select);

    void OnProgressUpdate(int) override {}

    // Player
    // Play button while something plays: pauses, or resumes when paused.
    virtual void OnButtonPauseClick(wxCommandEvent& event);
    // End of the start delay: starts playback, or reports a file the player cannot read.
    virtual void OnTimer(wxTimerEvent& event);
    // Once a second while playing or paused: notices that the player has stopped.
    virtual void OnTimerCheckState(wxTimerEvent& event);

    // Event handlers are public so that tests can drive the window as a user would.
    void OnDeletePreset(wxCommandEvent& event) override;
    void OnSavePresetButton(wxCommandEvent& event) override;
    void OnLoadPreset(wxCommandEvent& event) override;
    void OnDeleteListItem(wxListEvent& event) override;
    void OnFileListKeyDown(wxListEvent& event) override;
    void OnFileListAddFiles(wxCommandEvent& event) override;
    void OnFileListDelete(wxCommandEvent& event) override;
    void OnFileListMoveUp(wxCommandEvent& event) override;
    void OnFileListMoveDown(wxCommandEvent& event) override;
    void OnClearFileList(wxCommandEvent& event) override;
    void OnButtonPlayClick(wxCommandEvent& event) override;
    void OnButtonStopClick(wxCommandEvent& event) override;
    void OnVolumeChange(wxScrollEvent& event) override;
    void OnStartChoice(wxCommandEvent& event) override;
    void OnRepeatChoice(wxCommandEvent& event) override;
    void OnWatermarkListKeyDown(wxListEvent& event) override;
    void OnWatermarkListAddFiles(wxCommandEvent& event) override;
    void OnWatermarkListDelete(wxCommandEvent& event) override;
    void OnWatermarkMoveUp(wxCommandEvent& event) override;
    void OnWatermarkListMoveDown(wxCommandEvent& event) override;
    void OnWatermarkListClear(wxCommandEvent& event) override;
    void OnAudioFormatClick(wxCommandEvent& event) override;
    void OnChangeQuality(wxScrollEvent& event) override;
    void ChooseOutputFolderClicked(wxCommandEvent& event) override;
    void OnGoClicked(wxCommandEvent& event) override;

    // Tests reach the controls and settings through specialisations of this.
    template <typename Tag> friend struct MainWindowProbe;

private:
    // Measures each existing file and appends a row for it. With
    // maxWholeSeconds >= 0, a longer file ends the call with a message; rows
    // added before it stay.
    void AddFilesToList(wxListCtrl* list, const wxArrayString& paths, int maxWholeSeconds);

    // The full paths of a list's rows, top to bottom.
    static wxArrayString ListPaths(wxListCtrl* list);
    // Removes every row and releases each row's path object once.
    void ClearList(wxListCtrl* list);
    // Shows the add-files dialog; false when cancelled, else the chosen paths.
    bool ChooseFilesToAdd(wxArrayString& paths);
    // Deletes the row a Delete or Backspace key event names; skips other keys.
    void DeleteFocusedRow(wxListCtrl* list, wxListEvent& event);
    // Moves the selected rows one place, keeping their path objects and selection.
    void MoveItems(wxListCtrl* list, bool up);

    // Output settings
    // Sets every working setting (not the folder) from what the controls show.
    void DeriveWorkingSettings();
    // Bitrate and its label for a slider position; an invalid position changes nothing.
    void ApplyQualityPosition(int position);
    // Format and slider state for the format button with this identifier.
    void ApplyFormatButton(int id);
    // Sets the output folder and shows it in its label.
    void SetOutputFolder(const wxString& folder);

    // Processing run
    // Asks for the merged file's name; false (after a message when the name is
    // unusable) when nothing should run. Otherwise mergedPath is in the output folder.
    bool AskMergedPath(const wxArrayString& listed, wxString& mergedPath);
    // Why track row (of tracks) must not be written to output in this run, or
    // empty: output is a listed track's file or was written earlier in the run.
    static wxString OutputConflict(const wxArrayString& tracks, size_t row, const wxString& output,
                                   const wxArrayString& written);

    // Presets: create or load "Default Preset", add missing shipped presets,
    // fill the selector.
    void StartPresets();
    // Yes/No question over the window; true for Yes.
    bool Confirm(const wxString& question);
    // Name typed for a new preset, trimmed; empty when cancelled or refused
    // (after a message saying why).
    wxString AskPresetName();

    // Working settings
    int m_start;
    int m_repeatEvery;
    int m_outputBitrate;
    wxString m_outputFormat;
    wxString m_outputFolder;

    // Lists
    std::vector<ITEM_DATA> m_itemDataPool;
    int m_itemCount;

    // Player
    // A one-shot timer whose expiry runs one of the window's handlers.
    class HandlerTimer : public wxTimer {
    public:
        HandlerTimer(CMainFormImp* owner, void (CMainFormImp::*handler)(wxTimerEvent&))
            : m_owner(owner), m_handler(handler) {}
        void Notify() override {
            wxTimerEvent event(*this);
            (m_owner->*m_handler)(event);
        }

    private:
        CMainFormImp* m_owner;
        void (CMainFormImp::*m_handler)(wxTimerEvent&);
    };
    // Shows bitmap on the play button; a picture that failed to load is skipped.
    void ShowPlayPicture(const wxBitmap& bitmap);
    // Back to Idle: play picture, nothing playing, no timer running.
    void ReturnToIdle();
    void OnMediaLoaded(wxMediaEvent& event);

    bool m_isPlaying;
    wxBitmap m_playBitmap;
    wxBitmap m_pauseBitmap;
    wxBitmap m_resumeBitmap;
    HandlerTimer m_startDelayTimer{this, &CMainFormImp::OnTimer};
    HandlerTimer m_stateCheckTimer{this, &CMainFormImp::OnTimerCheckState};
    // The back end has taken up the file given to the last Load.
    bool m_mediaAnnounced = false;
    // Start delays added while waiting for the back end to take up the file.
    int m_extraStartDelays = 0;

    // Presets
    wxFileConfig m_config;
    wxArrayString m_presetNames;
};

#endif
