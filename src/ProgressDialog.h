// The progress dialog a rendering run shows over the main window.
#ifndef PROGRESSDIALOG_H
#define PROGRESSDIALOG_H

#include "RenderRun.h"

#include <wx/progdlg.h>
#include <wx/stopwatch.h>

// The progress dialog's view of the run: finished tracks counted, the one
// started last named, and its Cancel button.
class ProgressDialog : public RenderProgress {
public:
    ProgressDialog(wxWindow* parent, int count);
    void TrackStarted(size_t index, size_t count, const wxString& name) override;
    void TracksFinished(size_t finished, size_t count) override;
    bool CancelRequested() override { return m_dialog.WasCancelled(); }
    void Hide() { m_dialog.Hide(); }

private:
    void Show();

    static const int kMessageWidth = 420;
    static const long kRefreshMs = 200;
    wxStopWatch m_sinceShown;
    wxGenericProgressDialog m_dialog;
    wxString m_message;
    int m_finished = 0;
};

#endif
