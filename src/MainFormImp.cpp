#include "MainFormImp.h"

#include "ProcessCompleteImp.h"

#include <wx/filename.h>
#include <wx/progdlg.h>
#include <wx/textdlg.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include <cstdlib>
#include <memory>

const int g_sliderToBitrate[10] = {64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
const wxString g_defaultPreset = "Default Preset";
const int g_maxWatermarkSeconds = 4;

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
}

void MenuBarImp::OnVisitWebsite(wxCommandEvent&) {
}

void MenuBarImp::OnQuitMenu(wxCommandEvent&) {
    m_mainForm->Close(false);
}

void MenuBarImp::OnMenuCheckForUpdate(wxCommandEvent&) {
}

void MenuBarImp::OnMenuTutorial(wxCommandEvent&) {
}

void MenuBarImp::OnMenuFeedback(wxCommandEvent&) {
}

void MenuBarImp::OnMenuFAQ(wxCommandEvent&) {
}

void MenuBarImp::OnMenuSupport(wxCommandEvent&) {
}

void MenuBarImp::OnMenuFacebook(wxCommandEvent&) {
}

void MenuBarImp::OnMenuTwitter(wxCommandEvent&) {
}

void MenuBarImp::OnMenuGoogle(wxCommandEvent&) {
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

    SetMenuBar(menuBar);
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
            wxMessageBox("Please use watermark files which are maximum of 4 seconds long.",
                         wxMessageBoxCaptionStr, wxOK | wxCENTRE);
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

void CMainFormImp::ClearList(wxListCtrl* list) {
    for (long row = 0; row < list->GetItemCount(); ++row) {
        delete reinterpret_cast<wxString*>(list->GetItemData(row));
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

void CMainFormImp::DeleteItemsFromList(wxListCtrl*) {
}

void CMainFormImp::MoveItemsUp(wxListCtrl*) {
}

void CMainFormImp::MoveItemsDown(wxListCtrl*) {
}

void CMainFormImp::OnDeleteListItem(wxListEvent& event) {
    delete reinterpret_cast<wxString*>(event.GetData());
}

void CMainFormImp::OnFileListKeyDown(wxListEvent& event) {
    event.Skip();
}

void CMainFormImp::OnWatermarkListKeyDown(wxListEvent& event) {
    event.Skip();
}

void CMainFormImp::OnFileListAddFiles(wxCommandEvent&) {
}

void CMainFormImp::OnWatermarkListAddFiles(wxCommandEvent&) {
}

void CMainFormImp::OnFileListDelete(wxCommandEvent&) {
}

void CMainFormImp::OnWatermarkListDelete(wxCommandEvent&) {
}

void CMainFormImp::OnFileListMoveUp(wxCommandEvent&) {
}

void CMainFormImp::OnWatermarkMoveUp(wxCommandEvent&) {
}

void CMainFormImp::OnFileListMoveDown(wxCommandEvent&) {
}

void CMainFormImp::OnWatermarkListMoveDown(wxCommandEvent&) {
}

void CMainFormImp::OnClearFileList(wxCommandEvent&) {
}

void CMainFormImp::OnWatermarkListClear(wxCommandEvent&) {
}

// ---------------------------------------------------------------------------
// Preview player

void CMainFormImp::OnButtonPlayClick(wxCommandEvent&) {
}

void CMainFormImp::OnButtonPauseClick(wxCommandEvent&) {
}

void CMainFormImp::OnTimer(wxTimerEvent&) {
}

void CMainFormImp::OnTimerCheckState(wxTimerEvent&) {
}

void CMainFormImp::OnButtonStopClick(wxCommandEvent&) {
}

void CMainFormImp::OnVolumeChange(wxScrollEvent&) {
}

// ---------------------------------------------------------------------------
// Output settings

void CMainFormImp::DeriveWorkingSettings() {
    m_start = 5;
    m_repeatEvery = 5;
    m_outputBitrate = 320;
    m_outputFormat = "MP3";
}

void CMainFormImp::OnStartChoice(wxCommandEvent&) {
}

void CMainFormImp::OnRepeatChoice(wxCommandEvent&) {
}

void CMainFormImp::OnChangeQuality(wxScrollEvent&) {
}

void CMainFormImp::OnAudioFormatClick(wxCommandEvent&) {
}

void CMainFormImp::ChooseOutputFolderClicked(wxCommandEvent&) {
}

// ---------------------------------------------------------------------------
// Processing run

namespace {

void Notify(const wxString& message) {
    wxMessageBox(message, wxMessageBoxCaptionStr, wxOK | wxCENTRE);
}

// A folder of the system's temporary folder, removed with its contents when
// the object goes.
class RunFolder {
public:
    RunFolder() {
        wxCharBuffer pattern =
            (wxFileName::GetTempDir() + "/velisto-run-XXXXXX").fn_str();
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

wxArrayString CMainFormImp::ListPaths(wxListCtrl* list) {
    wxArrayString paths;
    for (long row = 0; row < list->GetItemCount(); ++row) {
        auto* path = reinterpret_cast<wxString*>(list->GetItemData(row));
        paths.Add(path ? *path : wxString());
    }
    return paths;
}

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
        Notify("Please provide a file name for the merged file, without a folder.");
        return false;
    }
    mergedPath = MergedOutputPath(m_outputFolder, name, m_outputFormat);
    for (const wxString& path : listed) {
        if (IsSameFile(mergedPath, path)) {
            Notify("The merged file " + mergedPath + " would replace " +
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
        Notify("Choose an output folder first.");
        return;
    }
    if (m_trackList->GetItemCount() == 0) {
        Notify("Please add at least one input file.");
        return;
    }
    if (m_watermarkList->GetItemCount() == 0) {
        Notify("Please add at least one watermark file.");
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
            Notify("Could not create a temporary folder in " + wxFileName::GetTempDir() + ".");
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

void CMainFormImp::CreatePreset(const wxString&) {
}

bool CMainFormImp::LoadPreset(const wxString&) {
    return false;
}

void CMainFormImp::CreatePresetWithWatermark(const wxString&, const wxString&) {
}

void CMainFormImp::ReadPresets(const wxString&) {
}

void CMainFormImp::SetPresetChoice(const wxString&) {
}

void CMainFormImp::OnLoadPreset(wxCommandEvent&) {
}

void CMainFormImp::OnSavePresetButton(wxCommandEvent&) {
}

void CMainFormImp::OnDeletePreset(wxCommandEvent&) {
}
