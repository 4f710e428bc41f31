// The results dialog's behaviour.
#ifndef PROCESSCOMPLETEIMP_H
#define PROCESSCOMPLETEIMP_H

#include "processcomplete.h"

#include <wx/arrstr.h>

#include <functional>

template <typename Tag> struct ResultsDialogProbe;

// The results dialog: the run's result lines (a track's line, its notes, the
// merged file's), newest first.
class ProcessCompleteImp : public ProcessComplete {
public:
    // Lists results (in processing order) with the last one on top;
    // "Go to output folder" opens folder.
    ProcessCompleteImp(wxArrayString results, wxString folder, wxWindow* parent, int id,
                       const wxString& title, const wxPoint& pos, const wxSize& size, long style);

    // Opens a folder in the desktop's file browser without waiting for it.
    // Tests replace it to see the folder instead of opening a browser.
    static std::function<void(const wxString&)> s_openFolder;

    template <typename Tag> friend struct ResultsDialogProbe;

protected:
    void OnOutputFolderClick(wxCommandEvent& event) override;
    void OnCloseClick(wxCommandEvent& event) override;

private:
    wxString m_resultFolder;
};

#endif
