// The recipients dialog's layout.
#ifndef RECIPIENTSDLG_H
#define RECIPIENTSDLG_H

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

// Layout of the recipients dialog: the list as typed text, a CSV button,
// where each recipient's copies go, the spoken tag, OK and Cancel.
class RecipientsDlg : public wxDialog {
public:
    RecipientsDlg(wxWindow* parent, int id, const wxString& title);
    ~RecipientsDlg() override;

protected:
    wxStaticText* m_listLabel;
    wxTextCtrl* m_listText;
    wxButton* m_loadButton;
    wxRadioButton* m_folderRadio;
    wxRadioButton* m_fileNameRadio;
    wxCheckBox* m_spokenCheckBox;

    virtual void OnLoadCsv(wxCommandEvent& event) { event.Skip(); }
};

#endif
