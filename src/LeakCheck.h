// Identifying a leaked copy from the window, on a thread of its own.
#ifndef LEAKCHECK_H
#define LEAKCHECK_H

#include "LeakTrace.h"

#include <wx/event.h>
#include <wx/progdlg.h>
#include <wx/timer.h>
#include <wx/window.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

// Asks for the copy and the manifest, identifies the copy on a worker
// thread behind a progress dialog whose Cancel stops it, and tells the
// answer in a message box. The window keeps drawing meanwhile; the dialog
// holds its input, so no run starts beside the check.
class LeakCheck : public wxEvtHandler {
public:
    explicit LeakCheck(wxWindow* parent);
    // Abandons the work under way.
    ~LeakCheck() override;

    // Asks for the copy, then for the manifest, and starts; nothing happens
    // when either is cancelled or a check runs already.
    void Ask();
    // Starts identifying file against manifest; false when a check runs already.
    bool Start(const wxString& file, const wxString& manifest);
    bool Running() const { return m_thread.joinable(); }
    // Stops the work, waits for its thread and tells nothing: the window is going.
    void Abandon();

    // The message box's icon for an answer: information for a match, a
    // warning when nothing matched or nothing could be read.
    static long IconFor(LeakAnswer::Kind kind);

    // What identifies a copy, run on the worker thread: IdentifyCopy unless
    // a test replaces it.
    static std::function<LeakAnswer(const wxString& file, const wxString& manifest,
                                    const std::function<bool()>& stop)>
        s_identify;

private:
    void OnPulse(wxTimerEvent& event);
    // The answer in a message box over the window.
    void Tell(const LeakAnswer& answer);
    // Joins the worker and closes the progress dialog.
    void End();

    wxWindow* m_parent;
    std::thread m_thread;
    // Each check's own flag: a check abandoned does not stop the next.
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::unique_ptr<wxGenericProgressDialog> m_progress;
    std::unique_ptr<wxGenericProgressDialog> m_ended; // until its Pulse returns
    bool m_pulsing = false;
    wxTimer m_pulse;
};

#endif
