#include "processcomplete.h"

ProcessComplete::ProcessComplete(wxWindow* parent, int id, const wxString& title,
                                 const wxPoint& pos, const wxSize& size, long style)
    : wxDialog(parent, id, title, pos, size, style) {
    m_resultsLabel = nullptr;
    m_resultsList = nullptr;
    m_goToFolderButton = nullptr;
    m_closeButton = nullptr;
}

ProcessComplete::~ProcessComplete() {
}
