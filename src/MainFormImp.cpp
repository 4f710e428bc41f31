#include "MainFormImp.h"

#include "ProcessCompleteImp.h"
#include "aboutdlg.h"

#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/progdlg.h>
#include <wx/msgdlg.h>
#include <wx/textdlg.h>
#include <wx/utils.h>
#include <wx/wupdlock.h>

#include <cstdlib>
#include <memory>

const int g_sliderToBitrate[10] = {64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
const wxString g_defaultPreset = "Default Preset";
const int g_maxWatermarkSeconds = 4;

namespace {

// The common notice: default caption, OK, centred, no parent.
void Notice(const wxString& text) {
    wxMessageBox(text, wxMessageBoxCaptionStr, wxOK | wxCENTRE);
}

// The full path a list row carries, or null.
const wxString* RowPath(wxListCtrl* list, long row) {
    return reinterpret_cast<const wxString*>(list->GetItemData(row));
}

} // namespace

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

std::function<void(const wxString&)> g_webPageOpener;

void OpenWebPage(const wxString& address) {
    if (g_webPageOpener) {
        g_webPageOpener(address);
        return;
    }
    wxLaunchDefaultBrowser(address, 0);
}

MenuBarImp::MenuBarImp(CMainFormImp* mainForm, long style) : MenuBar(style), m_mainForm(mainForm) {
}

void MenuBarImp::OnAbout(wxCommandEvent&) {
    AboutDlg dialog(m_mainForm, wxID_ANY, "About", wxDefaultPosition, wxSize(431, 691),
                    wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    dialog.ShowModal();
}

void MenuBarImp::OnVisitWebsite(wxCommandEvent&) {
    OpenWebPage(g_websiteBase + "/");
}

void MenuBarImp::OnQuitMenu(wxCommandEvent&) {
    m_mainForm->Close(false);
}

void MenuBarImp::OnMenuCheckForUpdate(wxCommandEvent&) {
    OpenWebPage(g_websiteBase + "/versionupdate_v1_01");
}

void MenuBarImp::OnMenuTutorial(wxCommandEvent&) {
    OpenWebPage(g_websiteBase + "/tutorials");
}

void MenuBarImp::OnMenuFeedback(wxCommandEvent&) {
    OpenWebPage(g_websiteBase + "/contact/");
}

void MenuBarImp::OnMenuFAQ(wxCommandEvent&) {
    OpenWebPage(g_websiteBase + "/faq");
}

void MenuBarImp::OnMenuSupport(wxCommandEvent&) {
    OpenWebPage(g_websiteBase + "/support");
}

void MenuBarImp::OnMenuFacebook(wxCommandEvent&) {
    OpenWebPage(g_facebookPage);
}

void MenuBarImp::OnMenuTwitter(wxCommandEvent&) {
    OpenWebPage(g_twitterPage);
}

void MenuBarImp::OnMenuGoogle(wxCommandEvent&) {
    OpenWebPage(g_googlePlusPage);
}

// ---------------------------------------------------------------------------
// Window set-up

CMainFormImp::CMainFormImp(wxWindow* parent, int id, const wxString& title, const wxPoint& pos,
                           const wxSize& size, long style)
    : MainForm(parent, id, title, pos, size, style), m_start(0), m_repeatEvery(0),
      m_outputBitrate(0), m_itemCount(0), m_isPlaying(false) {
    MenuBarImp* menuBar = new MenuBarImp(this, 0);
    Centre(wxBOTH);

    m_playBitmap = wxBitmap(g_resourceFolder + "play.bmp", wxBITMAP_TYPE_ANY);
    m_pauseBitmap = wxBitmap(g_resourceFolder + "pause.bmp", wxBITMAP_TYPE_ANY);
    m_resumeBitmap = wxBitmap(g_resourceFolder + "resume.bmp", wxBITMAP_TYPE_ANY);
    m_mediaCtrl->Bind(wxEVT_MEDIA_LOADED, &CMainFormImp::OnMediaLoaded, this);

    SetMenuBar(menuBar);
    // GTK's widgets are roomier than the layout was drawn for; the compact
    // variant lets every control fit the opening size.
    for (wxWindow* child : GetChildren())
        child->SetWindowVariant(wxWINDOW_VARIANT_SMALL);
    SetSize(wxSize(929, 670));
    SetMinSize(wxSize(-1, 170));

    m_trackList->SetDropTarget(new DnDFile(this, m_trackList));
    m_watermarkList->SetDropTarget(new DnDFile(this, m_watermarkList));
    struct Column {
        const char* title;
        int trackWidth;
        int watermarkWidth;
    };
    const Column columns[] = {
        {"", 30, 30}, {"FileName", 500, 200}, {"Size", 100, 100}, {"Length", 100, 200}};
    for (int i = 0; i < 4; ++i) {
        m_trackList->InsertColumn(i, columns[i].title, wxLIST_FORMAT_LEFT, columns[i].trackWidth);
        m_watermarkList->InsertColumn(i, columns[i].title, wxLIST_FORMAT_LEFT,
                                      columns[i].watermarkWidth);
    }

    m_qualitySlider->SetRange(0, 9);
    m_qualitySlider->SetValue(9);
    m_outputFolder.clear();
    DeriveWorkingSettings();

    StartPresets();
}

CMainFormImp::~CMainFormImp() {
    // Removing all rows raises no per-row deletion event, so release them here.
    ClearList(m_trackList);
    ClearList(m_watermarkList);
}

// ---------------------------------------------------------------------------
// Track and watermark lists

void CMainFormImp::AddFilesToList(wxListCtrl* list, const wxArrayString& paths,
                                  int maxWholeSeconds) {
    // Each file is measured by SoX before its row appears; that can take a while.
    wxBusyCursor busy;
    CSoxHandler sox;
    sox.SetOperation(SOX_TRACK_LENGTH);
    for (const wxString& path : paths) {
        if (!wxFileExists(path))
            continue;
        sox.SetInputFile(path);
        if (!sox.Run())
            continue;
        if (maxWholeSeconds >= 0 && sox.GetResultLong() > maxWholeSeconds) {
            Notice("Please use watermark files which are maximum of 4 seconds long.");
            return;
        }
        wxFileName file(path);
        const wxULongLong kilobytes = file.GetSize() / 1000;
        const long row = list->InsertItem(list->GetItemCount(),
                                          wxString::Format("%d", list->GetItemCount() + 1));
        list->SetItemPtrData(row, reinterpret_cast<wxUIntPtr>(new wxString(path)));
        list->SetItem(row, 1, file.GetFullName());
        list->SetItem(row, 2, wxString::Format("%s KB", kilobytes.ToString()));
        list->SetItem(row, 3, sox.GetResult());
    }
}

wxArrayString CMainFormImp::ListPaths(wxListCtrl* list) {
    wxArrayString paths;
    for (long row = 0; row < list->GetItemCount(); ++row) {
        const wxString* path = RowPath(list, row);
        paths.Add(path ? *path : wxString());
    }
    return paths;
}

void CMainFormImp::ClearList(wxListCtrl* list) {
    for (long row = 0; row < list->GetItemCount(); ++row) {
        delete RowPath(list, row);
        list->SetItemPtrData(row, 0);
    }
    list->DeleteAllItems();
}

void CMainFormImp::OnFileListDropFiles(const wxArrayString& paths) {
    AddFilesToList(m_trackList, paths, -1);
}

void CMainFormImp::OnWatermarkListDropFiles(const wxArrayString& paths) {
    AddFilesToList(m_watermarkList, paths, g_maxWatermarkSeconds);
}

namespace {

bool IsDeleteKey(int code) {
    return code == WXK_DELETE || code == WXK_BACK || code == WXK_NUMPAD_DELETE;
}

} // namespace

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
    wxFileDialog dialog(this, _("Please choose file(s) to add"), wxEmptyString, wxEmptyString,
                        "Audio files (*.mp3;*.wav;*.aiff)|*.mp3;*.wav;*.aiff",
                        wxFD_OPEN | wxFD_MULTIPLE);
    if (dialog.ShowModal() == wxID_CANCEL)
        return false;
    dialog.GetPaths(paths);
    return true;
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
}

void CMainFormImp::OnFileListKeyDown(wxListEvent& event) {
    DeleteFocusedRow(m_trackList, event);
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
        const long row = list->InsertItem(i, wxString::Format("%d", i + 1));
        list->SetItemPtrData(row, record.itemData);
        list->SetItem(row, 1, record.fileName);
        list->SetItem(row, 2, record.fileSize);
        list->SetItem(row, 3, record.fileLength);
        if (record.isSelected) {
            list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
            if (firstSelected == -1)
                firstSelected = row;
        }
    }
    if (firstSelected != -1)
        list->EnsureVisible(firstSelected);
}

void CMainFormImp::MoveItemsUp(wxListCtrl* list) {
    MoveItems(list, true);
}

void CMainFormImp::MoveItemsDown(wxListCtrl* list) {
    MoveItems(list, false);
}

void CMainFormImp::OnDeleteListItem(wxListEvent& event) {
    delete reinterpret_cast<wxString*>(event.GetData());
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

void CMainFormImp::OnClearFileList(wxCommandEvent&) {
    ClearList(m_trackList);
}

void CMainFormImp::OnWatermarkListClear(wxCommandEvent&) {
    ClearList(m_watermarkList);
}

// ---------------------------------------------------------------------------
// Preview player

namespace {

const int kStartDelayMs = 500;
const int kStateCheckMs = 1000;
// How many more start delays to wait for a back end that has not yet taken
// up the file (a busy machine) before calling the file unreadable.
const int kMaxExtraStartDelays = 20;

void ShowLoadFailure() {
    Notice("Fail to load media file");
}

} // namespace

void CMainFormImp::OnButtonPlayClick(wxCommandEvent& event) {
    if (m_isPlaying) {
        OnButtonPauseClick(event);
        return;
    }
    // A start is already on its way; loading again would start playback twice.
    if (m_startDelayTimer.IsRunning())
        return;
    const long row = m_trackList->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    if (row == -1) {
        Notice("Select a file to play first.");
        return;
    }
    const wxString* path = RowPath(m_trackList, row);
    m_mediaAnnounced = false;
    // A file removed since it was listed fails at once instead of after the delay.
    if (!path || !wxFileExists(*path) || !m_mediaCtrl->Load(*path)) {
        ShowLoadFailure();
        return;
    }
    m_extraStartDelays = 0;
    m_startDelayTimer.StartOnce(kStartDelayMs);
}

void CMainFormImp::OnButtonPauseClick(wxCommandEvent&) {
    switch (m_mediaCtrl->GetState()) {
    case wxMEDIASTATE_PAUSED:
        m_mediaCtrl->Play();
        ShowPlayPicture(m_pauseBitmap);
        break;
    case wxMEDIASTATE_PLAYING:
        m_mediaCtrl->Pause();
        ShowPlayPicture(m_resumeBitmap);
        break;
    default:
        // The player stopped by itself (end of file or an error) before the
        // state check noticed; pausing now would load the file again.
        ReturnToIdle();
        break;
    }
}

void CMainFormImp::OnTimer(wxTimerEvent&) {
    // The back end reads the file in the background. It takes the file up
    // (announced by wxEVT_MEDIA_LOADED) and then, when it cannot decode it,
    // stops the player; a player still stopped before that has not started.
    if (m_mediaCtrl->GetState() == wxMEDIASTATE_STOPPED) {
        if (!m_mediaAnnounced && m_extraStartDelays < kMaxExtraStartDelays) {
            ++m_extraStartDelays;
            m_startDelayTimer.StartOnce(kStartDelayMs);
            return;
        }
        ShowLoadFailure();
        return;
    }
    m_mediaCtrl->Play();
    m_isPlaying = true;
    ShowPlayPicture(m_pauseBitmap);
    m_stateCheckTimer.StartOnce(kStateCheckMs);
}

void CMainFormImp::OnTimerCheckState(wxTimerEvent&) {
    if (m_mediaCtrl->GetState() != wxMEDIASTATE_STOPPED) {
        m_stateCheckTimer.StartOnce(kStateCheckMs);
        return;
    }
    ReturnToIdle();
}

void CMainFormImp::OnButtonStopClick(wxCommandEvent&) {
    // Also cancels a start still waiting for its delay.
    m_startDelayTimer.Stop();
    m_mediaCtrl->Stop();
    ReturnToIdle();
}

void CMainFormImp::OnVolumeChange(wxScrollEvent&) {
    m_mediaCtrl->SetVolume(m_volumeSlider->GetValue() / 100.0f);
}

void CMainFormImp::OnMediaLoaded(wxMediaEvent& event) {
    m_mediaAnnounced = true;
    event.Skip();
}

void CMainFormImp::ShowPlayPicture(const wxBitmap& bitmap) {
    if (bitmap.IsOk())
        m_playButton->SetBitmap(bitmap);
}

void CMainFormImp::ReturnToIdle() {
    m_stateCheckTimer.Stop();
    m_isPlaying = false;
    ShowPlayPicture(m_playBitmap);
}

// ---------------------------------------------------------------------------
// Output settings

int StartSecondsForIndex(int index) {
    static const int seconds[g_startChoiceCount] = {0, 1, 2, 3, 4, 5, 10, 15, 20, 25, 30, 35, 40};
    return index >= 0 && index < g_startChoiceCount ? seconds[index] : -1;
}

int RepeatSecondsForIndex(int index) {
    static const int seconds[g_repeatChoiceCount] = {5, 10, 15};
    return index >= 0 && index < g_repeatChoiceCount ? seconds[index] : -1;
}

int BitrateForSliderPosition(int position) {
    return position >= 0 && position < g_qualityPositionCount ? g_sliderToBitrate[position] : -1;
}

void CMainFormImp::DeriveWorkingSettings() {
    const int start = StartSecondsForIndex(m_startChoice->GetSelection());
    if (start >= 0)
        m_start = start;
    const int repeat = RepeatSecondsForIndex(m_repeatChoice->GetSelection());
    if (repeat >= 0)
        m_repeatEvery = repeat;
    ApplyQualityPosition(m_qualitySlider->GetValue());
    if (m_mp3Radio->GetValue())
        ApplyFormatButton(m_mp3Radio->GetId());
    else if (m_wavRadio->GetValue())
        ApplyFormatButton(m_wavRadio->GetId());
    else if (m_aiffRadio->GetValue())
        ApplyFormatButton(m_aiffRadio->GetId());
}

void CMainFormImp::ApplyQualityPosition(int position) {
    const int bitrate = BitrateForSliderPosition(position);
    if (bitrate < 0)
        return;
    m_qualityLabel->SetLabel(wxString::Format("%d kbits", bitrate));
    m_qualityLabel->GetContainingSizer()->Layout();
    m_outputBitrate = bitrate;
}

void CMainFormImp::ApplyFormatButton(int id) {
    if (id == m_mp3Radio->GetId()) {
        m_qualitySlider->Enable();
        m_outputFormat = m_mp3Radio->GetLabelText();
        return;
    }
    // WAV and AIFF have no bitrate; label and value stay for a later return to MP3.
    m_qualitySlider->Disable();
    if (id == m_wavRadio->GetId())
        m_outputFormat = m_wavRadio->GetLabelText();
    else if (id == m_aiffRadio->GetId())
        m_outputFormat = m_aiffRadio->GetLabelText();
}

void CMainFormImp::SetOutputFolder(const wxString& folder) {
    m_outputFolder = folder;
    // A folder name may hold '&', which a plain label would take for a mnemonic.
    m_outputFolderLabel->SetLabelText(folder);
    Layout();
}

void CMainFormImp::OnStartChoice(wxCommandEvent& event) {
    const int start = StartSecondsForIndex(event.GetSelection());
    if (start >= 0)
        m_start = start;
}

void CMainFormImp::OnRepeatChoice(wxCommandEvent& event) {
    const int repeat = RepeatSecondsForIndex(event.GetSelection());
    if (repeat >= 0)
        m_repeatEvery = repeat;
}

void CMainFormImp::OnChangeQuality(wxScrollEvent& event) {
    ApplyQualityPosition(event.GetPosition());
}

void CMainFormImp::OnAudioFormatClick(wxCommandEvent& event) {
    ApplyFormatButton(event.GetId());
}

void CMainFormImp::ChooseOutputFolderClicked(wxCommandEvent&) {
    // Always starts at the home folder, whatever was chosen before.
    wxDirDialog dialog(this, "Choose a directory for your output folder", wxGetHomeDir(),
                       wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() == wxID_OK)
        SetOutputFolder(dialog.GetPath());
}

// ---------------------------------------------------------------------------
// Processing run

namespace {

// A folder of the system's temporary folder, removed with its contents when
// the object goes.
class RunFolder {
public:
    RunFolder() {
        wxCharBuffer pattern = (wxFileName::GetTempDir() + "/velisto-run-XXXXXX").fn_str();
        if (mkdtemp(pattern.data()))
            m_path = wxString(pattern.data(), *wxConvFileName);
    }
    ~RunFolder() {
        if (!m_path.empty())
            wxFileName::Rmdir(m_path, wxPATH_RMDIR_RECURSIVE);
    }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    const wxString& path() const { return m_path; }

private:
    wxString m_path;
};

} // namespace

bool CMainFormImp::AskMergedPath(const wxArrayString& listed, wxString& mergedPath) {
    const wxString firstName = m_trackList->GetItemText(0, 1);
    wxTextEntryDialog prompt(this,
                             "Please provide your merge output file name (The file will be "
                             "created in the output folder you choose)",
                             "Please choose output file", wxFileName(firstName).GetName(),
                             wxOK | wxCANCEL | wxCENTRE);
    if (prompt.ShowModal() != wxID_OK)
        return false;
    const wxString name = prompt.GetValue();
    if (!IsUsableMergeName(name)) {
        Notice("Please provide a file name for the merged file, without a folder.");
        return false;
    }
    mergedPath = MergedOutputPath(m_outputFolder, name, m_outputFormat);
    for (const wxString& path : listed) {
        if (IsSameFile(mergedPath, path)) {
            Notice("The merged file " + mergedPath + " would replace " +
                   wxFileName(path).GetFullName() +
                   ", which is in your lists. Please choose another name.");
            return false;
        }
    }
    return true;
}

wxString CMainFormImp::OutputConflict(const wxArrayString& tracks, size_t row,
                                      const wxString& output, const wxArrayString& written) {
    for (const wxString& earlier : written) {
        if (IsSameFile(output, earlier))
            return "Not processed: " + wxFileName(output).GetFullName() +
                   " was already written by an earlier track of this run.";
    }
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (i != row && IsSameFile(output, tracks[i]))
            return "Not processed: the output file would replace the listed track " +
                   wxFileName(tracks[i]).GetFullName() + ".";
    }
    return wxString();
}

void CMainFormImp::OnGoClicked(wxCommandEvent&) {
    if (m_outputFolder.empty()) {
        Notice("Choose an output folder first.");
        return;
    }
    if (m_trackList->GetItemCount() == 0) {
        Notice("Please add at least one input file.");
        return;
    }
    if (m_watermarkList->GetItemCount() == 0) {
        Notice("Please add at least one watermark file.");
        return;
    }

    const wxArrayString tracks = ListPaths(m_trackList);
    const wxArrayString watermarks = ListPaths(m_watermarkList);
    const bool merge = m_mergeCheckBox->IsChecked();
    wxString mergedPath;
    std::unique_ptr<RunFolder> renderFolder;
    if (merge) {
        wxArrayString listed = tracks;
        WX_APPEND_ARRAY(listed, watermarks);
        if (!AskMergedPath(listed, mergedPath))
            return;
        // Tracks of the same name from different folders must not overwrite
        // each other before the join: each renders into a folder of its own.
        renderFolder.reset(new RunFolder);
        if (renderFolder->path().empty()) {
            Notice("Could not create a temporary folder in " + wxFileName::GetTempDir() + ".");
            return;
        }
    }

    const wxString affix = m_affixText->GetValue();
    const bool isSuffix = m_affixChoice->GetSelection() == 1;
    const wxString format = m_outputFormat.Lower();

    wxGenericProgressDialog progress("Please wait...", "", m_trackList->GetItemCount(), this,
                                     wxPD_APP_MODAL | wxPD_AUTO_HIDE);
    CSoxHandler sox;
    wxArrayString rendered;
    wxArrayString lines;
    for (size_t i = 0; i < tracks.size(); ++i) {
        const wxString name = m_trackList->GetItemText(i, 1);
        progress.Update(i, "Processing file " + name);

        wxString folder = m_outputFolder;
        if (merge) {
            folder = renderFolder->path() + wxString::Format("/%zu", i + 1);
            wxFileName::Mkdir(folder);
        } else {
            const wxString output =
                WatermarkOutputPath(tracks[i], folder, isSuffix ? wxString() : affix,
                                    isSuffix ? affix : wxString(), format);
            const wxString conflict = OutputConflict(tracks, i, output, rendered);
            if (!conflict.empty()) {
                lines.Add(wxFileName(tracks[i]).GetFullName() + ": " + conflict);
                continue;
            }
        }
        sox.SetOutputFile(folder);
        sox.SetInputFile(tracks[i]);
        sox.SetStartTime(m_start);
        sox.SetWaterMarkInterval(m_repeatEvery);
        sox.SetFileFormat(m_outputFormat);
        sox.SetBitrate(m_mp3Radio->GetValue() ? m_outputBitrate : 0);
        sox.SetMono(m_monoCheckBox->IsChecked());
        sox.SetWaterMarks(watermarks);
        sox.SetOperation(SOX_ADD_WATERMARK);
        if (!affix.empty()) {
            if (isSuffix)
                sox.SetSuffix(affix);
            else
                sox.SetPrefix(affix);
        }
        if (sox.Run())
            rendered.Add(sox.GetResultOutput());
        if (!sox.GetErrors().empty())
            lines.Add(sox.GetErrors()[0]);
    }

    if (merge) {
        if (rendered.empty())
            lines.Add(wxFileName(mergedPath).GetFullName() +
                      ": Not created: no track was rendered.");
        else if (sox.AppendFiles(rendered, mergedPath) != 0 && !sox.GetErrors().empty())
            lines.Add(sox.GetErrors()[0]);
    }
    progress.Hide();

    ProcessCompleteImp results(lines, m_outputFolder, this, wxID_ANY, "Process Completed",
                               wxDefaultPosition, wxDefaultSize,
                               wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    results.ShowModal();
}

// ---------------------------------------------------------------------------
// Presets

namespace {

const wxString kPresetsGroup = "/Presets";
const wxString kWatermarkGroup = "/Watermark Settings";
// The leading blank is part of the stored format.
const wxString kOutputGroup = "/ Output Settings";
const wxString kFilesGroup = "/Watermark Settings/WatermarkFiles";

struct ShippedPreset {
    const char* name;
    const char* file;
};
const ShippedPreset kShippedPresets[] = {
    {"Market-Tag", "Presets/Market Tag Watermark.mp3"},
    {"Beep #1", "Presets/Beep Sound 1.mp3"},
    {"Beep #2", "Presets/Beep Sound 2.mp3"},
    {"Lo-Fi Preview", "Presets/Low-Fi Preview.mp3"},
    {"Sine+Delay", "Presets/Sine+Delay.mp3"},
    {"This Is A PF", "Presets/This Is A PF.mp3"},
    {"Whispering", "Presets/Whispering.mp3"},
    {"Alex(Mac) Preview", "Presets/Alex(Mac) Preview File.mp3"},
};

wxString PresetGroup(const wxString& name) {
    return kPresetsGroup + "/" + name;
}

// A stored index that no entry has falls back to the key's default.
int IndexOrDefault(long value, unsigned int count, int fallback) {
    return value >= 0 && value < static_cast<long>(count) ? static_cast<int>(value) : fallback;
}

} // namespace

wxString CheckPresetName(const wxString& typed, wxString& error) {
    wxString name = typed;
    name.Trim(true).Trim(false);
    error.clear();
    if (name.empty())
        error = "Please type a name for the preset.";
    else if (name.Find('/') != wxNOT_FOUND)
        error = "A preset name cannot contain \"/\".";
    return name;
}

void CMainFormImp::StartPresets() {
    m_config.SetPath("/");
    if (!m_config.HasGroup(PresetGroup(g_defaultPreset) + kWatermarkGroup))
        CreatePreset(g_defaultPreset);
    else
        LoadPreset(g_defaultPreset);
    for (const ShippedPreset& preset : kShippedPresets)
        CreatePresetWithWatermark(preset.name, preset.file);
    ReadPresets(g_defaultPreset);
}

void CMainFormImp::CreatePreset(const wxString& name) {
    const wxString group = PresetGroup(name);
    m_config.SetPath(group);
    m_config.SetPath(group + kWatermarkGroup);
    m_config.Write("Start", wxString::Format("%d", m_startChoice->GetSelection()));
    m_config.Write("RepeatEvery", wxString::Format("%d", m_repeatChoice->GetSelection()));

    m_config.SetPath(group + kOutputGroup);
    m_config.Write("IsMono", m_monoCheckBox->GetValue());
    m_config.Write("IsAppend", m_mergeCheckBox->GetValue());
    for (wxRadioButton* button : {m_mp3Radio, m_aiffRadio, m_wavRadio}) {
        if (button->GetValue())
            m_config.Write("OutputFormat", static_cast<long>(button->GetId()));
    }
    m_config.Write("Bitrate", static_cast<long>(m_qualitySlider->GetValue()));
    m_config.Write("OutputFolder", m_outputFolder);
    m_config.Write("PrefixOrSuffix", static_cast<long>(m_affixChoice->GetSelection()));
    m_config.Write("PrefixOrSuffixString", m_affixText->GetValue());

    m_config.SetPath(group + kFilesGroup);
    const wxArrayString files = ListPaths(m_watermarkList);
    for (size_t i = 0; i < files.size(); ++i)
        m_config.Write(wxString::Format("File%zu", i), files[i]);
    m_config.Flush(false);
}

bool CMainFormImp::LoadPreset(const wxString& name) {
    const wxString group = PresetGroup(name);
    m_config.SetPath("/");
    if (!m_config.HasGroup(group + kWatermarkGroup))
        return false;

    m_config.SetPath(group + kWatermarkGroup);
    m_startChoice->SetSelection(
        IndexOrDefault(m_config.Read("Start", 0L), m_startChoice->GetCount(), 0));
    m_repeatChoice->SetSelection(
        IndexOrDefault(m_config.Read("RepeatEvery", 1L), m_repeatChoice->GetCount(), 1));

    m_config.SetPath(group + kOutputGroup);
    m_monoCheckBox->SetValue(m_config.Read("IsMono", 0L) != 0);
    m_mergeCheckBox->SetValue(m_config.Read("IsAppend", 0L) != 0);
    // An unknown format checks no button: the buttons keep their state.
    const long format = m_config.Read("OutputFormat", static_cast<long>(m_mp3Radio->GetId()));
    for (wxRadioButton* button : {m_mp3Radio, m_aiffRadio, m_wavRadio}) {
        if (format == button->GetId())
            button->SetValue(true);
    }
    const long position = m_config.Read("Bitrate", 9L);
    m_qualitySlider->SetValue(
        static_cast<int>(wxClip(position, static_cast<long>(m_qualitySlider->GetMin()),
                                static_cast<long>(m_qualitySlider->GetMax()))));
    SetOutputFolder(m_config.Read("OutputFolder", wxString()));
    m_affixChoice->SetSelection(
        IndexOrDefault(m_config.Read("PrefixOrSuffix", 0L), m_affixChoice->GetCount(), 0));
    m_affixText->ChangeValue(m_config.Read("PrefixOrSuffixString", wxString()));

    DeriveWorkingSettings();

    m_config.SetPath(group + kFilesGroup);
    ClearList(m_watermarkList);
    wxArrayString files;
    for (int i = 0;; ++i) {
        const wxString key = wxString::Format("File%d", i);
        if (!m_config.HasEntry(key))
            break;
        files.Add(m_config.Read(key, wxString()));
    }
    if (!files.empty())
        OnWatermarkListDropFiles(files);
    return true;
}

void CMainFormImp::CreatePresetWithWatermark(const wxString& name, const wxString& file) {
    wxFileName sound(wxGetCwd(), wxFileName(file).GetFullName());
    for (const char* dir : {"Velisto.app", "Contents", "Resources", "Presets"})
        sound.AppendDir(dir);

    const wxString group = PresetGroup(name);
    m_config.SetPath("/");
    if (m_config.HasGroup(group + kWatermarkGroup))
        return;
    m_config.SetPath(group + kWatermarkGroup);
    m_config.Write("Start", "5");
    m_config.Write("RepeatEvery", "1");
    m_config.SetPath(group + kOutputGroup);
    m_config.Write("IsMono", "0");
    m_config.Write("IsAppend", "0");
    m_config.Write("OutputFormat", static_cast<long>(m_mp3Radio->GetId()));
    m_config.Write("Bitrate", "9");
    m_config.Write("PrefixOrSuffix", "1");
    m_config.SetPath(group + kFilesGroup);
    m_config.Write("File0", sound.GetFullPath());
}

void CMainFormImp::ReadPresets(const wxString& select) {
    m_presetNames.Clear();
    m_config.SetPath(kPresetsGroup);
    wxString name;
    long cookie;
    for (bool more = m_config.GetFirstGroup(name, cookie); more;
         more = m_config.GetNextGroup(name, cookie))
        m_presetNames.Add(name);
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

bool CMainFormImp::Confirm(const wxString& question) {
    wxMessageDialog ask(this, question, wxMessageBoxCaptionStr, wxYES_NO | wxCENTRE);
    return ask.ShowModal() == wxID_YES;
}

wxString CMainFormImp::AskPresetName() {
    wxTextEntryDialog prompt(this, "Please provide a name for your new preset", "New preset",
                             wxEmptyString, wxOK | wxCANCEL | wxCENTRE);
    if (prompt.ShowModal() != wxID_OK)
        return wxString();
    wxString error;
    const wxString name = CheckPresetName(prompt.GetValue(), error);
    if (!error.empty()) {
        Notice(error);
        return wxString();
    }
    return name;
}

void CMainFormImp::OnSavePresetButton(wxCommandEvent&) {
    const int selection = m_presetChoice->GetSelection();
    const bool isNew = selection == 0 || selection == wxNOT_FOUND;
    const wxString name = isNew ? AskPresetName() : m_presetChoice->GetStringSelection();
    wxString select;
    m_config.SetPath("/");
    if (!name.empty()) {
        const bool exists = !isNew || m_config.HasGroup(PresetGroup(name));
        if (!exists || Confirm("Are you sure you want to rewrite then preset '" + name + "' ?")) {
            // Replaced whole, so no watermark entries of the old preset survive.
            m_config.DeleteGroup(PresetGroup(name));
            CreatePreset(name);
            select = name;
        }
    }
    ReadPresets(select);
}

void CMainFormImp::OnDeletePreset(wxCommandEvent&) {
    if (m_presetChoice->GetSelection() == wxNOT_FOUND)
        return;
    const wxString name = m_presetChoice->GetStringSelection();
    if (name == g_defaultPreset) {
        Notice("You can not delete your default preset");
        return;
    }
    if (!Confirm("Are you sure you want to delete preset '" + name + "' ?"))
        return;
    m_config.SetPath("/");
    m_config.DeleteGroup(PresetGroup(name));
    ReadPresets(wxEmptyString);
}
