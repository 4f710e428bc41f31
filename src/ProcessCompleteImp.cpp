#include "ProcessCompleteImp.h"

ProcessCompleteImp::ProcessCompleteImp(wxArrayString, wxString folder, wxWindow* parent, int id,
                                       const wxString& title, const wxPoint& pos,
                                       const wxSize& size, long style)
    : ProcessComplete(parent, id, title, pos, size, style), m_resultFolder(folder) {
}

void ProcessCompleteImp::OnOutputFolderClick(wxCommandEvent&) {
}

void ProcessCompleteImp::OnCloseClick(wxCommandEvent&) {
    Close(false);
}
