// The recipients dialog's layout.
#include "recipientsdlg.h"

#include <wx/sizer.h>

RecipientsDlg::RecipientsDlg(wxWindow* parent, int id, const wxString& title)
    : wxDialog(parent, id, title, wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
    wxBoxSizer* root = new wxBoxSizer(wxVERTICAL);
    m_listLabel = new wxStaticText(this, wxID_ANY,
                                   "One recipient a line: a name, then a comma and a short ID if "
                                   "you like (\"Ann Smith, A1\").");
    root->Add(m_listLabel, 0, wxALL, 8);
    m_listText = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(420, 200),
                                wxTE_MULTILINE | wxTE_DONTWRAP);
    root->Add(m_listText, 1, wxLEFT | wxRIGHT | wxEXPAND, 8);

    wxBoxSizer* loadRow = new wxBoxSizer(wxHORIZONTAL);
    m_loadButton = new wxButton(this, wxID_ANY, "Load CSV...");
    loadRow->Add(m_loadButton, 0, wxALIGN_CENTER_VERTICAL);
    root->Add(loadRow, 0, wxALL, 8);

    m_folderRadio = new wxRadioButton(this, wxID_ANY, "A folder per recipient", wxDefaultPosition,
                                      wxDefaultSize, wxRB_GROUP);
    root->Add(m_folderRadio, 0, wxLEFT | wxRIGHT, 8);
    root->AddSpacer(4);
    m_fileNameRadio = new wxRadioButton(this, wxID_ANY, "Recipient in the file name");
    root->Add(m_fileNameRadio, 0, wxLEFT | wxRIGHT, 8);
    root->AddSpacer(8);
    m_spokenCheckBox = new wxCheckBox(this, wxID_ANY, "Spoken tag \"For NAME\"");
    root->Add(m_spokenCheckBox, 0, wxLEFT | wxRIGHT, 8);

    root->Add(CreateSeparatedButtonSizer(wxOK | wxCANCEL), 0, wxALL | wxEXPAND, 8);
    SetSizerAndFit(root);
    Centre(wxBOTH);
    m_listText->SetFocus();

    m_loadButton->Bind(wxEVT_BUTTON, &RecipientsDlg::OnLoadCsv, this);
}

RecipientsDlg::~RecipientsDlg() {
    m_loadButton->Unbind(wxEVT_BUTTON, &RecipientsDlg::OnLoadCsv, this);
}
