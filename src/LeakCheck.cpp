// Identifying a leaked copy from the window, on a thread of its own.
#include "LeakCheck.h"

#include "AppPaths.h"
#include "Formats.h"
#include "Manifest.h"
#include "Prompts.h"

#include <wx/filename.h>
#include <wx/msgdlg.h>

std::function<LeakAnswer(const wxString&, const wxString&, const std::function<bool()>&)>
    LeakCheck::s_identify = IdentifyCopy;

LeakCheck::LeakCheck(wxWindow* parent) : m_parent(parent) {
    m_pulse.SetOwner(this);
    Bind(wxEVT_TIMER, &LeakCheck::OnPulse, this);
}

LeakCheck::~LeakCheck() {
    Abandon();
}

long LeakCheck::IconFor(LeakAnswer::Kind kind) {
    return kind == LeakAnswer::Kind::FromTags || kind == LeakAnswer::Kind::FromAudio
               ? wxICON_INFORMATION
               : wxICON_WARNING;
}

void LeakCheck::Ask() {
    if (Running())
        return;
    wxString file, manifest;
    if (!ChooseFile(m_parent, "Choose the copy to identify", AudioFileWildcard(), wxEmptyString,
                    wxEmptyString, file))
        return;
    // A recipients run writes its manifest beside its outputs: look there first.
    if (!ChooseFile(m_parent, "Choose the manifest of the run that made it",
                    "Manifests (" + g_manifestName + ")|" + g_manifestName +
                        "|JSON files (*.json)|*.json|All files|*",
                    wxFileName(file).GetPath(), g_manifestName, manifest))
        return;
    Start(file, manifest);
}

bool LeakCheck::Start(const wxString& file, const wxString& manifest) {
    if (Running())
        return false;
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_stop = stop;
    m_progress = std::make_unique<wxGenericProgressDialog>(
        "Identify a leaked copy",
        "Looking for whose copy " + wxFileName(file).GetFullName() + " is...", 100, m_parent,
        wxPD_CAN_ABORT | wxPD_ELAPSED_TIME);
    m_pulse.Start(100);
    m_thread = std::thread([this, stop, file, manifest] {
        const LeakAnswer answer = s_identify(file, manifest, [stop] { return stop->load(); });
        // The handler's queue takes events from any thread.
        CallAfter([this, stop, answer] {
            // An abandoned check's answer: the window has moved on.
            if (stop != m_stop)
                return;
            End();
            if (!stop->load())
                Tell(answer);
        });
    });
    return true;
}

void LeakCheck::OnPulse(wxTimerEvent&) {
    // Pulse lets input and timers through while it draws: not twice at once.
    if (!m_progress || m_pulsing)
        return;
    m_pulsing = true;
    const bool going = m_progress->Pulse();
    m_pulsing = false;
    m_ended.reset();
    if (!going && m_progress) {
        // Cancelled: the worker ends soon, and nothing is told.
        m_stop->store(true);
        m_pulse.Stop();
        m_progress.reset();
    }
}

void LeakCheck::Tell(const LeakAnswer& answer) {
    wxMessageBox(answer.text, g_programName, wxOK | wxCENTRE | IconFor(answer.kind), m_parent);
}

void LeakCheck::Abandon() {
    if (m_stop)
        m_stop->store(true);
    End();
    m_stop.reset();
}

void LeakCheck::End() {
    m_pulse.Stop();
    if (m_thread.joinable())
        m_thread.join();
    if (m_progress && m_pulsing) {
        // Ended from within its own Pulse: deleted once that has returned.
        m_progress->Hide();
        m_ended = std::move(m_progress);
    }
    m_progress.reset();
}
