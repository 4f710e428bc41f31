// The window's media control, with a hidden twin that takes over without a gap.
#ifndef MEDIACONTROL_H
#define MEDIACONTROL_H

#include "PreviewPlayer.h"

#include <array>
#include <functional>

class wxMediaCtrl;
class wxMediaEvent;

// The preview player's media back end: a media control and a hidden twin
// made beside it. The twin takes up the longer version of what plays while
// the first plays on, and the two overlap for the moment the twin needs to
// be heard, so that the hand-over leaves no silence.
class MediaControl : public PreviewPlayer::Media {
public:
    // loaded: the control playing has taken up the file given to Load;
    // nextLoaded: the other one has taken up the file given to LoadNext.
    MediaControl(wxMediaCtrl* ctrl, std::function<void()> loaded, std::function<void()> nextLoaded);

    bool Load(const wxString& path) override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    void Seek(long long ms) override;
    PreviewPlayer::MediaState GetState() const override;
    long long Tell() const override;
    bool LoadNext(const wxString& path) override;
    void SwitchToNext(long long ms, bool play) override;

    void SetVolume(double volume);
    // The control that plays, or plays next once a hand-over has begun.
    wxMediaCtrl* Current() const { return m_ctrls[m_current]; }
    // The control handed over from still plays.
    bool IsHandingOver() const { return m_overlapping; }

    // How far ahead of the position reached the twin starts: about the time
    // it takes to be heard once told to play.
    static const int kHandOverLeadMs = 20;

private:
    wxMediaCtrl* Other() const { return m_ctrls[1 - m_current]; }
    void OnLoaded(int index);
    void OnStateChanged(int index);
    // The control handed over from stops: it is no longer needed.
    void EndOverlap();

    std::array<wxMediaCtrl*, 2> m_ctrls;
    int m_current = 0;
    // The control handed over from plays on until the current one is heard.
    bool m_overlapping = false;
    std::function<void()> m_loaded;
    std::function<void()> m_nextLoaded;
};

#endif
