// The results dialog's behaviour.
#include "ProcessCompleteImp.h"

#include <wx/utils.h>

std::function<void(const wxString&)> ProcessCompleteImp::s_openFolder = [](const wxString& folder) {
    // xdg-open on Linux, given the folder as one argument; its outcome is not waited for.
    wxLaunchDefaultApplication(folder);
};

ProcessCompleteImp::ProcessCompleteImp(wxArrayString results, wxString folder, wxWindow* parent,
                                       int id, const wxString& title, const wxPoint& pos,
                                       const wxSize& size, long style)
    : ProcessComplete(parent, id, title, pos, size, style), m_resultFolder(folder) {
    SetSize(wxSize(756, 308));
    m_resultsList->InsertColumn(0, "Information", wxLIST_FORMAT_LEFT);
    m_resultsList->SetColumnWidth(0, 500);
    // The last track first, but each track's lines together, its own line
    // first: lines of one name that follow one another are one track's.
    long inGroup = 0;
    wxString group;
    for (const wxString& line : results) {
        const wxString name = line.BeforeFirst(':');
        inGroup = name == group && line.Contains(": ") ? inGroup + 1 : 0;
        group = line.Contains(": ") ? name : wxString();
        m_resultsList->InsertItem(inGroup, line);
    }
}

void ProcessCompleteImp::OnOutputFolderClick(wxCommandEvent&) {
    s_openFolder(m_resultFolder);
}

void ProcessCompleteImp::OnCloseClick(wxCommandEvent&) {
    Close(false);
}
