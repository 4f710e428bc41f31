// The preview player's states: play, pause, resume, stop, and the hand-over.
#ifndef PREVIEWPLAYER_H
#define PREVIEWPLAYER_H

#include <wx/string.h>
#include <wx/timer.h>

// The preview player's behaviour: play after a short start delay, pause and
// resume on the play button, stop, and a once-a-second check that notices a
// player that stopped by itself. It drives a media control and a view through
// the small interfaces below, so it runs the same with the real media back end
// and with a stand-in.
class PreviewPlayer {
public:
    enum class MediaState { Stopped, Paused, Playing };
    // The media control as the player uses it.
    class Media {
    public:
        virtual ~Media() = default;
        // False when the file cannot be given to the back end at all.
        virtual bool Load(const wxString& path) = 0;
        virtual void Play() = 0;
        virtual void Pause() = 0;
        virtual void Stop() = 0;
        // Moves to ms milliseconds from the start of the loaded file.
        virtual void Seek(long long ms) = 0;
        virtual MediaState GetState() const = 0;
        // Position in milliseconds.
        virtual long long Tell() const = 0;
        // Takes up path beside the file loaded, which plays on meanwhile.
        virtual bool LoadNext(const wxString& path) = 0;
        // What LoadNext took up goes on from ms, playing or paused, in place
        // of the file loaded.
        virtual void SwitchToNext(long long ms, bool play) = 0;
    };
    enum class Picture { Play, Pause, Resume };
    // What the user sees of the player.
    class View {
    public:
        virtual ~View() = default;
        virtual void ShowPicture(Picture picture) = 0;
        virtual void ShowMessage(const wxString& text) = 0;
    };

    static const int kStartDelayMs = 500;
    static const int kStateCheckMs = 1000;
    // Start delays added while waiting for a back end that has not yet taken
    // up the file (a busy machine) before calling the file unreadable.
    static const int kMaxExtraStartDelays = 20;
    // State checks a player whose part has ended waits for the longer file
    // before it gives up on it and returns to idle.
    static const int kMaxSwitchChecks = 10;

    PreviewPlayer(Media& media, View& view);

    // The play button. While playing it pauses or resumes; otherwise it loads
    // path (empty: nothing selected, which is reported) and starts playback
    // once the back end has taken it up, or after the start delay at the
    // latest. Ignored while a start is already pending.
    void PlayPressed(const wxString& path);
    // Plays path from ms milliseconds into it: moves there while path plays
    // or waits paused (playing on), otherwise starts it as the play button
    // does, stopping whatever else played.
    void PlayFrom(const wxString& path, long ms);
    // Pause or resume; back to idle when the player has stopped by itself.
    void PausePressed();
    // Stops playback, also a start still waiting for its delay.
    void StopPressed();

    // End of the start delay: starts playback, waits longer for a back end
    // that has not taken up the file, or reports an unreadable file.
    void StartDelayEnded();
    // The once-a-second check: back to idle once the player has stopped.
    void CheckState();
    // Carries on with path, a longer version of the file being played (its
    // whole where the loaded file held its first part): the media control
    // takes it up while the file plays on, and it goes on from the position
    // reached then, in the state the player is in. A start still waiting for
    // its delay starts with path instead; an idle player leaves it for the
    // next Play.
    void ContinueWith(const wxString& path);
    // The back end has taken up the file given to the last Load.
    void MediaLoaded();
    // The back end has taken up the file given to the last LoadNext.
    void NextLoaded();

    bool IsPlaying() const { return m_isPlaying; }
    // The file given to the media control by the last play that loaded one.
    const wxString& LoadedFile() const { return m_loadedFile; }
    bool IsStarting() const { return m_startDelay.IsRunning(); }
    bool IsChecking() const { return m_stateCheck.IsRunning(); }
    // Between ContinueWith and the back end taking up the longer file.
    bool IsSwitching() const { return m_switching; }

private:
    // A one-shot timer that runs one of the player's steps.
    class StepTimer : public wxTimer {
    public:
        StepTimer(PreviewPlayer& player, void (PreviewPlayer::*step)())
            : m_player(player), m_step(step) {}
        void Notify() override { (m_player.*m_step)(); }

    private:
        PreviewPlayer& m_player;
        void (PreviewPlayer::*m_step)();
    };

    void ReturnToIdle();

    Media& m_media;
    View& m_view;
    bool m_isPlaying = false;
    bool m_mediaAnnounced = false;
    wxString m_loadedFile;
    int m_extraStartDelays = 0;
    // While the longer file loads: which, and where the file playing had
    // got when it began, in case that file ends meanwhile.
    bool m_switching = false;
    wxString m_nextFile;
    long long m_switchPosition = 0;
    wxLongLong m_switchStarted;
    int m_switchChecks = 0;
    long m_startAt = 0; // ms into the file that the pending start begins at
    StepTimer m_startDelay{*this, &PreviewPlayer::StartDelayEnded};
    StepTimer m_stateCheck{*this, &PreviewPlayer::CheckState};
};

#endif
