#include "MainFormImp.h"

#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

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

void CMainFormImp::OnGoClicked(wxCommandEvent&) {
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
