// The main window's and the menu bar's layout: controls, sizers, events.
#ifndef MAINFORM_H
#define MAINFORM_H

#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/mediactrl.h>
#include <wx/menu.h>
#include <wx/radiobox.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/spinctrl.h>
#include <wx/statbmp.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

enum {
    ID_MEDIA_CTRL = 1000,
    ID_MP3_RADIO = 1001,
    ID_WAV_RADIO = 1002,
    ID_AIFF_RADIO = 1003,
    ID_QUIT_MENU = 1004,
    ID_FLAC_RADIO = 1005,
    ID_OGG_RADIO = 1006,
    ID_OPUS_RADIO = 1007,
    ID_M4A_RADIO = 1008,
};

class WaveformStrip;

// Layout of the main window: builds the controls and connects their events to
// virtual handlers that the implementation class overrides.
class MainForm : public wxFrame {
public:
    MainForm(wxWindow* parent, int id, const wxString& title, const wxPoint& pos,
             const wxSize& size, long style);
    ~MainForm() override;

    bool Show(bool show = true) override;

protected:
    wxStaticBitmap* m_logoBitmap;
    wxStaticLine* m_topLine;
    wxStaticText* m_step1Label;
    wxButton* m_deletePresetButton;
    wxButton* m_savePresetButton;
    wxButton* m_loadPresetButton;
    wxChoice* m_presetChoice;
    wxListCtrl* m_trackList;
    wxButton* m_trackAddButton;
    wxButton* m_trackDeleteButton;
    wxButton* m_trackUpButton;
    wxButton* m_trackDownButton;
    wxButton* m_trackClearButton;
    wxStaticText* m_measureLabel;
    wxButton* m_measureStopButton;
    wxStaticText* m_previewLabel;
    wxMediaCtrl* m_mediaCtrl;
    wxBitmapButton* m_playButton;
    wxBitmapButton* m_stopButton;
    wxSlider* m_volumeSlider;
    wxCheckBox* m_watermarkedCheckBox;
    WaveformStrip* m_waveformStrip;
    wxStaticLine* m_previewLine;
    wxStaticText* m_step2Label;
    wxStaticText* m_startLabel;
    wxChoice* m_startChoice;
    wxChoice* m_repeatChoice;
    wxSpinCtrl* m_varySpin;
    wxStaticText* m_varyUnit;
    wxStaticText* m_levelLabel;
    wxSlider* m_levelSlider;
    wxChoice* m_levelModeChoice;
    wxChoice* m_dipChoice;
    wxListCtrl* m_watermarkList;
    wxButton* m_watermarkAddButton;
    wxButton* m_watermarkDeleteButton;
    wxButton* m_watermarkUpButton;
    wxButton* m_watermarkDownButton;
    wxButton* m_watermarkClearButton;
    wxStaticText* m_step3Label;
    wxStaticText* m_recipientsLabel;
    wxButton* m_recipientsButton;
    wxCheckBox* m_monoCheckBox;
    wxCheckBox* m_mergeCheckBox;
    wxRadioButton* m_mp3Radio;
    wxRadioButton* m_wavRadio;
    wxRadioButton* m_aiffRadio;
    wxRadioButton* m_flacRadio;
    wxRadioButton* m_oggRadio;
    wxRadioButton* m_opusRadio;
    wxRadioButton* m_m4aRadio;
    wxStaticText* m_qualityCaption;
    wxSlider* m_qualitySlider;
    wxStaticText* m_qualityLabel;
    wxStaticText* m_clipCaption;
    wxChoice* m_clipChoice;
    wxStaticText* m_clipStartLabel;
    wxTextCtrl* m_clipStartText;
    wxChoice* m_clipFadeChoice;
    wxButton* m_outputFolderButton;
    wxStaticText* m_outputFolderLabel;
    wxChoice* m_affixChoice;
    wxTextCtrl* m_affixText;
    wxButton* m_goButton;

    virtual void OnDeletePreset(wxCommandEvent& event) { event.Skip(); }
    virtual void OnSavePresetButton(wxCommandEvent& event) { event.Skip(); }
    virtual void OnLoadPreset(wxCommandEvent& event) { event.Skip(); }
    virtual void OnDeleteListItem(wxListEvent& event) { event.Skip(); }
    virtual void OnFileListKeyDown(wxListEvent& event) { event.Skip(); }
    virtual void OnTrackSelectionChange(wxListEvent& event) { event.Skip(); }
    virtual void OnFileListAddFiles(wxCommandEvent& event) { event.Skip(); }
    virtual void OnFileListDelete(wxCommandEvent& event) { event.Skip(); }
    virtual void OnFileListMoveUp(wxCommandEvent& event) { event.Skip(); }
    virtual void OnFileListMoveDown(wxCommandEvent& event) { event.Skip(); }
    virtual void OnClearFileList(wxCommandEvent& event) { event.Skip(); }
    virtual void OnStopMeasuring(wxCommandEvent& event) { event.Skip(); }
    virtual void OnButtonPlayClick(wxCommandEvent& event) { event.Skip(); }
    virtual void OnButtonStopClick(wxCommandEvent& event) { event.Skip(); }
    virtual void OnVolumeChange(wxScrollEvent& event) { event.Skip(); }
    virtual void OnWaveformClick(wxCommandEvent& event) { event.Skip(); }
    virtual void OnStartChoice(wxCommandEvent& event) { event.Skip(); }
    virtual void OnRepeatChoice(wxCommandEvent& event) { event.Skip(); }
    virtual void OnVaryChange(wxCommandEvent& event) { event.Skip(); }
    virtual void OnLevelChange(wxScrollEvent& event) { event.Skip(); }
    virtual void OnLevelModeChoice(wxCommandEvent& event) { event.Skip(); }
    virtual void OnDipChoice(wxCommandEvent& event) { event.Skip(); }
    virtual void OnWatermarkListKeyDown(wxListEvent& event) { event.Skip(); }
    virtual void OnWatermarkListAddFiles(wxCommandEvent& event) { event.Skip(); }
    virtual void OnWatermarkListDelete(wxCommandEvent& event) { event.Skip(); }
    virtual void OnWatermarkMoveUp(wxCommandEvent& event) { event.Skip(); }
    virtual void OnWatermarkListMoveDown(wxCommandEvent& event) { event.Skip(); }
    virtual void OnWatermarkListClear(wxCommandEvent& event) { event.Skip(); }
    virtual void OnAudioFormatClick(wxCommandEvent& event) { event.Skip(); }
    virtual void OnChangeQuality(wxScrollEvent& event) { event.Skip(); }
    virtual void OnClipChoice(wxCommandEvent& event) { event.Skip(); }
    virtual void OnClipStartText(wxCommandEvent& event) { event.Skip(); }
    virtual void ChooseOutputFolderClicked(wxCommandEvent& event) { event.Skip(); }
    virtual void OnRecipientsClick(wxCommandEvent& event) { event.Skip(); }
    virtual void OnGoClicked(wxCommandEvent& event) { event.Skip(); }

private:
    // Connects (connect = true) or disconnects every control event, in one
    // order, so the destructor undoes exactly what the constructor made.
    void ConnectEvents(bool connect);
    // Brings back the menu bar that Show kept hidden.
    void OnFirstShown(wxShowEvent& event);
};

// Layout of the menu bar.
class MenuBar : public wxMenuBar {
public:
    explicit MenuBar(long style);
    ~MenuBar() override = default;

protected:
    wxMenu* m_infoMenu;
    wxMenu* m_toolsMenu;
    wxMenu* m_helpMenu;

    virtual void OnAbout(wxCommandEvent& event) { event.Skip(); }
    virtual void OnVisitWebsite(wxCommandEvent& event) { event.Skip(); }
    virtual void OnQuitMenu(wxCommandEvent& event) { event.Skip(); }
    virtual void OnIdentifyLeak(wxCommandEvent& event) { event.Skip(); }
    virtual void OnMenuCheckForUpdate(wxCommandEvent& event) { event.Skip(); }
    virtual void OnMenuTutorial(wxCommandEvent& event) { event.Skip(); }
    virtual void OnMenuFeedback(wxCommandEvent& event) { event.Skip(); }
    virtual void OnMenuFAQ(wxCommandEvent& event) { event.Skip(); }
    virtual void OnMenuSupport(wxCommandEvent& event) { event.Skip(); }
    virtual void OnMenuFacebook(wxCommandEvent& event) { event.Skip(); }
    virtual void OnMenuTwitter(wxCommandEvent& event) { event.Skip(); }
    virtual void OnMenuGoogle(wxCommandEvent& event) { event.Skip(); }
};

#endif
