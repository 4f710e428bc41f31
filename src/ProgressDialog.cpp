// The progress dialog a rendering run shows over the main window.
#include "ProgressDialog.h"

#include <wx/control.h>
#include <wx/dcclient.h>

#include <algorithm>

ProgressDialog::ProgressDialog(wxWindow* parent, int count)
    : m_dialog("Please wait...", "", count, parent,
               wxPD_APP_MODAL | wxPD_AUTO_HIDE | wxPD_CAN_ABORT) {
    m_dialog.SetClientSize(std::max(m_dialog.GetClientSize().x, kMessageWidth + 40),
                           m_dialog.GetClientSize().y);
}

void ProgressDialog::TrackStarted(size_t, size_t, const wxString& name) {
    // Shown as it is ('&' included), a long name shortened in the middle so
    // that both its start and its extension stay in view.
    const wxString prefix = "Processing file ";
    wxClientDC dc(&m_dialog);
    dc.SetFont(m_dialog.GetFont());
    const wxString shown = wxControl::Ellipsize(name, dc, wxELLIPSIZE_MIDDLE,
                                                kMessageWidth - dc.GetTextExtent(prefix).x);
    m_message = prefix + wxControl::EscapeMnemonics(shown);
    Show();
}

void ProgressDialog::TracksFinished(size_t finished, size_t count) {
    m_finished = static_cast<int>(finished);
    // Redrawing the gauge and its times costs more than a short track takes
    // to render: a few times a second is enough to see it move.
    if (finished == count || m_sinceShown.Time() >= kRefreshMs)
        Show();
}

void ProgressDialog::Show() {
    m_dialog.Update(m_finished, m_message);
    m_sinceShown.Start();
}
