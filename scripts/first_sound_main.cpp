// Time to first sound of the preview player (run through scripts/bench under
// a virtual X server; not a test). For a 3-minute and a 60-minute MP3 track,
// plain and stamped ("Watermarked"), it times Play to the media back end
// reporting "playing", and for the stamped ones also to the whole render
// taking over from its first part.
#include "PreviewPlayer.h"
#include "StampedPreview.h"

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/mediactrl.h>
#include <wx/time.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

class Media : public PreviewPlayer::Media, public PreviewPlayer::View {
public:
    explicit Media(wxMediaCtrl* ctrl) : m_ctrl(ctrl) {}
    bool Load(const wxString& path) override { return m_ctrl->Load(path); }
    void Play() override { m_ctrl->Play(); }
    void Pause() override { m_ctrl->Pause(); }
    void Stop() override { m_ctrl->Stop(); }
    PreviewPlayer::MediaState GetState() const override {
        switch (m_ctrl->GetState()) {
        case wxMEDIASTATE_PLAYING:
            return PreviewPlayer::MediaState::Playing;
        case wxMEDIASTATE_PAUSED:
            return PreviewPlayer::MediaState::Paused;
        default:
            return PreviewPlayer::MediaState::Stopped;
        }
    }
    long long Tell() const override { return m_ctrl->Tell(); }
    void Seek(long long ms) override { m_ctrl->Seek(ms); }
    void ShowPicture(PreviewPlayer::Picture) override {}
    void ShowMessage(const wxString& text) override {
        fprintf(stderr, "player: %s\n", text.utf8_string().c_str());
    }

private:
    wxMediaCtrl* m_ctrl;
};

bool Shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// Runs the event loop until done holds or 120 s pass; seconds waited, or -1.
double WaitFor(const std::function<bool()>& done) {
    const wxLongLong start = wxGetLocalTimeMillis();
    while (!done()) {
        if ((wxGetLocalTimeMillis() - start).GetValue() > 120000)
            return -1;
        wxTheApp->Yield(true);
        wxMilliSleep(2);
    }
    return (wxGetLocalTimeMillis() - start).ToDouble() / 1000;
}

class FirstSoundApp : public wxApp {};

} // namespace

wxIMPLEMENT_APP_NO_MAIN(FirstSoundApp);

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s WORK_FOLDER (holding Velisto.app)\n", argv[0]);
        return 2;
    }
    const std::string work = argv[1];
    int toolkitArgc = 1; // the toolkit takes no argument of ours
    if (!wxEntryStart(toolkitArgc, argv) || !wxTheApp || !wxTheApp->CallOnInit())
        return 1;
    if (chdir(work.c_str()) != 0)
        return 1;
    auto* frame = new wxFrame(nullptr, wxID_ANY, "first sound");
    auto* ctrl = new wxMediaCtrl(frame, wxID_ANY);
    frame->Show();
    Media media(ctrl);
    PreviewPlayer player(media, media);
    ctrl->Bind(wxEVT_MEDIA_LOADED, [&](wxMediaEvent& event) {
        player.MediaLoaded();
        event.Skip();
    });
    bool tookOver = false;
    StampedPreview stamped;
    stamped.OnWholeReady([&](const wxString& part, const wxString& whole) {
        if (player.LoadedFile() == part)
            player.ContinueWith(whole);
        tookOver = true;
    });

    const wxString watermark = wxString::FromUTF8(work + "/beep.mp3");
    Shell("sox -n -r 44100 -c 1 beep.mp3 synth 1 sine 1200 fade 0.05 1 0.05 vol 0.4");
    printf("%-28s %14s %16s\n", "track", "first sound s", "whole render s");
    int status = 0;
    auto trackOf = [&](int minutes) { return work + "/track" + std::to_string(minutes) + ".mp3"; };
    for (int minutes : {3, 60})
        Shell("sox -n -r 44100 -c 2 -C 192 " + trackOf(minutes) + " synth " +
              std::to_string(minutes * 60) + ".3 sine 220 sine 275 pinknoise tremolo 3 40 vol 0.5");
    // Once untimed: the back end's first start loads its plugins.
    player.PlayPressed(wxString::FromUTF8(trackOf(3)));
    WaitFor([&] { return player.IsPlaying(); });
    player.StopPressed();
    WaitFor([&] { return ctrl->GetState() != wxMEDIASTATE_PLAYING; });
    for (int minutes : {3, 60}) {
        const std::string track = trackOf(minutes);
        for (bool stampedPlay : {false, true}) {
            RenderSettings settings;
            settings.start = 5;
            settings.interval = 10;
            tookOver = false;
            const wxLongLong start = wxGetLocalTimeMillis();
            wxString file = wxString::FromUTF8(track), failure;
            if (stampedPlay &&
                !stamped.Prepare(file, wxArrayString(1, watermark), settings, file, failure)) {
                fprintf(stderr, "%s\n", failure.utf8_string().c_str());
                status = 1;
                continue;
            }
            player.PlayPressed(file);
            auto since = [&] { return (wxGetLocalTimeMillis() - start).ToDouble() / 1000; };
            const bool playing =
                WaitFor([&] {
                    return player.IsPlaying() && ctrl->GetState() == wxMEDIASTATE_PLAYING;
                }) >= 0;
            const double first = since();
            bool whole = true;
            if (stampedPlay && stamped.RendersInBackground())
                whole = WaitFor([&] { return tookOver; }) >= 0;
            const double total = since();
            if (!playing || !whole)
                status = 1;
            const std::string name =
                std::to_string(minutes) + " min MP3, " + (stampedPlay ? "stamped" : "plain");
            const std::string rendered = !stampedPlay ? "-"
                                         : whole      ? std::to_string(total).substr(0, 5)
                                                      : "failed";
            printf("%-28s %14s %16s\n", name.c_str(),
                   playing ? std::to_string(first).substr(0, 4).c_str() : "failed",
                   rendered.c_str());
            fflush(stdout);
            player.StopPressed();
            WaitFor([&] { return ctrl->GetState() != wxMEDIASTATE_PLAYING; });
            // A fresh render for the next track.
            stamped.StopBackground();
        }
    }
    frame->Destroy();
    wxEntryCleanup();
    return status;
}
