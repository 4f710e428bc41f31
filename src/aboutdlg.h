#ifndef ABOUTDLG_H
#define ABOUTDLG_H

#include <wx/dialog.h>

// The About page: logo, version, links and credits. No behaviour of its own.
class AboutDlg : public wxDialog {
public:
    AboutDlg(wxWindow* parent, int id, const wxString& title, const wxPoint& pos,
             const wxSize& size, long style);
};

#endif
