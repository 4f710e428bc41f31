// The results dialog's layout.
#ifndef PROCESSCOMPLETE_H
#define PROCESSCOMPLETE_H

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/listctrl.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

// Layout of the results dialog.
class ProcessComplete : public wxDialog {
public:
    ProcessComplete(wxWindow* parent, int id, const wxString& title, const wxPoint& pos,
                    const wxSize& size, long style);
    ~ProcessComplete() override;

protected:
    wxStaticText* m_resultsLabel;
    wxListCtrl* m_resultsList;
    wxButton* m_goToFolderButton;
    wxButton* m_closeButton;

    virtual void OnOutputFolderClick(wxCommandEvent& event) { event.Skip(); }
    virtual void OnCloseClick(wxCommandEvent& event) { event.Skip(); }
};

#endif
