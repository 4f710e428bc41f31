// The window's media control, with a hidden twin that takes over without a gap.
#include "MediaControl.h"

#include <wx/mediactrl.h>

namespace {

PreviewPlayer::MediaState StateOf(wxMediaCtrl* ctrl) {
    switch (ctrl->GetState()) {
    case wxMEDIASTATE_PLAYING:
        return PreviewPlayer::MediaState::Playing;
    case wxMEDIASTATE_PAUSED:
        return PreviewPlayer::MediaState::Paused;
    default:
        return PreviewPlayer::MediaState::Stopped;
    }
}

} // namespace

MediaControl::MediaControl(wxMediaCtrl* ctrl, std::function<void()> loaded,
                           std::function<void()> nextLoaded)
    : m_loaded(std::move(loaded)), m_nextLoaded(std::move(nextLoaded)) {
    m_ctrls[0] = ctrl;
    m_ctrls[1] = new wxMediaCtrl(ctrl->GetParent(), wxID_ANY);
    m_ctrls[1]->Hide();
    for (int i = 0; i < 2; ++i) {
        m_ctrls[i]->Bind(wxEVT_MEDIA_LOADED, [this, i](wxMediaEvent& event) {
            OnLoaded(i);
            event.Skip();
        });
        m_ctrls[i]->Bind(wxEVT_MEDIA_STATECHANGED, [this, i](wxMediaEvent& event) {
            OnStateChanged(i);
            event.Skip();
        });
    }
}

bool MediaControl::Load(const wxString& path) {
    EndOverlap();
    return Current()->Load(path);
}

void MediaControl::Play() {
    Current()->Play();
}

void MediaControl::Pause() {
    EndOverlap();
    Current()->Pause();
}

void MediaControl::Stop() {
    EndOverlap();
    Current()->Stop();
}

void MediaControl::Seek(long long ms) {
    EndOverlap();
    Current()->Seek(ms);
}

PreviewPlayer::MediaState MediaControl::GetState() const {
    // Heard playing while the current one gets ready to be.
    if (m_overlapping && StateOf(Other()) == PreviewPlayer::MediaState::Playing)
        return PreviewPlayer::MediaState::Playing;
    return StateOf(Current());
}

long long MediaControl::Tell() const {
    return Current()->Tell();
}

bool MediaControl::LoadNext(const wxString& path) {
    return Other()->Load(path);
}

void MediaControl::SwitchToNext(long long ms, bool play) {
    EndOverlap();
    wxMediaCtrl* from = Current();
    m_current = 1 - m_current;
    if (!play) {
        from->Stop();
        Current()->Seek(ms);
        Current()->Pause();
        return;
    }
    Current()->Seek(ms + kHandOverLeadMs);
    Current()->Play();
    m_overlapping = from->GetState() == wxMEDIASTATE_PLAYING;
    if (!m_overlapping)
        from->Stop();
}

void MediaControl::SetVolume(double volume) {
    for (wxMediaCtrl* ctrl : m_ctrls)
        ctrl->SetVolume(volume);
}

void MediaControl::OnLoaded(int index) {
    if (index == m_current)
        m_loaded();
    else
        m_nextLoaded();
}

void MediaControl::OnStateChanged(int index) {
    if (m_overlapping && index == m_current && Current()->GetState() == wxMEDIASTATE_PLAYING)
        EndOverlap();
}

void MediaControl::EndOverlap() {
    if (!m_overlapping)
        return;
    m_overlapping = false;
    Other()->Stop();
}
