// The main window's behaviour: lists, player, output settings, presets and the run.
#include "MainFormImp.h"

#include "AppPaths.h"
#include "FileListRows.h"
#include "FileScreen.h"
#include "Placement.h"
#include "ProcessCompleteImp.h"
#include "ProgramIcons.h"
#include "ProgressDialog.h"
#include "Prompts.h"
#include "RecipientsDlgImp.h"
#include "SoxJobs.h"
#include "WebLinks.h"
#include "aboutdlg.h"

#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>
#include <wx/wupdlock.h>

#include <cmath>
#include <functional>

// ---------------------------------------------------------------------------
// Drop targets

bool DnDFile::OnDropFiles(wxCoord, wxCoord, const wxArrayString& filenames) {
    if (m_list == m_owner->GetFileList())
        m_owner->OnFileListDropFiles(filenames);
    else if (m_list == m_owner->GetWatermarkList())
        m_owner->OnWatermarkListDropFiles(filenames);
    return true;
}

// ---------------------------------------------------------------------------
// Menu bar

MenuBarImp::MenuBarImp(CMainFormImp* mainForm, long style) : MenuBar(style), m_mainForm(mainForm) {
}

void MenuBarImp::OnAbout(wxCommandEvent&) {
    AboutDlg dialog(m_mainForm, wxID_ANY, "About", wxDefaultPosition, wxSize(431, 691),
                    wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    dialog.ShowModal();
}

void MenuBarImp::OnVisitWebsite(wxCommandEvent&) {
    OpenPage(WebPage::Home);
}

void MenuBarImp::OnQuitMenu(wxCommandEvent&) {
    m_mainForm->Close(false);
}

void MenuBarImp::OnIdentifyLeak(wxCommandEvent&) {
    m_mainForm->IdentifyLeakedCopy();
}

void MenuBarImp::OnMenuCheckForUpdate(wxCommandEvent&) {
    OpenPage(WebPage::Updates);
}

void MenuBarImp::OnMenuTutorial(wxCommandEvent&) {
    OpenPage(WebPage::Tutorial);
}

void MenuBarImp::OnMenuFeedback(wxCommandEvent&) {
    OpenPage(WebPage::Feedback);
}

void MenuBarImp::OnMenuFAQ(wxCommandEvent&) {
    OpenPage(WebPage::Faq);
}

void MenuBarImp::OnMenuSupport(wxCommandEvent&) {
    OpenPage(WebPage::Support);
}

void MenuBarImp::OnMenuFacebook(wxCommandEvent&) {
    OpenPage(WebPage::Facebook);
}

void MenuBarImp::OnMenuTwitter(wxCommandEvent&) {
    OpenPage(WebPage::Twitter);
}

void MenuBarImp::OnMenuGoogle(wxCommandEvent&) {
    OpenPage(WebPage::GooglePlus);
}

// ---------------------------------------------------------------------------
// Window set-up

CMainFormImp::CMainFormImp(wxWindow* parent, int id, const wxString& title, const wxPoint& pos,
                           const wxSize& size, long style)
    : MainForm(parent, id, title, pos, size, style), m_itemCount(0),
      m_media(
          m_mediaCtrl, [this] { m_player.MediaLoaded(); }, [this] { m_player.NextLoaded(); }),
      m_player(m_media, *this), m_settings({m_startChoice,
                                            m_repeatChoice,
                                            m_levelSlider,
                                            m_levelLabel,
                                            m_levelModeChoice,
                                            m_dipChoice,
                                            m_varySpin,
                                            m_monoCheckBox,
                                            m_mergeCheckBox,
                                            {{m_mp3Radio, OutputFormat::Mp3},
                                             {m_wavRadio, OutputFormat::Wav},
                                             {m_aiffRadio, OutputFormat::Aiff},
                                             {m_flacRadio, OutputFormat::Flac},
                                             {m_oggRadio, OutputFormat::Ogg},
                                             {m_opusRadio, OutputFormat::Opus},
                                             {m_m4aRadio, OutputFormat::M4a}},
                                            m_qualitySlider,
                                            m_qualityLabel,
                                            m_clipChoice,
                                            m_clipStartText,
                                            m_clipFadeChoice,
                                            m_affixChoice,
                                            m_affixText}),
      m_listMeasure(m_trackList, m_watermarkList,
                    {[this](wxListCtrl* list, const wxString& path, const FileLength& length) {
                         m_lengths[path] = length;
                         // The strip plans with the shown track's length and the watermarks'.
                         if (list == m_watermarkList || path == SelectedTrack())
                             ShowTrackOnStrip();
                     },
                     [this](size_t done, size_t total) { ShowMeasuring(done, total); },
                     [this](const wxString& refused) { EndMeasuring(refused); }}),
      m_config(SettingsFilePath(), [](const wxString& problem) { Notice(problem + "."); }),
      m_presets(m_config, ShippedPresetsFolder()), m_leakCheck(this) {
    MenuBarImp* menuBar = new MenuBarImp(this, 0);
    Centre(wxBOTH);

    m_playBitmap = wxBitmap(g_resourceFolder + "play.bmp", wxBITMAP_TYPE_ANY);
    m_pauseBitmap = wxBitmap(g_resourceFolder + "pause.bmp", wxBITMAP_TYPE_ANY);
    m_resumeBitmap = wxBitmap(g_resourceFolder + "resume.bmp", wxBITMAP_TYPE_ANY);

    SetMenuBar(menuBar);
    const wxIconBundle icons = ProgramIcons();
    if (!icons.IsEmpty())
        SetIcons(icons);
    SetSize(wxSize(929, 670));
    // The opening size is also the smallest: the layout fits it with room to
    // spare for a window manager's title bar and borders.
    SetMinSize(GetSize());

    m_trackList->SetDropTarget(new DnDFile(this, m_trackList));
    m_watermarkList->SetDropTarget(new DnDFile(this, m_watermarkList));
    AddFileColumns(m_trackList, m_watermarkList);

    // The stamped preview plays its first part while the rest renders; the
    // player goes on with the whole where the part had got to.
    m_stampedPreview.OnWholeReady([this](const wxString& part, const wxString& whole) {
        if (m_player.LoadedFile() == part)
            m_player.ContinueWith(whole);
    });
    m_watermarkedCheckBox->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent& event) {
        if (!event.IsChecked())
            m_stampedPreview.StopBackground();
        event.Skip();
    });
    // An unreadable clip start is told when the field is left, not at GO!.
    // After the focus has moved: a notice shown while it moves takes it again.
    m_clipStartText->Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
        event.Skip();
        if (!m_telling && !m_settings.ClipStartReadable())
            CallAfter([this] {
                m_telling = true;
                CheckClipStart();
                m_telling = false;
            });
    });
    m_envelopeQueue.RunInBackground();
    m_playheadTimer.SetOwner(this, NewControlId());
    Bind(wxEVT_TIMER, &CMainFormImp::OnPlayheadTimer, this, m_playheadTimer.GetId());

    StartPresets();
    ShowTrackOnStrip();
    Bind(wxEVT_CLOSE_WINDOW, &CMainFormImp::OnClose, this);
}

void CMainFormImp::OnClose(wxCloseEvent& event) {
    m_stampedPreview.StopBackground();
    // Its rows go with the window: nothing is left to tell them.
    m_listMeasure.Abandon();
    m_leakCheck.Abandon();
    if (m_cancelWork) {
        m_cancelWork();
        m_closeAfterWork = true;
        event.Veto();
        return;
    }
    event.Skip();
}

bool CMainFormImp::WaitFor(const std::function<void()>& work, const std::function<void()>& cancel) {
    if (m_closeAfterWork)
        return false; // going already
    m_cancelWork = cancel;
    work();
    m_cancelWork = nullptr;
    if (!m_closeAfterWork)
        return true;
    // After the handler that waited has returned: it may still be on its way out.
    CallAfter([this] { Destroy(); });
    return false;
}

CMainFormImp::~CMainFormImp() {
    m_listMeasure.Abandon();
    m_leakCheck.Abandon();
    // Removing all rows raises no per-row deletion event, so release them here.
    ClearRows(m_trackList);
    ClearRows(m_watermarkList);
}

// ---------------------------------------------------------------------------
// Track and watermark lists

void CMainFormImp::ShowMeasuring(size_t done, size_t total) {
    m_measureLabel->SetLabel(wxString::Format("Measuring %zu of %zu", done, total));
    if (!m_measureLabel->IsShown()) {
        m_measureLabel->Show();
        m_measureStopButton->Show();
        m_goButton->Disable();
    }
    // The label widens with the count's digits.
    m_measureLabel->GetContainingSizer()->Layout();
}

void CMainFormImp::EndMeasuring(const wxString& refused) {
    m_measureLabel->Hide();
    m_measureStopButton->Hide();
    m_measureLabel->GetContainingSizer()->Layout();
    m_goButton->Enable();
    if (!refused.empty())
        Notice(refused);
}

void CMainFormImp::OnStopMeasuring(wxCommandEvent&) {
    m_listMeasure.Stop();
    ShowTrackOnStrip();
}

void CMainFormImp::OnFileListDropFiles(const wxArrayString& paths) {
    m_listMeasure.Add(m_trackList, paths);
}

void CMainFormImp::OnWatermarkListDropFiles(const wxArrayString& paths) {
    m_listMeasure.Add(m_watermarkList, paths);
}

void ExchangeSelectedUp(std::vector<ITEM_DATA>& records, int count) {
    // A selected row passes only an unselected neighbour, so a selected run
    // that already starts at the top stays where it is.
    for (int i = 1; i < count; ++i) {
        if (records[i].isSelected && !records[i - 1].isSelected)
            std::swap(records[i], records[i - 1]);
    }
}

void ExchangeSelectedDown(std::vector<ITEM_DATA>& records, int count) {
    for (int i = count - 2; i >= 0; --i) {
        if (records[i].isSelected && !records[i + 1].isSelected)
            std::swap(records[i], records[i + 1]);
    }
}

bool CMainFormImp::ChooseFilesToAdd(wxArrayString& paths) {
    return ChooseAudioFiles(this, paths);
}

void CMainFormImp::OnFileListAddFiles(wxCommandEvent&) {
    wxArrayString paths;
    if (ChooseFilesToAdd(paths))
        OnFileListDropFiles(paths);
}

void CMainFormImp::OnWatermarkListAddFiles(wxCommandEvent&) {
    wxArrayString paths;
    if (ChooseFilesToAdd(paths))
        OnWatermarkListDropFiles(paths);
}

void CMainFormImp::DeleteItemsFromList(wxListCtrl* list) {
    if (list->GetSelectedItemCount() == 0) {
        Notice("Select file(s) to delete first.");
        return;
    }
    // Each DeleteItem raises the per-row event that releases the row's path.
    wxWindowUpdateLocker noRedraw(list);
    long row;
    while ((row = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) != -1)
        list->DeleteItem(row);
    ShowTrackOnStrip();
}

void CMainFormImp::DeleteFocusedRow(wxListCtrl* list, wxListEvent& event) {
    if (!IsDeleteKey(event.GetKeyCode())) {
        // Arrow keys and the rest keep their usual meaning in the list.
        event.Skip();
        return;
    }
    const long row = event.GetIndex();
    if (row >= 0 && row < list->GetItemCount())
        list->DeleteItem(row);
    ShowTrackOnStrip();
}

void CMainFormImp::OnFileListKeyDown(wxListEvent& event) {
    DeleteFocusedRow(m_trackList, event);
}

void CMainFormImp::OnTrackSelectionChange(wxListEvent& event) {
    ShowTrackOnStrip();
    event.Skip();
}

void CMainFormImp::OnWatermarkListKeyDown(wxListEvent& event) {
    DeleteFocusedRow(m_watermarkList, event);
}

void CMainFormImp::MoveItems(wxListCtrl* list, bool up) {
    if (list->GetSelectedItemCount() == 0) {
        Notice("Select file(s) to move first.");
        return;
    }
    wxWindowUpdateLocker noRedraw(list);

    m_itemCount = 0;
    m_itemDataPool.resize(list->GetItemCount());
    for (long row = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_DONTCARE); row != -1;
         row = list->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_DONTCARE)) {
        ITEM_DATA& record = m_itemDataPool[m_itemCount++];
        record.fileName = list->GetItemText(row, 1);
        record.fileLength = list->GetItemText(row, 3);
        record.fileSize = list->GetItemText(row, 2);
        record.isSelected = list->GetItemState(row, wxLIST_STATE_SELECTED) != 0;
        record.itemData = list->GetItemData(row);
        // The rows are rebuilt with the same path objects: detach them so no
        // deletion event can release one.
        list->SetItemPtrData(row, 0);
    }

    if (up)
        ExchangeSelectedUp(m_itemDataPool, m_itemCount);
    else
        ExchangeSelectedDown(m_itemDataPool, m_itemCount);

    list->DeleteAllItems();
    long firstSelected = -1;
    for (int i = 0; i < m_itemCount; ++i) {
        const ITEM_DATA& record = m_itemDataPool[i];
        const long row = AppendFileRow(list, record.fileName, record.fileSize, record.fileLength);
        list->SetItemPtrData(row, record.itemData);
        if (record.isSelected) {
            list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
            if (firstSelected == -1)
                firstSelected = row;
        }
    }
    if (firstSelected != -1)
        list->EnsureVisible(firstSelected);
    // The watermarks' order decides which file each copy plays.
    ShowTrackOnStrip();
}

void CMainFormImp::MoveItemsUp(wxListCtrl* list) {
    MoveItems(list, true);
}

void CMainFormImp::MoveItemsDown(wxListCtrl* list) {
    MoveItems(list, false);
}

void CMainFormImp::OnDeleteListItem(wxListEvent& event) {
    const wxString* path = reinterpret_cast<wxString*>(event.GetData());
    m_listMeasure.Forget(path);
    delete path;
}

void CMainFormImp::OnFileListDelete(wxCommandEvent&) {
    DeleteItemsFromList(m_trackList);
}

void CMainFormImp::OnWatermarkListDelete(wxCommandEvent&) {
    DeleteItemsFromList(m_watermarkList);
}

void CMainFormImp::OnFileListMoveUp(wxCommandEvent&) {
    MoveItemsUp(m_trackList);
}

void CMainFormImp::OnWatermarkMoveUp(wxCommandEvent&) {
    MoveItemsUp(m_watermarkList);
}

void CMainFormImp::OnFileListMoveDown(wxCommandEvent&) {
    MoveItemsDown(m_trackList);
}

void CMainFormImp::OnWatermarkListMoveDown(wxCommandEvent&) {
    MoveItemsDown(m_watermarkList);
}

void CMainFormImp::ClearList(wxListCtrl* list) {
    m_listMeasure.ForgetRows(list);
    ClearRows(list);
}

void CMainFormImp::OnClearFileList(wxCommandEvent&) {
    ClearList(m_trackList);
    ShowTrackOnStrip();
}

void CMainFormImp::OnWatermarkListClear(wxCommandEvent&) {
    ClearList(m_watermarkList);
    ShowTrackOnStrip();
}

// ---------------------------------------------------------------------------
// Preview player

void CMainFormImp::ShowPicture(PreviewPlayer::Picture picture) {
    if (picture == PreviewPlayer::Picture::Pause && !m_playheadTimer.IsRunning())
        m_playheadTimer.Start(200);
    if (picture == PreviewPlayer::Picture::Play)
        m_waveformStrip->SetPlayhead(-1);
    const wxBitmap& bitmap = picture == PreviewPlayer::Picture::Pause    ? m_pauseBitmap
                             : picture == PreviewPlayer::Picture::Resume ? m_resumeBitmap
                                                                         : m_playBitmap;
    // A picture that failed to load is left off the button.
    if (bitmap.IsOk())
        m_playButton->SetBitmap(bitmap);
}

void CMainFormImp::ShowMessage(const wxString& text) {
    Notice(text);
}

void CMainFormImp::OnButtonPlayClick(wxCommandEvent&) {
    PlaySelected(-1);
}

void CMainFormImp::OnWaveformClick(wxCommandEvent& event) {
    PlaySelected(event.GetExtraLong());
}

void CMainFormImp::PlaySelected(long ms) {
    const wxString track = SelectedTrack();
    wxString file = track;
    // Pausing, resuming and a missing selection are the player's own; only
    // a new start, or a move within the track, plays it as it will be written.
    const bool moves = ms >= 0 && !track.empty();
    double from = 0;
    if (m_watermarkedCheckBox->GetValue() && !file.empty() &&
        (moves || (!m_player.IsPlaying() && !m_player.IsStarting()))) {
        if (m_listMeasure.Waits(SelectedRowPath()) || m_listMeasure.Waits(m_watermarkList)) {
            Notice("The watermarked preview needs the lengths of the track and the watermarks: "
                   "wait until they are measured.");
            return;
        }
        if (!CheckClipStart())
            return;
        const Preset preset = PresetFromControls();
        // The render holds only the part of the track that the strip shows.
        from = StripPlanFor(track).from;
        // A move past the first part plays the whole, rendered now.
        const bool wholeNow =
            moves && ms - from * 1000 >= (StampedPreview::kFirstPartSeconds - 1) * 1000.0;
        wxString failure;
        bool rendered = false;
        {
            wxBusyCursor busy;
            wxWindowDisabler noInput;
            if (!WaitFor(
                    [&] {
                        rendered = m_stampedPreview.Prepare(file, preset.watermarks,
                                                            SettingsFromPreset(preset), file,
                                                            failure, wholeNow);
                    },
                    [this] { m_stampedPreview.Cancel(); }))
                return;
        }
        if (!rendered) {
            Notice(failure);
            return;
        }
    }
    if (moves)
        m_player.PlayFrom(file, std::max(0L, ms - std::lround(from * 1000)));
    else
        m_player.PlayPressed(file);
    if (m_player.IsStarting()) {
        m_playingTrack = track;
        m_playingFrom = from;
    }
}

void CMainFormImp::OnPlayheadTimer(wxTimerEvent&) {
    if (!m_player.IsPlaying()) {
        m_playheadTimer.Stop();
        m_waveformStrip->SetPlayhead(-1);
        return;
    }
    // The strip may show another track by now.
    m_waveformStrip->SetPlayhead(
        m_playingTrack == SelectedTrack() ? m_playingFrom + m_media.Tell() / 1000.0 : -1);
}

// ---------------------------------------------------------------------------
// Waveform strip

const wxString* CMainFormImp::SelectedRowPath() const {
    const long row = m_trackList->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    return row == -1 ? nullptr : RowPath(m_trackList, row);
}

wxString CMainFormImp::SelectedTrack() const {
    const wxString* path = SelectedRowPath();
    return path ? *path : wxString();
}

StripPlan CMainFormImp::StripPlanFor(const wxString& track) const {
    const Preset preset = PresetFromControls();
    std::vector<double> watermarkSeconds;
    for (const wxString& path : preset.watermarks) {
        const auto length = m_lengths.find(path);
        watermarkSeconds.push_back(length == m_lengths.end() ? 0 : length->second.exactSeconds);
    }
    const auto length = m_lengths.find(track);
    const double seconds =
        length != m_lengths.end() ? length->second.exactSeconds : m_envelopes.Seconds(track);
    return PlanStrip(seconds, SettingsFromPreset(preset), watermarkSeconds,
                     m_envelopes.Loudness(track).get());
}

void CMainFormImp::ShowTrackOnStrip() {
    const wxString track = SelectedTrack();
    if (track.empty()) {
        m_waveformStrip->SetPlan(StripPlan());
        m_waveformStrip->SetEnvelope(nullptr);
        m_waveformStrip->SetText("Select a track to see where its watermarks go");
        m_waveformStrip->SetPlayhead(-1);
        return;
    }
    const FileStamp stamp = StampOf(track);
    const KnownEnvelope* known = m_envelopes.Find(track, stamp);
    if (!known) {
        ReadEnvelope(track, stamp);
        known = m_envelopes.Find(track, stamp);
    }
    m_waveformStrip->SetPlan(StripPlanFor(track));
    m_waveformStrip->SetEnvelope(known->envelope);
    m_waveformStrip->SetText(known->reading ? wxString("Reading...") : known->failure);
    if (track != m_playingTrack)
        m_waveformStrip->SetPlayhead(-1);
}

void CMainFormImp::ReadEnvelope(const wxString& track, const FileStamp& stamp) {
    m_envelopes.Read(
        track, stamp, m_envelopeQueue,
        // Passed over on the way to another track: read when shown again.
        [this, track] { return SelectedTrack() == track; },
        [this, track] {
            if (SelectedTrack() == track)
                ShowTrackOnStrip();
        });
}

void CMainFormImp::OnButtonPauseClick(wxCommandEvent&) {
    m_player.PausePressed();
}

void CMainFormImp::OnButtonStopClick(wxCommandEvent&) {
    m_player.StopPressed();
}

void CMainFormImp::OnVolumeChange(wxScrollEvent&) {
    m_media.SetVolume(m_volumeSlider->GetValue() / 100.0);
}

// ---------------------------------------------------------------------------
// Settings

Preset CMainFormImp::PresetFromControls() const {
    Preset preset;
    m_settings.Read(preset);
    preset.seed = m_seed;
    preset.folder = m_outputFolder;
    preset.watermarks = ListPaths(m_watermarkList);
    return preset;
}

void CMainFormImp::ShowPreset(const Preset& preset) {
    m_settings.Show(preset);
    m_seed = preset.seed;
    SetOutputFolder(preset.folder);
    ClearList(m_watermarkList);
    if (!preset.watermarks.empty())
        OnWatermarkListDropFiles(preset.watermarks);
    ShowTrackOnStrip();
}

void CMainFormImp::OnLevelChange(wxScrollEvent& event) {
    m_settings.ShowLevel(event.GetPosition());
}

void CMainFormImp::OnLevelModeChoice(wxCommandEvent&) {
    m_settings.ShowLevel(m_levelSlider->GetValue()); // its unit changes
}

void CMainFormImp::OnDipChoice(wxCommandEvent&) {
    ShowTrackOnStrip(); // the strip draws the dip
}

bool CMainFormImp::CheckClipStart() {
    if (m_settings.ClipStartReadable())
        return true;
    Notice("The clip's start \"" + m_clipStartText->GetValue() +
           "\" is not a position in the track: type seconds (\"45\") or minutes and seconds "
           "(\"1:30\"), up to " +
           ClockText(g_maxClipStart) + ".");
    m_clipStartText->SetFocus();
    return false;
}

void CMainFormImp::OnClipChoice(wxCommandEvent&) {
    m_settings.EnableClipSettings();
    ShowTrackOnStrip();
}

void CMainFormImp::OnClipStartText(wxCommandEvent&) {
    ShowTrackOnStrip();
}

void CMainFormImp::OnStartChoice(wxCommandEvent&) {
    ShowTrackOnStrip();
}

void CMainFormImp::OnRepeatChoice(wxCommandEvent&) {
    ShowTrackOnStrip();
}

void CMainFormImp::OnVaryChange(wxCommandEvent&) {
    ShowTrackOnStrip();
}

void CMainFormImp::SetOutputFolder(const wxString& folder) {
    m_outputFolder = folder;
    // A folder name may hold '&', which a plain label would take for a mnemonic.
    m_outputFolderLabel->SetLabelText(folder);
    Layout();
}

void CMainFormImp::OnChangeQuality(wxScrollEvent& event) {
    m_settings.ShowQualityPosition(event.GetPosition());
}

void CMainFormImp::OnAudioFormatClick(wxCommandEvent&) {
    m_settings.EnableQualityForFormat();
}

void CMainFormImp::ChooseOutputFolderClicked(wxCommandEvent&) {
    // Always starts at the home folder, whatever was chosen before.
    wxString folder;
    if (ChooseFolder(this, "Choose a directory for your output folder", folder))
        SetOutputFolder(folder);
}

// ---------------------------------------------------------------------------
// Recipients and leaked copies

void CMainFormImp::OnRecipientsClick(wxCommandEvent&) {
    RecipientsDlgImp dialog(this, m_recipients);
    if (dialog.ShowModal() != wxID_OK)
        return;
    m_recipients = dialog.Options();
    m_recipientsLabel->SetLabel(RecipientsSummary(m_recipients));
    m_recipientsLabel->GetContainingSizer()->Layout();
}

void CMainFormImp::IdentifyLeakedCopy() {
    m_leakCheck.Ask();
}

// ---------------------------------------------------------------------------
// Processing run

RenderSettings CMainFormImp::RunSettings() const {
    RenderSettings settings = SettingsFromPreset(PresetFromControls());
    settings.recipients = m_recipients;
    return settings;
}

bool CMainFormImp::AskMergeName(wxString& name) {
    return AskText(this,
                   "Please provide your merge output file name (The file will be created in "
                   "the output folder you choose)",
                   "Please choose output file", ProposedMergeName(ListPaths(m_trackList)), name);
}

void CMainFormImp::OnGoClicked(wxCommandEvent&) {
    // Disabled while added files are measured.
    if (!m_goButton->IsEnabled())
        return;
    if (!CheckClipStart())
        return;
    RenderSettings settings = RunSettings();
    const wxArrayString tracks = ListPaths(m_trackList);
    const wxArrayString watermarks = ListPaths(m_watermarkList);
    wxString problem = RenderRun(settings, tracks, watermarks).InputProblem();
    if (problem.empty() && settings.merge) {
        if (!AskMergeName(settings.mergeName))
            return;
        problem = RenderRun(settings, tracks, watermarks).MergeProblem();
    }
    if (!problem.empty()) {
        Notice(problem);
        return;
    }

    RenderRun run(settings, tracks, watermarks);
    wxArrayString lines;
    {
        // A copy of every track per recipient, each counted.
        const size_t copies = std::max<size_t>(1, settings.recipients.list.size());
        ProgressDialog progress(this, static_cast<int>(tracks.size() * copies));
        if (!WaitFor([&] { lines = run.Run(&progress); }, [&] { run.Cancel(); }))
            return; // closed during the run: no results
        progress.Hide();
    }
    ProcessCompleteImp results(lines, m_outputFolder, this, wxID_ANY, "Process Completed",
                               wxDefaultPosition, wxDefaultSize,
                               wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    results.ShowModal();
}

// ---------------------------------------------------------------------------
// Presets

void CMainFormImp::StartPresets() {
    if (!m_presets.Exists(g_defaultPreset))
        CreatePreset(g_defaultPreset);
    else
        LoadPreset(g_defaultPreset);
    m_presets.AddShippedPresets();
    ReadPresets(g_defaultPreset);
}

void CMainFormImp::CreatePreset(const wxString& name) {
    m_presets.Save(name, PresetFromControls());
}

bool CMainFormImp::LoadPreset(const wxString& name) {
    Preset preset = PresetFromControls();
    if (!m_presets.Load(name, preset))
        return false;
    const wxString missing = DropMissingWatermarks(name, preset.watermarks);
    ShowPreset(preset);
    if (!missing.empty())
        Notice(missing);
    return true;
}

void CMainFormImp::ReadPresets(const wxString& select) {
    m_presetNames = m_presets.Names();
    SetPresetChoice(select);
}

void CMainFormImp::SetPresetChoice(const wxString& select) {
    m_presetChoice->Clear();
    m_presetChoice->Append("New...");
    for (const wxString& name : m_presetNames) {
        const int entry = m_presetChoice->Append(name);
        if (m_presetChoice->GetStringSelection() != select)
            m_presetChoice->SetSelection(entry);
    }
}

void CMainFormImp::OnLoadPreset(wxCommandEvent&) {
    if (m_presetChoice->GetSelection() != wxNOT_FOUND)
        LoadPreset(m_presetChoice->GetStringSelection());
}

void CMainFormImp::OnSavePresetButton(wxCommandEvent&) {
    if (!CheckClipStart())
        return;
    const int selection = m_presetChoice->GetSelection();
    const bool isNew = selection == 0 || selection == wxNOT_FOUND;
    const wxString name = isNew ? AskPresetName(this) : m_presetChoice->GetStringSelection();
    wxString select;
    if (!name.empty()) {
        const bool exists = !isNew || m_presets.Exists(name);
        if (!exists ||
            Confirm(this, "Are you sure you want to rewrite the preset '" + name + "' ?")) {
            CreatePreset(name);
            select = name;
        }
    }
    ReadPresets(select);
}

void CMainFormImp::OnDeletePreset(wxCommandEvent&) {
    // "New..." is no preset.
    if (m_presetChoice->GetSelection() == wxNOT_FOUND || m_presetChoice->GetSelection() == 0)
        return;
    const wxString name = m_presetChoice->GetStringSelection();
    if (name == g_defaultPreset) {
        Notice("You can not delete your default preset");
        return;
    }
    if (!Confirm(this, "Are you sure you want to delete preset '" + name + "' ?"))
        return;
    m_presets.Remove(name);
    m_config.Flush(false);
    ReadPresets(wxEmptyString);
}
