#include "aboutdlg.h"

AboutDlg::AboutDlg(wxWindow* parent, int id, const wxString& title, const wxPoint& pos,
                   const wxSize& size, long style)
    : wxDialog(parent, id, title, pos, size, style) {
}
