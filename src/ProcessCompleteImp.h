#ifndef PROCESSCOMPLETEIMP_H
#define PROCESSCOMPLETEIMP_H

#include "processcomplete.h"

#include <wx/arrstr.h>

// The results dialog: one line per processed track, newest first.
class ProcessCompleteImp : public ProcessComplete {
public:
    ProcessCompleteImp(wxArrayString results, wxString folder, wxWindow* parent, int id,
                       const wxString& title, const wxPoint& pos, const wxSize& size, long style);

protected:
    void OnOutputFolderClick(wxCommandEvent& event) override;
    void OnCloseClick(wxCommandEvent& event) override;

private:
    wxString m_resultFolder;
};

#endif
