// The main window's behaviour: lists, player, output settings, presets and the run.
#ifndef MAINFORMIMP_H
#define MAINFORMIMP_H

#include "EnvelopeCache.h"
#include "LeakCheck.h"
#include "ListMeasure.h"
#include "PresetStore.h"
#include "MediaControl.h"
#include "PreviewPlayer.h"
#include "RenderRun.h"
#include "SettingsControls.h"
#include "SettingsFile.h"
#include "StampedPreview.h"
#include "WaveformStrip.h"
#include "mainform.h"

#include <wx/dnd.h>
#include <wx/fileconf.h>
#include <wx/timer.h>

#include <functional>
#include <map>
#include <utility>
#include <vector>

class CMainFormImp;
template <typename Tag> struct MainWindowProbe;

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

// Accepts files dropped from the desktop onto one of the two lists.
class DnDFile : public wxFileDropTarget {
public:
    DnDFile(CMainFormImp* owner, wxListCtrl* list) : m_owner(owner), m_list(list) {}
    bool OnDropFiles(wxCoord x, wxCoord y, const wxArrayString& filenames) override;

private:
    CMainFormImp* m_owner;
    wxListCtrl* m_list;
};

class MenuBarImp : public MenuBar {
public:
    MenuBarImp(CMainFormImp* mainForm, long style);

protected:
    void OnAbout(wxCommandEvent& event) override;
    void OnVisitWebsite(wxCommandEvent& event) override;
    void OnQuitMenu(wxCommandEvent& event) override;
    void OnIdentifyLeak(wxCommandEvent& event) override;
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

// The main window's behaviour: its handlers, and the mapping between its
// controls and the settings records. The run, the presets file and the
// player's logic live in RenderRun, PresetStore and PreviewPlayer.
class CMainFormImp : public MainForm, private PreviewPlayer::View {
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
    void ReadPresets(const wxString& select);
    void SetPresetChoice(const wxString& select);

    // Asks for a copy and the manifest of the run that made it, and tells
    // whose copy it is; the window keeps drawing meanwhile.
    void IdentifyLeakedCopy();

    // Play button while something plays: pauses, or resumes when paused.
    virtual void OnButtonPauseClick(wxCommandEvent& event);

    // Event handlers are public so that tests can drive the window as a user would.
    void OnDeletePreset(wxCommandEvent& event) override;
    void OnSavePresetButton(wxCommandEvent& event) override;
    void OnLoadPreset(wxCommandEvent& event) override;
    void OnDeleteListItem(wxListEvent& event) override;
    void OnFileListKeyDown(wxListEvent& event) override;
    void OnTrackSelectionChange(wxListEvent& event) override;
    void OnFileListAddFiles(wxCommandEvent& event) override;
    void OnFileListDelete(wxCommandEvent& event) override;
    void OnFileListMoveUp(wxCommandEvent& event) override;
    void OnFileListMoveDown(wxCommandEvent& event) override;
    void OnClearFileList(wxCommandEvent& event) override;
    void OnStopMeasuring(wxCommandEvent& event) override;
    void OnButtonPlayClick(wxCommandEvent& event) override;
    void OnButtonStopClick(wxCommandEvent& event) override;
    void OnVolumeChange(wxScrollEvent& event) override;
    void OnWaveformClick(wxCommandEvent& event) override;
    void OnStartChoice(wxCommandEvent& event) override;
    void OnRepeatChoice(wxCommandEvent& event) override;
    void OnVaryChange(wxCommandEvent& event) override;
    void OnWatermarkListKeyDown(wxListEvent& event) override;
    void OnWatermarkListAddFiles(wxCommandEvent& event) override;
    void OnWatermarkListDelete(wxCommandEvent& event) override;
    void OnWatermarkMoveUp(wxCommandEvent& event) override;
    void OnWatermarkListMoveDown(wxCommandEvent& event) override;
    void OnWatermarkListClear(wxCommandEvent& event) override;
    void OnAudioFormatClick(wxCommandEvent& event) override;
    void OnChangeQuality(wxScrollEvent& event) override;
    void OnClipChoice(wxCommandEvent& event) override;
    void OnClipStartText(wxCommandEvent& event) override;
    void OnLevelChange(wxScrollEvent& event) override;
    void OnLevelModeChoice(wxCommandEvent& event) override;
    void OnDipChoice(wxCommandEvent& event) override;
    void ChooseOutputFolderClicked(wxCommandEvent& event) override;
    void OnRecipientsClick(wxCommandEvent& event) override;
    void OnGoClicked(wxCommandEvent& event) override;

    // Tests reach the controls and settings through specialisations of this.
    template <typename Tag> friend struct MainWindowProbe;

private:
    // Lists
    // Shows the add-files dialog; false when cancelled, else the chosen paths.
    bool ChooseFilesToAdd(wxArrayString& paths);
    // Deletes the row a Delete or Backspace key event names; skips other keys.
    void DeleteFocusedRow(wxListCtrl* list, wxListEvent& event);
    // Moves the selected rows one place, keeping their path objects and selection.
    void MoveItems(wxListCtrl* list, bool up);
    // Removes every row of list, measured or not.
    void ClearList(wxListCtrl* list);
    // The count of files measured, with its Stop button; GO! waits meanwhile.
    void ShowMeasuring(size_t done, size_t total);
    // Measuring is over: the count goes, GO! is back, refused files are named.
    void EndMeasuring(const wxString& refused);

    // Settings: the controls are the one copy; these read and set them,
    // the output folder and the watermark list included.
    Preset PresetFromControls() const;
    void ShowPreset(const Preset& preset);
    // False, after telling the user, when a clip is chosen and its start
    // cannot be read.
    bool CheckClipStart();
    // Sets the output folder and shows it in its label.
    void SetOutputFolder(const wxString& folder);

    // What GO! runs with: the settings shown and the recipients chosen.
    RenderSettings RunSettings() const;
    // Asks for the merged file's name (the first track's name offered); false when cancelled.
    bool AskMergeName(wxString& name);

    // Presets: create or load "Default Preset", add missing shipped presets,
    // fill the selector.
    void StartPresets();

    // PreviewPlayer::View
    void ShowPicture(PreviewPlayer::Picture picture) override;
    void ShowMessage(const wxString& text) override;
    // Plays the selected track (its stamped render when "Watermarked" is
    // ticked) from ms milliseconds into it; below 0, as the play button does.
    void PlaySelected(long ms);

    // Waveform strip
    // The path of the first selected track, or empty.
    wxString SelectedTrack() const;
    // The path object of the first selected track's row, or null.
    const wxString* SelectedRowPath() const;
    // Shows the selected track on the strip: the part a render writes, where
    // its watermarks go under the settings shown, and its waveform once read;
    // starts reading it when it is not known.
    void ShowTrackOnStrip();
    // The strip's plan for track under the settings shown.
    StripPlan StripPlanFor(const wxString& track) const;
    // Reads track's envelope in the background, as it stands now.
    void ReadEnvelope(const wxString& track, const FileStamp& stamp);
    // While playing: moves the strip's line to the player's position.
    void OnPlayheadTimer(wxTimerEvent& event);

    // Runs work that waits for SoX in the event loop (a run, a preview
    // render); cancel ends it early. Closing the window meanwhile
    // cancels the work instead, and the window goes once it has returned.
    // False when that happened: the caller must then leave the controls alone.
    bool WaitFor(const std::function<void()>& work, const std::function<void()>& cancel);
    // Closing ends the measuring of added files at once; closing while work
    // runs cancels it, and the window goes when it has returned.
    void OnClose(wxCloseEvent& event);

    wxString m_outputFolder;
    // The loaded preset's seed of the copies' variation: no control shows it.
    uint32_t m_seed = WatermarkSettings().seed;
    // Per session: the next run's recipients are chosen anew.
    RecipientOptions m_recipients;
    std::function<void()> m_cancelWork; // while WaitFor runs
    bool m_closeAfterWork = false;
    bool m_telling = false; // while the clip start's notice is up

    // Move snapshot
    std::vector<ITEM_DATA> m_itemDataPool;
    int m_itemCount;

    // Player
    wxBitmap m_playBitmap;
    wxBitmap m_pauseBitmap;
    wxBitmap m_resumeBitmap;
    MediaControl m_media;
    PreviewPlayer m_player;
    SettingsControls m_settings;
    // What Play plays when "Watermarked" is ticked; its files go with the window.
    StampedPreview m_stampedPreview;
    // The track the player was last started on, and the second of it that
    // the played file starts at (a clip's, in a stamped render).
    wxString m_playingTrack;
    double m_playingFrom = 0;
    wxTimer m_playheadTimer;

    // Lengths of the files listed, by path.
    std::map<wxString, FileLength> m_lengths;
    // Files added to the lists, measured in the background.
    ListMeasure m_listMeasure;
    // Envelopes of the tracks shown on the strip.
    EnvelopeCache m_envelopes;
    // After what its jobs use: it goes first, and tells no job.
    SoxQueue m_envelopeQueue{1};

    // Presets
    SettingsConfig m_config;
    PresetStore m_presets;
    wxArrayString m_presetNames;

    LeakCheck m_leakCheck;
};

#endif
