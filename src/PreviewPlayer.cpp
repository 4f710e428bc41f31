// The preview player's states: play, pause, resume, stop, and the hand-over.
#include "PreviewPlayer.h"

#include <wx/filefn.h>
#include <wx/time.h>

namespace {

const wxString kNothingSelected = "Select a file to play first.";
const wxString kLoadFailure = "Fail to load media file";

} // namespace

PreviewPlayer::PreviewPlayer(Media& media, View& view) : m_media(media), m_view(view) {
}

void PreviewPlayer::PlayPressed(const wxString& path) {
    if (m_isPlaying) {
        PausePressed();
        return;
    }
    // A start is already on its way; loading again would start playback twice.
    if (m_startDelay.IsRunning())
        return;
    if (path.empty()) {
        m_view.ShowMessage(kNothingSelected);
        return;
    }
    m_mediaAnnounced = false;
    // A file removed since it was listed fails at once instead of after the delay.
    if (!wxFileExists(path) || !m_media.Load(path)) {
        m_view.ShowMessage(kLoadFailure);
        return;
    }
    m_loadedFile = path;
    m_extraStartDelays = 0;
    m_startAt = 0;
    m_startDelay.StartOnce(kStartDelayMs);
}

void PreviewPlayer::ContinueWith(const wxString& path) {
    if (!m_isPlaying && IsStarting()) {
        m_mediaAnnounced = false;
        if (m_media.Load(path))
            m_loadedFile = path;
        return;
    }
    if (!m_isPlaying || m_switching)
        return;
    if (m_media.GetState() == MediaState::Stopped)
        return; // the part has ended; the next Play plays the whole
    // One that cannot be loaded leaves the part playing to its end.
    if (!m_media.LoadNext(path))
        return;
    m_nextFile = path;
    m_switchPosition = m_media.Tell();
    m_switchStarted = wxGetLocalTimeMillis();
    m_switchChecks = 0;
    m_switching = true;
}

void PreviewPlayer::MediaLoaded() {
    m_mediaAnnounced = true;
    if (m_startDelay.IsRunning() && m_media.GetState() != MediaState::Stopped) {
        // Ready before the delay is over: no need to wait for the rest of it.
        m_startDelay.Stop();
        StartDelayEnded();
    }
}

void PreviewPlayer::NextLoaded() {
    if (!m_switching)
        return;
    m_switching = false;
    const MediaState state = m_media.GetState();
    // A part that ended meanwhile went on in the listener's mind.
    const long long position =
        state == MediaState::Stopped
            ? m_switchPosition + (wxGetLocalTimeMillis() - m_switchStarted).GetValue()
            : m_media.Tell();
    m_media.SwitchToNext(position, state != MediaState::Paused);
    m_loadedFile = m_nextFile;
}

void PreviewPlayer::PlayFrom(const wxString& path, long ms) {
    if (!path.empty() && path == m_loadedFile) {
        const MediaState state = m_media.GetState();
        if (m_isPlaying && state != MediaState::Stopped) {
            m_media.Seek(ms);
            if (state == MediaState::Paused) {
                m_media.Play();
                m_view.ShowPicture(Picture::Pause);
            }
            return;
        }
        if (!m_isPlaying && m_startDelay.IsRunning()) {
            m_startAt = ms;
            return;
        }
    }
    if (m_isPlaying || m_startDelay.IsRunning())
        StopPressed();
    PlayPressed(path);
    if (m_startDelay.IsRunning())
        m_startAt = ms;
}

void PreviewPlayer::PausePressed() {
    switch (m_media.GetState()) {
    case MediaState::Paused:
        m_media.Play();
        m_view.ShowPicture(Picture::Pause);
        break;
    case MediaState::Playing:
        m_media.Pause();
        m_view.ShowPicture(Picture::Resume);
        break;
    case MediaState::Stopped:
        // The player stopped by itself (end of file or an error) before the
        // state check noticed; pausing now would load the file again.
        ReturnToIdle();
        break;
    }
}

void PreviewPlayer::StopPressed() {
    m_switching = false;
    m_startDelay.Stop();
    m_media.Stop();
    ReturnToIdle();
}

void PreviewPlayer::StartDelayEnded() {
    if (m_isPlaying)
        return; // started already, when the back end had the file
    // The back end reads the file in the background. It takes the file up
    // (MediaLoaded) and then, when it cannot decode it, stops the player; a
    // player still stopped before that has not started yet.
    if (m_media.GetState() == MediaState::Stopped) {
        if (!m_mediaAnnounced && m_extraStartDelays < kMaxExtraStartDelays) {
            ++m_extraStartDelays;
            m_startDelay.StartOnce(kStartDelayMs);
            return;
        }
        m_view.ShowMessage(kLoadFailure);
        return;
    }
    // Before playing, so that the start is not heard first.
    if (m_startAt > 0)
        m_media.Seek(m_startAt);
    m_media.Play();
    m_isPlaying = true;
    m_view.ShowPicture(Picture::Pause);
    m_stateCheck.StartOnce(kStateCheckMs);
}

void PreviewPlayer::CheckState() {
    // A part that has ended waits a while for the longer file to go on with.
    if (m_media.GetState() != MediaState::Stopped ||
        (m_switching && ++m_switchChecks <= kMaxSwitchChecks)) {
        m_stateCheck.StartOnce(kStateCheckMs);
        return;
    }
    m_switching = false;
    ReturnToIdle();
}

void PreviewPlayer::ReturnToIdle() {
    m_stateCheck.Stop();
    m_isPlaying = false;
    m_view.ShowPicture(Picture::Play);
}
