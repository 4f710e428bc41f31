// The preview player: its states on a stand-in media control and window, then
// real playback of an MP3 and a WAV through the window (to a silent output
// where the machine has no sound card).
#include "testutil.h"

#include <cstdlib>
#include <map>

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
    long long Tell() const override { return position; }
    void Seek(long long ms) override { Note("seek " + Second(ms), state); }
    bool LoadNext(const wxString&) override { return Note("load next", state), accepts; }
    void SwitchToNext(long long ms, bool play) override {
        Note("on from " + Second(ms) + (play ? " playing" : " paused"),
             play ? State::Playing : State::Paused);
    }
    // To the second: the player may add what played meanwhile, a test's few ms.
    static std::string Second(long long ms) { return std::to_string((ms + 500) / 1000 * 1000); }
    void ShowPicture(PreviewPlayer::Picture picture) override {
        static const char* names[] = {"[play]", "[pause]", "[resume]"};
        Note(names[int(picture)], state);
    }
    void ShowMessage(const wxString& text) override { Note(text.utf8_string(), state); }
    void Note(const std::string& what, State next) {
        log += (log.empty() ? "" : ", ") + what;
        state = next;
    }

    bool accepts = true;
    State state = State::Stopped;
    long long position = 0;
    std::string log;
};

// Runs script on a fresh player, a step a letter, and returns what the media
// control and the window were told. The player's timers never fire here: d
// and c are its steps as its timers call them.
//   p  play pressed with a listed song    e  with nothing selected
//   g  with a file removed since          u  pause pressed     s  stop pressed
//   f  play from 5 s of the song (the strip)      o  from 7 s of another
//   d  the start delay is over
//   c  the once-a-second check            l  the back end says it has the file
//   n  it says it has the file given beside
//   T  the back end takes the file up     X  it stops by itself    R  it refuses files
//   w  the whole of what plays is ready, 12 s into it
//   ?  notes the player's flags: {P} playing, {C} checking
//   ~  notes whether a start waits for its delay (not after d: a timer that
//      was never let fire still runs)
std::string Play(const std::string& script) {
    TempDir dir;
    const wxString song = Wx(dir / "song.mp3");
    EXPECT_EQ(0,
              Shell("touch " + ShellQuote(dir / "song.mp3") + " " + ShellQuote(dir / "other.mp3")));
    StandIn media;
    PreviewPlayer player(media, media);
    const std::map<char, std::function<void()>> steps = {
        {'p', [&] { player.PlayPressed(song); }},
        {'e', [&] { player.PlayPressed(""); }},
        {'g', [&] { player.PlayPressed(Wx(dir / "gone.mp3")); }},
        {'f', [&] { player.PlayFrom(song, 5000); }},
        {'o', [&] { player.PlayFrom(Wx(dir / "other.mp3"), 7000); }},
        {'u', [&] { player.PausePressed(); }},
        {'s', [&] { player.StopPressed(); }},
        {'d', [&] { player.StartDelayEnded(); }},
        {'c', [&] { player.CheckState(); }},
        {'l', [&] { player.MediaLoaded(); }},
        {'n', [&] { player.NextLoaded(); }},
        {'w',
         [&] {
             media.position = 12000;
             player.ContinueWith(Wx(dir / "whole.wav"));
         }},
        {'T', [&] { media.state = State::Paused; }},
        {'X', [&] { media.state = State::Stopped; }},
        {'R', [&] { media.accepts = false; }},
        {'?',
         [&] {
             media.Note(std::string("{") + (player.IsPlaying() ? "P" : "") +
                            (player.IsChecking() ? "C" : "") + "}",
                        media.state);
         }},
        {'~', [&] { media.Note(player.IsStarting() ? "starting" : "not starting", media.state); }}};
    for (char step : script)
        steps.at(step)();
    return media.log;
}

TEST(PlayerStates, PlayPauseResumeStopFromASecondFailuresASlowBackEndAndAHandOver) {
    // d as often as the player waits for a slow back end.
    const std::string wait(PreviewPlayer::kMaxExtraStartDelays, 'd');
    const std::string checks(PreviewPlayer::kMaxSwitchChecks, 'c');
    const std::pair<std::string, const char*> cases[] = {
        // A second press during the start delay is ignored; stop cancels the start.
        {"pp~s~", "load, starting, stop, [play], not starting"},
        // While playing the play button pauses; the pause button resumes.
        {"pTld?cpus?",
         "load, play, [pause], {PC}, pause, [resume], play, [pause], stop, [play], {}"},
        // Stopped by the back end (end of file or an error), playing or paused:
        // the check, or a press of play before it, returns to idle without
        // pausing (which would load the file again).
        {"pTldXc?", "load, play, [pause], [play], {}"},
        // A back end that has the file before the delay is over starts at once.
        {"pTl~?d", "load, play, [pause], not starting, {PC}"},
        // What cannot play is reported.
        {"egRp~", "Select a file to play first., Fail to load media file, load, Fail to load media "
                  "file, not starting"},
        // Not taken up yet: each start delay waits once more, up to the limit.
        {"p" + wait + "dspdTd", "load, Fail to load media file, stop, [play], load, play, [pause]"},
        // Taken up and then stopped: the back end could not decode it.
        {"pld", "load, Fail to load media file"},
        // Played from a second: moved there before playback starts, also
        // when asked while the start waits.
        {"fTld?", "load, seek 5000, play, [pause], {PC}"},
        {"pf~Tld", "load, starting, seek 5000, play, [pause]"},
        // Playing or paused, the same file moves (and plays on); another
        // one, or one that stopped by itself, starts afresh.
        {"pTldf", "load, play, [pause], seek 5000"},
        {"pTlduf", "load, play, [pause], pause, [resume], seek 5000, play, [pause]"},
        {"pTldoTld", "load, play, [pause], stop, [play], load, seek 7000, play, [pause]"},
        {"pTldXf~", "load, play, [pause], stop, [play], load, starting"},
        // A first part plays while the whole renders. The whole is taken up
        // beside it and goes on from where the part has got, as it plays or
        // waits paused meanwhile.
        {"pTldwn?", "load, play, [pause], load next, on from 12000 playing, {PC}"},
        {"pTlduwn", "load, play, [pause], pause, [resume], load next, on from 12000 paused"},
        {"pTldwun", "load, play, [pause], load next, pause, [resume], on from 12000 paused"},
        // A part that ends meanwhile: the checks wait a while for the whole,
        // then give it up.
        {"pTldwXc?n", "load, play, [pause], load next, {PC}, on from 12000 playing"},
        {"pTldwX" + checks + "?c?n?", "load, play, [pause], load next, {PC}, [play], {}, {}"},
        // Stopped meanwhile, a part that had ended, no playback, a whole that
        // cannot be loaded: nothing goes on, and the next Play plays the whole.
        {"pTldwsn?", "load, play, [pause], load next, stop, [play], {}"},
        {"pTldXw", "load, play, [pause]"},
        {"w", ""},
        {"pTldRwn?", "load, play, [pause], load next, {PC}"},
        // A start waiting for its delay starts with the whole.
        {"pw~", "load, load, starting"}};
    for (const auto& [script, seen] : cases)
        EXPECT_EQ(seen, Play(script)) << script;
}

// Long enough for a busy machine; a stuck player fails here instead of hanging the run.
const int kDeadlineMs = 15000;

class Playback : public BundleTest {
protected:
    static bool Reaches(const Probe& p, wxMediaState state) {
        return WaitUntil([&] { return p.media()->GetState() == state; }, kDeadlineMs);
    }
    static bool Shows(const Probe& p, const wxBitmap& picture) {
        return p.play()->GetBitmapLabel().IsSameAs(picture);
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
        ASSERT_TRUE(Measured(p));
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
