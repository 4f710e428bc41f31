// The preview player: its states on a stand-in media control and window, then
// real playback of an MP3 and a WAV through the window (to a silent output
// where the machine has no sound card).
#include "testutil.h"

#include <wx/image.h>

#include <cstdlib>
#include <utility>

namespace {

using State = PreviewPlayer::MediaState;

// Stands in for the media control and the window, noting every call in order:
// media calls as words, pictures in brackets, messages as they are.
struct StandIn : PreviewPlayer::Media, PreviewPlayer::View {
    bool Load(const wxString&) override { return Note("load", state), accepts; }
    void Play() override { Note("play", State::Playing); }
    void Pause() override { Note("pause", State::Paused); }
    void Stop() override { Note("stop", State::Stopped); }
    State GetState() const override { return state; }
    void ShowPicture(PreviewPlayer::Picture picture) override {
        static const char* names[] = {"[play]", "[pause]", "[resume]"};
        Note(names[int(picture)], state);
    }
    void ShowMessage(const wxString& text) override { Note(text.utf8_string(), state); }
    void Note(const std::string& what, State next) {
        log += (log.empty() ? "" : ", ") + what;
        state = next;
    }
    // The calls since the last look.
    std::string Seen() { return std::exchange(log, std::string()); }

    bool accepts = true;
    State state = State::Stopped;
    std::string log;
};

// The player's timers never fire here: each step is called as its timer would call it.
class PlayerStates : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0, Shell("touch " + ShellQuote(dir / "song.mp3"))); }
    // Play pressed, the file taken up, the start delay over.
    void Start() {
        player.PlayPressed(song);
        media.state = State::Paused;
        player.MediaLoaded();
        player.StartDelayEnded();
    }

    TempDir dir;
    const wxString song = Wx(dir / "song.mp3");
    StandIn media;
    PreviewPlayer player{media, media};
};

TEST_F(PlayerStates, PlayPauseResumeStopFailuresAndASlowBackEnd) {
    player.PlayPressed(song);
    // A second press during the start delay is ignored; stop cancels the start.
    player.PlayPressed(song);
    EXPECT_TRUE(player.IsStarting() && !player.IsPlaying());
    player.StopPressed();
    EXPECT_FALSE(player.IsStarting());
    EXPECT_EQ("load, stop, [play]", media.Seen());

    Start();
    EXPECT_TRUE(player.IsPlaying() && player.IsChecking());
    player.CheckState();
    // While playing the play button pauses; the pause button resumes.
    player.PlayPressed(song);
    player.PausePressed();
    player.StopPressed();
    EXPECT_EQ("load, play, [pause], pause, [resume], play, [pause], stop, [play]", media.Seen());
    EXPECT_FALSE(player.IsPlaying() || player.IsChecking() || player.IsStarting());

    // Stopped by the back end (end of file or an error), playing or paused:
    // the state check, or a press of the play button before it, returns to idle
    // without pausing (which would load the file again).
    for (int step : {0, 1, 2}) {
        Start();
        if (step == 1)
            player.PausePressed();
        media.state = State::Stopped;
        media.Seen();
        if (step == 2)
            player.PlayPressed(song);
        else
            player.CheckState();
        EXPECT_FALSE(player.IsPlaying() || player.IsChecking());
        EXPECT_EQ("[play]", media.Seen()) << step;
        player.StopPressed();
    }
    media.Seen();

    // What cannot play is reported.
    player.PlayPressed("");
    // Removed since it was listed.
    player.PlayPressed(Wx(dir / "gone.mp3"));
    media.accepts = false;
    player.PlayPressed(song);
    EXPECT_EQ(
        "Select a file to play first., Fail to load media file, load, Fail to load media file",
        media.Seen());
    EXPECT_FALSE(player.IsStarting());

    // Not taken up yet: each start delay waits once more, up to the limit.
    media.accepts = true;
    player.PlayPressed(song);
    for (int i = 0; i < PreviewPlayer::kMaxExtraStartDelays; ++i)
        player.StartDelayEnded();
    EXPECT_EQ("load", media.Seen());
    player.StartDelayEnded();
    EXPECT_EQ("Fail to load media file", media.Seen());
    player.StopPressed();
    player.PlayPressed(song);
    player.StartDelayEnded();
    media.state = State::Paused;
    player.StartDelayEnded();
    EXPECT_EQ("stop, [play], load, play, [pause]", media.Seen());
    // Taken up and then stopped: the back end could not decode it.
    player.StopPressed();
    player.PlayPressed(song);
    player.MediaLoaded();
    player.StartDelayEnded();
    EXPECT_EQ("stop, [play], load, Fail to load media file", media.Seen());
}

// Long enough for a busy machine; a stuck player fails here instead of hanging the run.
const int kDeadlineMs = 15000;

class Playback : public BundleTest {
protected:
    static bool Reaches(const Probe& p, wxMediaState state) {
        return WaitUntil([&] { return p.media()->GetState() == state; }, kDeadlineMs);
    }
    static bool Shows(const Probe& p, const wxBitmap& picture) {
        const wxImage x = p.play()->GetBitmapLabel().ConvertToImage(), y = picture.ConvertToImage();
        return x.IsOk() && y.IsOk() && x.GetSize() == y.GetSize() &&
               memcmp(x.GetData(), y.GetData(), size_t(x.GetWidth()) * x.GetHeight() * 3) == 0;
    }
};

TEST_F(Playback, AnMp3PlaysPausesAndStopsAndAWavPlaysToItsEnd) {
    MakeTone(Work("song.mp3"), 20, "sine 440");
    MakeTone(Work("short.wav"), 1.5, "sine 660");
    {
        MainWindow w;
        Probe p(*w);
        w->OnFileListDropFiles(Files({"song.mp3", "short.wav"}));
        // Watermark rows are never played.
        w->OnWatermarkListDropFiles(Files({"short.wav"}));
        Select(p.watermarks(), {0});
        wxTEST_DIALOG(Click(p.play()), MessageExpect("Select a file to play first."));

        // The topmost selected track plays.
        Select(p.tracks(), {0, 1});
        Click(p.play());
        ASSERT_TRUE(Reaches(p, wxMEDIASTATE_PLAYING));
        ASSERT_TRUE(WaitUntil([&] { return p.player().IsPlaying(); }, kDeadlineMs));
        EXPECT_EQ(Wx(Work("song.mp3")), p.player().LoadedFile());
        EXPECT_TRUE(Shows(p, p.pauseBitmap()));
        Slide(p.volume(), 37);
        EXPECT_NEAR(0.37, p.media()->GetVolume(), 0.001);
        Click(p.play());
        ASSERT_TRUE(Reaches(p, wxMEDIASTATE_PAUSED));
        EXPECT_TRUE(Shows(p, p.resumeBitmap()));
        Click(p.stop());
        EXPECT_TRUE(Reaches(p, wxMEDIASTATE_STOPPED));
        EXPECT_TRUE(Shows(p, p.playBitmap()));
        EXPECT_FALSE(p.player().IsPlaying() || p.player().IsChecking());

        // The back end may tell the length a little after playback starts.
        Select(p.tracks(), {1});
        Click(p.play());
        ASSERT_TRUE(WaitUntil([&] { return p.player().IsPlaying(); }, kDeadlineMs));
        EXPECT_TRUE(
            WaitUntil([&] { return std::abs(p.media()->Length() - 1500) < 100; }, kDeadlineMs));
        ASSERT_TRUE(WaitUntil([&] { return !p.player().IsPlaying(); }, kDeadlineMs));
        EXPECT_TRUE(Shows(p, p.playBitmap()));
        EXPECT_EQ(wxMEDIASTATE_STOPPED, p.media()->GetState());

        // The window may close while playing.
        Click(p.play());
        ASSERT_TRUE(Reaches(p, wxMEDIASTATE_PLAYING));
    }
    // Whatever the back end still had to say about the closed window's player.
    Pump(500);
}

} // namespace
