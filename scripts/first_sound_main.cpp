// Time to first sound of the preview player (run through scripts/bench under
// a virtual X server; not a test). For a 3-minute and a 60-minute MP3 track,
// plain and stamped ("Watermarked"), it times Play to the media back end
// reporting "playing"; for the stamped ones also to the whole render taking
// over from its first part, the longest time nothing played during that
// hand-over, and how far the position moved against the clock with it.
#include "bench_util.h"
#include "MediaControl.h"
#include "PreviewPlayer.h"
#include "StampedPreview.h"

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/mediactrl.h>
#include <wx/time.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

class View : public PreviewPlayer::View {
public:
    void ShowPicture(PreviewPlayer::Picture) override {}
    void ShowMessage(const wxString& text) override {
        fprintf(stderr, "player: %s\n", text.utf8_string().c_str());
    }
};

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
    PreviewPlayer* played = nullptr;
    MediaControl media(
        ctrl, [&] { played->MediaLoaded(); }, [&] { played->NextLoaded(); });
    View view;
    PreviewPlayer player(media, view);
    played = &player;
    bool tookOver = false;
    StampedPreview stamped;
    stamped.OnWholeReady([&](const wxString& part, const wxString& whole) {
        if (player.LoadedFile() == part)
            player.ContinueWith(whole);
        tookOver = true;
    });

    const wxString watermark = wxString::FromUTF8(work + "/beep.mp3");
    Shell("sox -n -r 44100 -c 1 beep.mp3 synth 1 sine 1200 fade 0.05 1 0.05 vol 0.4");
    printf("%-22s %14s %16s %14s %12s\n", "track", "first sound s", "whole render s",
           "hand-over gap", "moved by");
    int status = 0;
    auto trackOf = [&](int minutes) { return work + "/track" + std::to_string(minutes) + ".mp3"; };
    for (int minutes : {3, 60})
        Shell("sox -n -r 44100 -c 2 -C 192 " + trackOf(minutes) + " synth " +
              std::to_string(minutes * 60) + ".3 sine 220 sine 275 pinknoise tremolo 3 40 vol 0.5");
    // Once untimed: the back end's first start loads its plugins.
    player.PlayPressed(wxString::FromUTF8(trackOf(3)));
    WaitFor([&] { return player.IsPlaying(); });
    player.StopPressed();
    WaitFor([&] { return media.GetState() != PreviewPlayer::MediaState::Playing; });
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
            const bool playing = WaitFor([&] {
                                     return player.IsPlaying() &&
                                            media.GetState() == PreviewPlayer::MediaState::Playing;
                                 }) >= 0;
            const double first = since();
            bool whole = true;
            // Where the position stands against the clock, before and after
            // the hand-over: a difference is a skip (ahead) or a repeat.
            auto drift = [&] { return media.Tell() - wxGetLocalTimeMillis().GetValue(); };
            long long driftBefore = 0;
            double total = 0;
            long long silentFor = 0, longestSilence = 0, lastLook = 0;
            const bool handsOver = stampedPlay && stamped.RendersInBackground();
            if (handsOver) {
                WaitFor([&] { return since() > first + 1; }); // playback settled
                driftBefore = drift();
                whole = WaitFor([&] { return tookOver; }) >= 0;
                total = since();
                // Through the hand-over and a second more: the longest time
                // that nothing played.
                lastLook = wxGetLocalTimeMillis().GetValue();
                WaitFor([&] {
                    const long long now = wxGetLocalTimeMillis().GetValue();
                    silentFor = media.GetState() == PreviewPlayer::MediaState::Playing
                                    ? 0
                                    : silentFor + now - lastLook;
                    longestSilence = std::max(longestSilence, silentFor);
                    lastLook = now;
                    return !player.IsSwitching() && !media.IsHandingOver() && since() > total + 1;
                });
            }
            if (!playing || !whole)
                status = 1;
            const std::string name =
                std::to_string(minutes) + " min MP3, " + (stampedPlay ? "stamped" : "plain");
            const std::string rendered = !handsOver ? "-"
                                         : whole    ? std::to_string(total).substr(0, 5)
                                                    : "failed";
            const std::string gap =
                handsOver && whole ? std::to_string(longestSilence) + " ms" : "-";
            const std::string moved =
                handsOver && whole ? std::to_string(drift() - driftBefore) + " ms" : "-";
            printf("%-22s %14s %16s %14s %12s\n", name.c_str(),
                   playing ? std::to_string(first).substr(0, 4).c_str() : "failed",
                   rendered.c_str(), gap.c_str(), moved.c_str());
            fflush(stdout);
            player.StopPressed();
            WaitFor([&] { return media.GetState() != PreviewPlayer::MediaState::Playing; });
            // A fresh render for the next track.
            stamped.StopBackground();
        }
    }
    frame->Destroy();
    wxEntryCleanup();
    return status;
}
