// The main window's and the menu bar's layout: controls, sizers, events.
#include "mainform.h"

#include "PresetStore.h"
#include "Placement.h"
#include "SettingsControls.h"
#include "SoxHandler.h"
#include "WaveformStrip.h"
#include "WebLinks.h"

#include <wx/settings.h>
#include <wx/statbox.h>

#include <cmath>

namespace {

const wxEventType kScrollEvents[] = {
    wxEVT_SCROLL_TOP,        wxEVT_SCROLL_BOTTOM,       wxEVT_SCROLL_LINEUP,
    wxEVT_SCROLL_LINEDOWN,   wxEVT_SCROLL_PAGEUP,       wxEVT_SCROLL_PAGEDOWN,
    wxEVT_SCROLL_THUMBTRACK, wxEVT_SCROLL_THUMBRELEASE, wxEVT_SCROLL_CHANGED,
};

wxBitmap ResourceBitmap(const wxString& name) {
    return wxBitmap(g_resourceFolder + name, wxBITMAP_TYPE_ANY);
}

} // namespace

MainForm::MainForm(wxWindow* parent, int id, const wxString& title, const wxPoint& pos,
                   const wxSize& size, long style)
    : wxFrame(parent, id, title, pos, size, style) {
    // Some flags below (alignment beside wxEXPAND) are ignored by the sizers;
    // they are kept as designed, without the toolkit's debug complaints.
    wxSizerFlags::DisableConsistencyChecks();

    SetSizeHints(wxDefaultSize, wxDefaultSize);
    // GTK's widgets are roomier than the layout was drawn for; the compact
    // variant, which every control takes from the frame as it is made, lets
    // each fit the opening size.
    SetWindowVariant(wxWINDOW_VARIANT_SMALL);
    SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_SCROLLBAR));

    wxBoxSizer* root = new wxBoxSizer(wxVERTICAL);

    wxBoxSizer* header = new wxBoxSizer(wxHORIZONTAL);
    header->SetMinSize(wxSize(-1, 50));
    m_logoBitmap = new wxStaticBitmap(this, wxID_ANY, ResourceBitmap("logo.png"));
    header->Add(m_logoBitmap, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    header->Add(0, 0, 1, wxEXPAND, 5);
    root->Add(header, 0, wxEXPAND | wxFIXED_MINSIZE, 5);

    // One column of rows that keep their height, but for the track list, the
    // player row (for the strip) and the lower block, which share what the
    // window has beyond its minimum. A flex grid's minimum is the sum of its
    // rows': a box sizer would scale the stretching rows' minimums up to
    // their proportions, past what a window manager's frame leaves.
    wxFlexGridSizer* body = new wxFlexGridSizer(1, 0, 0);
    body->AddGrowableCol(0);
    m_topLine = new wxStaticLine(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLI_HORIZONTAL);
    body->Add(m_topLine, 0, wxEXPAND | wxALL, 5);

    wxBoxSizer* step1Row = new wxBoxSizer(wxHORIZONTAL);
    m_step1Label = new wxStaticText(this, wxID_ANY, "Step 1: Choose Track Files");
    m_step1Label->Wrap(-1);
    step1Row->Add(m_step1Label, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    wxBoxSizer* presetBar = new wxBoxSizer(wxHORIZONTAL);
    presetBar->Add(0, 0, 1, wxEXPAND, 5);
    m_deletePresetButton = new wxButton(this, wxID_ANY, "Delete");
    presetBar->Add(m_deletePresetButton, 0, wxALL, 5);
    m_savePresetButton = new wxButton(this, wxID_ANY, "Save");
    presetBar->Add(m_savePresetButton, 0, wxALL, 5);
    m_loadPresetButton = new wxButton(this, wxID_ANY, "Load");
    presetBar->Add(m_loadPresetButton, 0, wxALL, 5);
    wxString presetItems[] = {"Default Preset", "New..."};
    m_presetChoice = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, 2, presetItems);
    m_presetChoice->SetSelection(0);
    presetBar->Add(m_presetChoice, 0, wxALL | wxEXPAND, 5);
    step1Row->Add(presetBar, 1, wxALIGN_CENTER_VERTICAL, 5);
    body->Add(step1Row, 0, wxEXPAND, 5);

    // Small minimums: the lists scroll, and they take the window's extra size.
    m_trackList = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(200, 100), wxLC_REPORT);
    body->AddGrowableRow(body->GetItemCount(), 3);
    body->Add(m_trackList, 0, wxALL | wxEXPAND, 5);

    wxBoxSizer* trackButtons = new wxBoxSizer(wxHORIZONTAL);
    m_trackAddButton = new wxButton(this, wxID_ANY, "Add File(s)");
    trackButtons->Add(m_trackAddButton, 0, wxALL, 5);
    m_trackDeleteButton = new wxButton(this, wxID_ANY, "Delete Selection");
    trackButtons->Add(m_trackDeleteButton, 0, wxALL, 5);
    m_trackUpButton = new wxButton(this, wxID_ANY, "Move Up");
    trackButtons->Add(m_trackUpButton, 0, wxALL, 5);
    m_trackDownButton = new wxButton(this, wxID_ANY, "Move Down");
    trackButtons->Add(m_trackDownButton, 0, wxALL, 5);
    m_trackClearButton = new wxButton(this, wxID_ANY, "Clear All");
    trackButtons->Add(m_trackClearButton, 0, wxALL, 5);
    // Shown while added files are measured, at the row's right end.
    trackButtons->AddStretchSpacer();
    m_measureLabel = new wxStaticText(this, wxID_ANY, wxEmptyString);
    m_measureLabel->Hide();
    trackButtons->Add(m_measureLabel, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    m_measureStopButton = new wxButton(this, wxID_ANY, "Stop");
    m_measureStopButton->Hide();
    trackButtons->Add(m_measureStopButton, 0, wxALL, 5);
    body->Add(trackButtons, 0, wxEXPAND, 5);

    wxBoxSizer* preview = new wxBoxSizer(wxVERTICAL);
    wxBoxSizer* playerRow = new wxBoxSizer(wxHORIZONTAL);
    m_previewLabel = new wxStaticText(this, wxID_ANY, "Preview File :");
    m_previewLabel->Wrap(-1);
    playerRow->Add(m_previewLabel, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    m_mediaCtrl = new wxMediaCtrl(this, ID_MEDIA_CTRL, wxEmptyString, wxDefaultPosition,
                                  wxDefaultSize, 0, wxEmptyString, wxDefaultValidator, "mediaCtrl");
    m_mediaCtrl->SetPlaybackRate(1.0);
    m_mediaCtrl->SetVolume(1.0);
    m_mediaCtrl->Stop();
    playerRow->Add(m_mediaCtrl, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    m_playButton = new wxBitmapButton(this, wxID_ANY, ResourceBitmap("play.bmp"));
    playerRow->Add(m_playButton, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    m_stopButton = new wxBitmapButton(this, wxID_ANY, ResourceBitmap("stop.bmp"));
    playerRow->Add(m_stopButton, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    m_volumeSlider = new wxSlider(this, wxID_ANY, 100, 0, 100, wxDefaultPosition, wxDefaultSize,
                                  wxSL_HORIZONTAL);
    playerRow->Add(m_volumeSlider, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    m_watermarkedCheckBox = new wxCheckBox(this, wxID_ANY, "Watermarked");
    playerRow->Add(m_watermarkedCheckBox, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    // The row's free width, and its height when the window is taller.
    m_waveformStrip = new WaveformStrip(this, wxID_ANY);
    playerRow->Add(m_waveformStrip, 1, wxALL | wxEXPAND, 5);
    preview->Add(playerRow, 1, wxEXPAND, 5);
    m_previewLine =
        new wxStaticLine(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLI_HORIZONTAL);
    preview->Add(m_previewLine, 0, wxEXPAND | wxALL, 5);
    body->AddGrowableRow(body->GetItemCount(), 1);
    body->Add(preview, 0, wxEXPAND, 5);

    // Steps 2 and 3 side by side, both widening with the window.
    wxFlexGridSizer* lower = new wxFlexGridSizer(1, 2, 0, 0);
    lower->AddGrowableRow(0);
    lower->AddGrowableCol(0, 1);
    lower->AddGrowableCol(1, 1);

    const Preset initial = InitialPreset();
    wxBoxSizer* step2 = new wxBoxSizer(wxVERTICAL);
    // A row of its own, with room at its right for a small control.
    wxBoxSizer* step2Heading = new wxBoxSizer(wxHORIZONTAL);
    m_step2Label = new wxStaticText(
        this, wxID_ANY,
        wxString::Format("Step2 : Choose Your Watermark Files (maximum %dSec length)",
                         g_maxWatermarkSeconds));
    m_step2Label->Wrap(-1);
    step2Heading->Add(m_step2Label, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    step2Heading->AddStretchSpacer();
    // What the level below is measured against.
    m_levelModeChoice =
        new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, LevelModeItems());
    m_levelModeChoice->SetSelection(static_cast<int>(initial.levelMode));
    step2Heading->Add(m_levelModeChoice, 0, wxRIGHT | wxALIGN_CENTER_VERTICAL, 5);
    step2->Add(step2Heading, 0, wxEXPAND, 5);
    wxBoxSizer* timing = new wxBoxSizer(wxHORIZONTAL);
    wxStaticBoxSizer* watermarkBox =
        new wxStaticBoxSizer(new wxStaticBox(this, wxID_ANY, "Watermark"), wxHORIZONTAL);
    m_startLabel = new wxStaticText(this, wxID_ANY, "Start After");
    m_startLabel->Wrap(-1);
    watermarkBox->Add(m_startLabel, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    wxString startItems[] = {"Immediately", "1 Seconds",  "2 Seconds",  "3 Seconds",  "4 Seconds",
                             "5 Seconds",   "10 Seconds", "15 Seconds", "20 Seconds", "25 Seconds",
                             "30 Seconds",  "35 Seconds", "40 Seconds"};
    m_startChoice = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, 13, startItems);
    m_startChoice->SetSelection(IndexForStartSeconds(initial.start));
    watermarkBox->Add(m_startChoice, 1, wxALL | wxALIGN_CENTER_VERTICAL | wxEXPAND, 5);
    timing->Add(watermarkBox, 1, wxLEFT | wxBOTTOM, 5);
    wxStaticBoxSizer* repeatBox =
        new wxStaticBoxSizer(new wxStaticBox(this, wxID_ANY, "Repeat Every"), wxHORIZONTAL);
    wxArrayString repeatItems;
    for (int i = 0; i < g_repeatChoiceCount; ++i)
        repeatItems.Add(wxString::Format("%d Sec", RepeatSecondsForIndex(i)));
    m_repeatChoice = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, repeatItems);
    m_repeatChoice->SetSelection(IndexForRepeatSeconds(initial.interval));
    repeatBox->Add(m_repeatChoice, 1, wxALL | wxALIGN_CENTER_VERTICAL | wxEXPAND, 5);
    timing->Add(repeatBox, 1, wxLEFT | wxBOTTOM, 5);
    // Seconds each copy may move from its regular place, either way.
    wxStaticBoxSizer* varyBox =
        new wxStaticBoxSizer(new wxStaticBox(this, wxID_ANY, "Vary By"), wxHORIZONTAL);
    m_varySpin = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                wxSP_ARROW_KEYS, 0, g_maxVary, initial.vary);
    m_varySpin->SetToolTip("Moves each watermark up to this many seconds from its regular place, "
                           "differently for every track and recipient (0: regular places)");
    varyBox->Add(m_varySpin, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    m_varyUnit = new wxStaticText(this, wxID_ANY, "s");
    varyBox->Add(m_varyUnit, 0, wxTOP | wxBOTTOM | wxRIGHT | wxALIGN_CENTER_VERTICAL, 5);
    timing->Add(varyBox, 0, wxLEFT | wxRIGHT | wxBOTTOM, 5);
    step2->Add(timing, 0, wxALIGN_RIGHT | wxEXPAND, 5);
    // No border above or below: the column has no height to spare.
    wxBoxSizer* levelRow = new wxBoxSizer(wxHORIZONTAL);
    m_levelLabel = new wxStaticText(this, wxID_ANY, LevelText(initial.level, initial.levelMode));
    m_levelLabel->Wrap(-1);
    levelRow->Add(m_levelLabel, 0, wxLEFT | wxRIGHT | wxALIGN_CENTER_VERTICAL, 5);
    m_levelSlider =
        new wxSlider(this, wxID_ANY, initial.level, g_minWatermarkLevel, g_maxWatermarkLevel,
                     wxDefaultPosition, wxDefaultSize, wxSL_HORIZONTAL);
    levelRow->Add(m_levelSlider, 1, wxLEFT | wxRIGHT | wxALIGN_CENTER_VERTICAL, 5);
    // The music's dip under each copy.
    m_dipChoice = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, DipItems());
    m_dipChoice->SetSelection(initial.duck);
    levelRow->Add(m_dipChoice, 0, wxRIGHT | wxALIGN_CENTER_VERTICAL, 5);
    step2->Add(levelRow, 0, wxEXPAND, 5);

    m_watermarkList =
        new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(200, 85), wxLC_REPORT);
    step2->Add(m_watermarkList, 1, wxALL | wxEXPAND, 5);
    wxBoxSizer* watermarkButtons = new wxBoxSizer(wxHORIZONTAL);
    m_watermarkAddButton = new wxButton(this, wxID_ANY, "Add File(s)");
    watermarkButtons->Add(m_watermarkAddButton, 0, wxALL, 5);
    m_watermarkDeleteButton = new wxButton(this, wxID_ANY, "Delete Selection");
    watermarkButtons->Add(m_watermarkDeleteButton, 0, wxALL, 5);
    m_watermarkUpButton = new wxButton(this, wxID_ANY, "Move Up");
    watermarkButtons->Add(m_watermarkUpButton, 0, wxALL, 5);
    m_watermarkDownButton = new wxButton(this, wxID_ANY, "Move Down");
    watermarkButtons->Add(m_watermarkDownButton, 0, wxALL, 5);
    m_watermarkClearButton = new wxButton(this, wxID_ANY, "Clear All");
    watermarkButtons->Add(m_watermarkClearButton, 0, wxALL, 5);
    step2->Add(watermarkButtons, 0, wxEXPAND, 5);
    lower->Add(step2, 0, wxEXPAND, 5);

    wxBoxSizer* step3 = new wxBoxSizer(wxVERTICAL);
    // The recipients share the heading's row: the column has no height to spare.
    wxBoxSizer* step3Heading = new wxBoxSizer(wxHORIZONTAL);
    m_step3Label = new wxStaticText(this, wxID_ANY, "Step 3 : Set Output");
    m_step3Label->Wrap(-1);
    step3Heading->Add(m_step3Label, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    step3Heading->AddStretchSpacer();
    m_recipientsLabel = new wxStaticText(this, wxID_ANY, "No recipients");
    step3Heading->Add(m_recipientsLabel, 0, wxLEFT | wxRIGHT | wxALIGN_CENTER_VERTICAL, 5);
    m_recipientsButton = new wxButton(this, wxID_ANY, "Recipients...");
    m_recipientsButton->SetToolTip("A copy of every track for each recipient, told apart by "
                                   "where its watermarks sound");
    step3Heading->Add(m_recipientsButton, 0, wxRIGHT | wxALIGN_CENTER_VERTICAL, 5);
    step3->Add(step3Heading, 0, wxEXPAND, 5);
    wxStaticBoxSizer* outputBox =
        new wxStaticBoxSizer(new wxStaticBox(this, wxID_ANY, "Output"), wxVERTICAL);
    wxBoxSizer* formatRow = new wxBoxSizer(wxHORIZONTAL);
    // Rows a few pixels apart rather than a full border: the column's height
    // is what limits the window's.
    wxBoxSizer* options = new wxBoxSizer(wxVERTICAL);
    m_monoCheckBox = new wxCheckBox(this, wxID_ANY, "Mono Versions Only");
    options->Add(m_monoCheckBox, 0, wxLEFT, 5);
    options->AddSpacer(4);
    m_mergeCheckBox = new wxCheckBox(this, wxID_ANY, "Merge Output File");
    options->Add(m_mergeCheckBox, 0, wxLEFT, 5);
    formatRow->Add(options, 1, wxTOP | wxBOTTOM, 3);
    // Two rows of formats, beside the two check boxes; columns only as wide
    // as their names, so that the check boxes keep theirs.
    wxFlexGridSizer* formats = new wxFlexGridSizer(4, 4, 2);
    m_mp3Radio =
        new wxRadioButton(this, ID_MP3_RADIO, "MP3", wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
    m_mp3Radio->SetValue(true);
    formats->Add(m_mp3Radio);
    m_wavRadio = new wxRadioButton(this, ID_WAV_RADIO, "WAV");
    formats->Add(m_wavRadio);
    m_aiffRadio = new wxRadioButton(this, ID_AIFF_RADIO, "AIFF");
    formats->Add(m_aiffRadio);
    m_flacRadio = new wxRadioButton(this, ID_FLAC_RADIO, "FLAC");
    formats->Add(m_flacRadio);
    m_oggRadio = new wxRadioButton(this, ID_OGG_RADIO, "Ogg");
    formats->Add(m_oggRadio);
    m_opusRadio = new wxRadioButton(this, ID_OPUS_RADIO, "Opus");
    formats->Add(m_opusRadio);
    m_m4aRadio = new wxRadioButton(this, ID_M4A_RADIO, "M4A");
    formats->Add(m_m4aRadio);
    formatRow->Add(formats, 0, wxTOP | wxBOTTOM | wxRIGHT, 3);
    outputBox->Add(formatRow, 0, wxEXPAND, 5);
    wxBoxSizer* qualityRow = new wxBoxSizer(wxHORIZONTAL);
    m_qualityCaption = new wxStaticText(this, wxID_ANY, "Quality");
    m_qualityCaption->Wrap(-1);
    qualityRow->Add(m_qualityCaption, 0, wxLEFT | wxRIGHT | wxALIGN_CENTER_VERTICAL, 5);
    m_qualitySlider =
        new wxSlider(this, wxID_ANY, 50, 0, 100, wxDefaultPosition, wxDefaultSize, wxSL_HORIZONTAL);
    qualityRow->Add(m_qualitySlider, 1, wxLEFT | wxRIGHT | wxALIGN_CENTER_VERTICAL, 5);
    m_qualityLabel = new wxStaticText(this, wxID_ANY, "320kb");
    m_qualityLabel->Wrap(-1);
    qualityRow->Add(m_qualityLabel, 0, wxLEFT | wxRIGHT | wxALIGN_CENTER_VERTICAL, 5);
    outputBox->Add(qualityRow, 0, wxEXPAND, 5);
    // Narrower borders than the rows above: the row is as wide as the column.
    wxBoxSizer* clipRow = new wxBoxSizer(wxHORIZONTAL);
    m_clipCaption = new wxStaticText(this, wxID_ANY, "Clip");
    clipRow->Add(m_clipCaption, 0, wxALL | wxALIGN_CENTER_VERTICAL, 3);
    wxArrayString clipItems;
    clipItems.Add("Whole track");
    for (int i = 1; i < g_clipChoiceCount; ++i)
        clipItems.Add(wxString::Format("%d s", ClipSecondsForIndex(i)));
    m_clipChoice = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, clipItems);
    m_clipChoice->SetSelection(IndexForClipSeconds(initial.clipLength));
    clipRow->Add(m_clipChoice, 0, wxALL | wxALIGN_CENTER_VERTICAL, 3);
    m_clipStartLabel = new wxStaticText(this, wxID_ANY, "from");
    clipRow->Add(m_clipStartLabel, 0, wxALL | wxALIGN_CENTER_VERTICAL, 3);
    // A position as a player shows it ("1:30"), or plain seconds.
    m_clipStartText = new wxTextCtrl(this, wxID_ANY, ClockText(initial.clipStart),
                                     wxDefaultPosition, wxSize(60, -1));
    m_clipStartText->SetToolTip("Where the clip starts in the track: seconds, or minutes:seconds");
    clipRow->Add(m_clipStartText, 1, wxALL | wxALIGN_CENTER_VERTICAL, 3);
    wxArrayString fadeItems;
    fadeItems.Add("No fade");
    for (int seconds = 1; seconds <= g_maxClipFade; ++seconds)
        fadeItems.Add(wxString::Format("Fade %d s", seconds));
    m_clipFadeChoice = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, fadeItems);
    m_clipFadeChoice->SetSelection(initial.clipFade);
    clipRow->Add(m_clipFadeChoice, 0, wxALL | wxALIGN_CENTER_VERTICAL, 3);
    outputBox->Add(clipRow, 0, wxEXPAND | wxLEFT | wxRIGHT, 2);
    step3->Add(outputBox, 0, wxEXPAND | wxRIGHT, 5);

    // Extra height goes above the folder and GO!, which stay level with the
    // watermark buttons.
    step3->AddStretchSpacer();
    wxBoxSizer* folderRow = new wxBoxSizer(wxHORIZONTAL);
    m_outputFolderButton = new wxButton(this, wxID_ANY, "Choose Output Folder");
    folderRow->Add(m_outputFolderButton, 0, wxALL, 5);
    // A long path is shortened in its middle rather than widening the window.
    m_outputFolderLabel =
        new wxStaticText(this, wxID_ANY, "No Output Selected", wxDefaultPosition, wxDefaultSize,
                         wxST_ELLIPSIZE_MIDDLE | wxST_NO_AUTORESIZE);
    folderRow->Add(m_outputFolderLabel, 1, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    step3->Add(folderRow, 0, wxEXPAND, 5);
    wxBoxSizer* affixRow = new wxBoxSizer(wxHORIZONTAL);
    wxString affixItems[] = {"Choose Prefix", "Choose Suffix"};
    m_affixChoice = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, 2, affixItems);
    m_affixChoice->SetSelection(initial.suffix ? 1 : 0);
    affixRow->Add(m_affixChoice, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    m_affixText = new wxTextCtrl(this, wxID_ANY, wxEmptyString);
    affixRow->Add(m_affixText, 1, wxALL | wxEXPAND, 5);
    m_goButton = new wxButton(this, wxID_ANY, "GO!");
    affixRow->Add(m_goButton, 1, wxALL | wxEXPAND, 5);
    step3->Add(affixRow, 0, wxEXPAND, 5);
    lower->Add(step3, 0, wxEXPAND, 5);

    body->AddGrowableRow(body->GetItemCount(), 2);
    body->Add(lower, 0, wxEXPAND, 5);
    root->Add(body, 1, wxEXPAND, 5);

    SetSizer(root);
    Layout();
    Centre(wxBOTH);

    ConnectEvents(true);
}

MainForm::~MainForm() {
    ConnectEvents(false);
}

bool MainForm::Show(bool show) {
    // Under a window manager, wxGTK first shows the window at a stand-in
    // size of 2 x 1 pixels while it learns the size of the frame around it;
    // GTK cannot fit the menu bar in that and logs a critical. The bar joins
    // once the window is shown.
    wxMenuBar* bar = GetMenuBar();
    if (show && !IsShown() && bar && bar->IsShown()) {
        bar->Hide();
        Bind(wxEVT_SHOW, &MainForm::OnFirstShown, this);
    }
    return wxFrame::Show(show);
}

void MainForm::OnFirstShown(wxShowEvent& event) {
    event.Skip();
    if (!event.IsShown())
        return;
    Unbind(wxEVT_SHOW, &MainForm::OnFirstShown, this);
    GetMenuBar()->Show();
    SendSizeEvent();
}

void MainForm::ConnectEvents(bool connect) {
    auto link = [this, connect](wxEvtHandler* control, wxEventType type,
                                wxObjectEventFunction handler) {
        if (connect)
            control->Connect(type, handler, nullptr, this);
        else
            control->Disconnect(type, handler, nullptr, this);
    };
    link(m_deletePresetButton, wxEVT_BUTTON, wxCommandEventHandler(MainForm::OnDeletePreset));
    link(m_savePresetButton, wxEVT_BUTTON, wxCommandEventHandler(MainForm::OnSavePresetButton));
    link(m_loadPresetButton, wxEVT_BUTTON, wxCommandEventHandler(MainForm::OnLoadPreset));
    link(m_trackList, wxEVT_LIST_DELETE_ITEM, wxListEventHandler(MainForm::OnDeleteListItem));
    link(m_trackList, wxEVT_LIST_KEY_DOWN, wxListEventHandler(MainForm::OnFileListKeyDown));
    link(m_trackList, wxEVT_LIST_ITEM_SELECTED,
         wxListEventHandler(MainForm::OnTrackSelectionChange));
    link(m_trackList, wxEVT_LIST_ITEM_DESELECTED,
         wxListEventHandler(MainForm::OnTrackSelectionChange));
    link(m_trackAddButton, wxEVT_BUTTON, wxCommandEventHandler(MainForm::OnFileListAddFiles));
    link(m_trackDeleteButton, wxEVT_BUTTON, wxCommandEventHandler(MainForm::OnFileListDelete));
    link(m_trackUpButton, wxEVT_BUTTON, wxCommandEventHandler(MainForm::OnFileListMoveUp));
    link(m_trackDownButton, wxEVT_BUTTON, wxCommandEventHandler(MainForm::OnFileListMoveDown));
    link(m_trackClearButton, wxEVT_BUTTON, wxCommandEventHandler(MainForm::OnClearFileList));
    link(m_measureStopButton, wxEVT_BUTTON, wxCommandEventHandler(MainForm::OnStopMeasuring));
    link(m_playButton, wxEVT_BUTTON, wxCommandEventHandler(MainForm::OnButtonPlayClick));
    link(m_stopButton, wxEVT_BUTTON, wxCommandEventHandler(MainForm::OnButtonStopClick));
    for (wxEventType type : kScrollEvents)
        link(m_volumeSlider, type, wxScrollEventHandler(MainForm::OnVolumeChange));
    link(m_waveformStrip, EVT_WAVEFORM_SEEK, wxCommandEventHandler(MainForm::OnWaveformClick));
    link(m_startChoice, wxEVT_CHOICE, wxCommandEventHandler(MainForm::OnStartChoice));
    link(m_repeatChoice, wxEVT_CHOICE, wxCommandEventHandler(MainForm::OnRepeatChoice));
    link(m_varySpin, wxEVT_SPINCTRL, wxCommandEventHandler(MainForm::OnVaryChange));
    for (wxEventType type : kScrollEvents)
        link(m_levelSlider, type, wxScrollEventHandler(MainForm::OnLevelChange));
    link(m_levelModeChoice, wxEVT_CHOICE, wxCommandEventHandler(MainForm::OnLevelModeChoice));
    link(m_dipChoice, wxEVT_CHOICE, wxCommandEventHandler(MainForm::OnDipChoice));
    link(m_watermarkList, wxEVT_LIST_DELETE_ITEM, wxListEventHandler(MainForm::OnDeleteListItem));
    link(m_watermarkList, wxEVT_LIST_KEY_DOWN,
         wxListEventHandler(MainForm::OnWatermarkListKeyDown));
    link(m_watermarkAddButton, wxEVT_BUTTON,
         wxCommandEventHandler(MainForm::OnWatermarkListAddFiles));
    link(m_watermarkDeleteButton, wxEVT_BUTTON,
         wxCommandEventHandler(MainForm::OnWatermarkListDelete));
    link(m_watermarkUpButton, wxEVT_BUTTON, wxCommandEventHandler(MainForm::OnWatermarkMoveUp));
    link(m_watermarkDownButton, wxEVT_BUTTON,
         wxCommandEventHandler(MainForm::OnWatermarkListMoveDown));
    link(m_watermarkClearButton, wxEVT_BUTTON,
         wxCommandEventHandler(MainForm::OnWatermarkListClear));
    link(m_mp3Radio, wxEVT_RADIOBUTTON, wxCommandEventHandler(MainForm::OnAudioFormatClick));
    link(m_wavRadio, wxEVT_RADIOBUTTON, wxCommandEventHandler(MainForm::OnAudioFormatClick));
    link(m_aiffRadio, wxEVT_RADIOBUTTON, wxCommandEventHandler(MainForm::OnAudioFormatClick));
    link(m_flacRadio, wxEVT_RADIOBUTTON, wxCommandEventHandler(MainForm::OnAudioFormatClick));
    link(m_oggRadio, wxEVT_RADIOBUTTON, wxCommandEventHandler(MainForm::OnAudioFormatClick));
    link(m_opusRadio, wxEVT_RADIOBUTTON, wxCommandEventHandler(MainForm::OnAudioFormatClick));
    link(m_m4aRadio, wxEVT_RADIOBUTTON, wxCommandEventHandler(MainForm::OnAudioFormatClick));
    link(m_clipChoice, wxEVT_CHOICE, wxCommandEventHandler(MainForm::OnClipChoice));
    link(m_clipStartText, wxEVT_TEXT, wxCommandEventHandler(MainForm::OnClipStartText));
    for (wxEventType type : kScrollEvents)
        link(m_qualitySlider, type, wxScrollEventHandler(MainForm::OnChangeQuality));
    link(m_outputFolderButton, wxEVT_BUTTON,
         wxCommandEventHandler(MainForm::ChooseOutputFolderClicked));
    link(m_recipientsButton, wxEVT_BUTTON, wxCommandEventHandler(MainForm::OnRecipientsClick));
    link(m_goButton, wxEVT_BUTTON, wxCommandEventHandler(MainForm::OnGoClicked));
}

MenuBar::MenuBar(long style) : wxMenuBar(style) {
    m_infoMenu = new wxMenu();
    wxMenuItem* about = m_infoMenu->Append(wxID_ABOUT, "About VLWG");
    m_infoMenu->AppendSeparator();
    wxMenuItem* website = m_infoMenu->Append(wxID_ANY, "Visit Website");
    wxMenuItem* quit = m_infoMenu->Append(ID_QUIT_MENU, "&Quit");
    Append(m_infoMenu, "&Info");

    m_toolsMenu = new wxMenu();
    wxMenuItem* identify = m_toolsMenu->Append(wxID_ANY, "Identify a leaked copy...");
    Append(m_toolsMenu, "&Tools");

    m_helpMenu = new wxMenu();
    wxMenuItem* update = m_helpMenu->Append(wxID_ANY, "Check For Updates");
    wxMenuItem* tutorial = m_helpMenu->Append(wxID_ANY, "Tutorial");
    wxMenuItem* feedback = m_helpMenu->Append(wxID_ANY, "Feedback");
    wxMenuItem* faq = m_helpMenu->Append(wxID_ANY, "FAQ");
    wxMenuItem* support = m_helpMenu->Append(wxID_ANY, "Support");
    m_helpMenu->AppendSeparator();
    wxMenuItem* facebook = m_helpMenu->Append(wxID_ANY, "Facebook");
    wxMenuItem* twitter = m_helpMenu->Append(wxID_ANY, "Twitter");
    wxMenuItem* google = m_helpMenu->Append(wxID_ANY, "Google+");
    Append(m_helpMenu, "Help");

    // An item with nowhere to go (no website, no manual) is shown disabled.
    const std::pair<wxMenuItem*, WebPage> pages[] = {
        {website, WebPage::Home},      {update, WebPage::Updates},  {tutorial, WebPage::Tutorial},
        {feedback, WebPage::Feedback}, {faq, WebPage::Faq},         {support, WebPage::Support},
        {facebook, WebPage::Facebook}, {twitter, WebPage::Twitter}, {google, WebPage::GooglePlus}};
    for (const auto& [item, page] : pages)
        item->Enable(!PageAddress(page).empty());

    auto link = [this](wxMenuItem* item, wxObjectEventFunction handler) {
        Connect(item->GetId(), wxEVT_MENU, handler, nullptr, this);
    };
    link(about, wxCommandEventHandler(MenuBar::OnAbout));
    link(website, wxCommandEventHandler(MenuBar::OnVisitWebsite));
    link(quit, wxCommandEventHandler(MenuBar::OnQuitMenu));
    link(identify, wxCommandEventHandler(MenuBar::OnIdentifyLeak));
    link(update, wxCommandEventHandler(MenuBar::OnMenuCheckForUpdate));
    link(tutorial, wxCommandEventHandler(MenuBar::OnMenuTutorial));
    link(feedback, wxCommandEventHandler(MenuBar::OnMenuFeedback));
    link(faq, wxCommandEventHandler(MenuBar::OnMenuFAQ));
    link(support, wxCommandEventHandler(MenuBar::OnMenuSupport));
    link(facebook, wxCommandEventHandler(MenuBar::OnMenuFacebook));
    link(twitter, wxCommandEventHandler(MenuBar::OnMenuTwitter));
    link(google, wxCommandEventHandler(MenuBar::OnMenuGoogle));
}
