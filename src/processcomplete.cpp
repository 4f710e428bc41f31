// The results dialog's layout.
#include "processcomplete.h"

ProcessComplete::ProcessComplete(wxWindow* parent, int id, const wxString& title,
                                 const wxPoint& pos, const wxSize& size, long style)
    : wxDialog(parent, id, title, pos, size, style) {
    SetSize(wxSize(756, 308));

    wxBoxSizer* root = new wxBoxSizer(wxVERTICAL);
    m_resultsLabel =
        new wxStaticText(this, wxID_ANY, "Process completed with the following results :");
    m_resultsLabel->Wrap(-1);
    root->Add(m_resultsLabel, 0, wxALL | wxEXPAND, 5);

    m_resultsList = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLC_REPORT);
    root->Add(m_resultsList, 1, wxALL | wxEXPAND, 5);

    wxBoxSizer* buttons = new wxBoxSizer(wxHORIZONTAL);
    m_goToFolderButton = new wxButton(this, wxID_ANY, "Go to output folder");
    buttons->Add(m_goToFolderButton, 1, wxALL, 5);
    m_closeButton = new wxButton(this, wxID_ANY, "Close");
    buttons->Add(m_closeButton, 0, wxALL, 5);
    root->Add(buttons, 0, wxEXPAND, 5);

    SetSizer(root);
    Layout();
    Centre(wxBOTH);

    // Through the virtual operations, so that the behaviour class's versions run.
    m_goToFolderButton->Bind(wxEVT_BUTTON, &ProcessComplete::OnOutputFolderClick, this);
    m_closeButton->Bind(wxEVT_BUTTON, &ProcessComplete::OnCloseClick, this);
}

ProcessComplete::~ProcessComplete() {
    m_goToFolderButton->Unbind(wxEVT_BUTTON, &ProcessComplete::OnOutputFolderClick, this);
    m_closeButton->Unbind(wxEVT_BUTTON, &ProcessComplete::OnCloseClick, this);
}
