// The preview player: play, pause, resume and stop on listed tracks, the play
// button's pictures, the end of a track, unreadable files and the volume.
// Playback is real: the media back end plays the files (to a silent output
// where the machine has no sound card) and its position is checked to move.
#include "testutil.h"

#include <wx/image.h>

#include <cmath>

namespace {

// Long enough for anything the player or a busy machine does; a stuck player
// fails the case at this deadline instead of hanging the run.
const int kDeadlineMs = 15000;

bool SamePicture(const wxBitmap& a, const wxBitmap& b) {
    if (!a.IsOk() || !b.IsOk() || a.GetSize() != b.GetSize())
        return false;
    const wxImage x = a.ConvertToImage(), y = b.ConvertToImage();
    return memcmp(x.GetData(), y.GetData(), size_t(x.GetWidth()) * x.GetHeight() * 3) == 0;
}

class Player : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        MakeTone(Work("long.mp3"), 30, "sine 440");
        MakeTone(Work("short.wav"), 1.5, "sine 660");
        MakeTone(Work("two.wav"), 2, "sine 330");
        MakeTone(Work("three.wav"), 3, "sine 550");
    }

    // Lists the files in the window's track list and selects the given rows.
    void List(std::initializer_list<std::string> names,
              std::initializer_list<long> selected = {0}) {
        w->OnFileListDropFiles(Files(names));
        ASSERT_EQ(int(names.size()), p.tracks()->GetItemCount());
        Select(p.tracks(), selected);
    }

    // The play button's picture, and what the window believes, in one check.
    ::testing::AssertionResult Shows(const wxBitmap& picture, bool playing) {
        if (!SamePicture(p.play()->GetBitmapLabel(), picture))
            return ::testing::AssertionFailure() << "the play button shows another picture";
        if (p.isPlaying() != playing)
            return ::testing::AssertionFailure() << "m_isPlaying is " << p.isPlaying();
        return ::testing::AssertionSuccess();
    }

    bool Reaches(wxMediaState state) {
        return WaitUntil([&] { return p.media()->GetState() == state; }, kDeadlineMs);
    }

    // Clicks play and waits for playback to begin after the start delay.
    void StartPlaying() {
        Click(p.play());
        ASSERT_TRUE(WaitUntil([&] { return p.isPlaying(); }, kDeadlineMs));
        ASSERT_TRUE(Reaches(wxMEDIASTATE_PLAYING));
    }

    // True when the player's position moves on by at least ms.
    bool Advances(int ms) {
        const wxFileOffset from = p.media()->Tell();
        return WaitUntil([&] { return p.media()->Tell() >= from + ms; }, kDeadlineMs);
    }
};

TEST_F(Player, PlayWithoutASelectedTrackAsksForOne) {
    EXPECT_FALSE(SamePicture(p.playBitmap(), p.pauseBitmap()));
    EXPECT_FALSE(SamePicture(p.playBitmap(), p.resumeBitmap()));
    EXPECT_FALSE(SamePicture(p.pauseBitmap(), p.resumeBitmap()));
    EXPECT_TRUE(Shows(p.playBitmap(), false));

    wxTEST_DIALOG(Click(p.play()), MessageExpect("Select a file to play first."));
    // Rows alone are not enough, and watermark rows are never played.
    List({"two.wav"}, {});
    w->OnWatermarkListDropFiles(Files({"two.wav"}));
    Select(p.watermarks(), {0});
    wxTEST_DIALOG(Click(p.play()), MessageExpect("Select a file to play first."));
    EXPECT_FALSE(p.startDelay().IsRunning());
    Pump(700);
    EXPECT_TRUE(Shows(p.playBitmap(), false));
    EXPECT_EQ(wxMEDIASTATE_STOPPED, p.media()->GetState());
}

TEST_F(Player, AFileThatCannotBeLoadedIsReportedAndTheWindowStaysIdle) {
    List({"two.wav", "three.wav"});

    // Replaced by something that is not audio after it was listed: the back
    // end finds out while loading in the background.
    Spoil(Work("two.wav"), 50000);
    const int shown = MessageExpect::Shown();
    wxTEST_DIALOG(
        {
            Click(p.play());
            EXPECT_TRUE(WaitUntil([&] { return MessageExpect::Shown() > shown; }, kDeadlineMs));
        },
        MessageExpect("Fail to load media file"));
    EXPECT_FALSE(p.startDelay().IsRunning() || p.stateCheck().IsRunning());
    Pump(1200);
    EXPECT_TRUE(Shows(p.playBitmap(), false));
    EXPECT_NE(wxMEDIASTATE_PLAYING, p.media()->GetState());

    // Removed after it was listed: reported at once.
    ASSERT_TRUE(wxRemoveFile(Work("three.wav")));
    Select(p.tracks(), {1});
    wxTEST_DIALOG(Click(p.play()), MessageExpect("Fail to load media file"));
    EXPECT_FALSE(p.startDelay().IsRunning());
    EXPECT_TRUE(Shows(p.playBitmap(), false));
}

TEST_F(Player, PlayPauseResumeAndStopWithTheirPictures) {
    List({"long.mp3"});

    // Stop during the start delay cancels the start.
    Click(p.play());
    Click(p.stop());
    EXPECT_FALSE(p.startDelay().IsRunning());
    Pump(1000);
    EXPECT_TRUE(Shows(p.playBitmap(), false));
    EXPECT_NE(wxMEDIASTATE_PLAYING, p.media()->GetState());

    // Starting: the pause picture waits for playback to really begin.
    Click(p.play());
    EXPECT_TRUE(p.startDelay().IsRunning());
    EXPECT_TRUE(Shows(p.playBitmap(), false));
    ASSERT_TRUE(WaitUntil([&] { return p.isPlaying(); }, kDeadlineMs));
    EXPECT_TRUE(Shows(p.pauseBitmap(), true));
    ASSERT_TRUE(Reaches(wxMEDIASTATE_PLAYING));
    EXPECT_TRUE(Advances(300));
    EXPECT_TRUE(p.stateCheck().IsRunning());

    // Paused: the position holds.
    Click(p.play());
    ASSERT_TRUE(Reaches(wxMEDIASTATE_PAUSED));
    EXPECT_TRUE(Shows(p.resumeBitmap(), true));
    const wxFileOffset pausedAt = p.media()->Tell();
    Pump(1500);
    EXPECT_NEAR(pausedAt, p.media()->Tell(), 50);
    EXPECT_TRUE(Shows(p.resumeBitmap(), true));

    // Resumed from the same place, not from the start.
    Click(p.play());
    ASSERT_TRUE(Reaches(wxMEDIASTATE_PLAYING));
    EXPECT_TRUE(Shows(p.pauseBitmap(), true));
    EXPECT_GE(p.media()->Tell(), pausedAt - 50);

    // Volume 0 silences without pausing.
    EXPECT_NEAR(1.0, p.media()->GetVolume(), 0.001);
    Slide(p.volume(), 0);
    EXPECT_NEAR(0.0, p.media()->GetVolume(), 0.001);
    EXPECT_TRUE(Advances(300));
    EXPECT_EQ(wxMEDIASTATE_PLAYING, p.media()->GetState());
    Slide(p.volume(), 37);
    EXPECT_NEAR(0.37, p.media()->GetVolume(), 0.001);

    // Stop while paused goes back to Idle, and nothing left running changes that.
    Click(p.play());
    ASSERT_TRUE(Reaches(wxMEDIASTATE_PAUSED));
    Click(p.stop());
    EXPECT_TRUE(Shows(p.playBitmap(), false));
    EXPECT_TRUE(Reaches(wxMEDIASTATE_STOPPED));
    EXPECT_FALSE(p.stateCheck().IsRunning());
    Click(p.stop());
    Pump(1500);
    EXPECT_TRUE(Shows(p.playBitmap(), false));
    EXPECT_EQ(wxMEDIASTATE_STOPPED, p.media()->GetState());

    // The next play starts from the beginning.
    StartPlaying();
    EXPECT_LT(p.media()->Tell(), 5000);
    Click(p.stop());
}

TEST_F(Player, TheTopmostSelectedTrackPlaysToItsEndAndAnotherOnlyAfterStop) {
    List({"two.wav", "short.wav", "three.wav"}, {1, 2});
    // Lengths tell the files apart.
    auto lengthNear = [&](int ms) {
        return WaitUntil([&] { return std::abs(p.media()->Length() - ms) < 100; }, kDeadlineMs);
    };
    StartPlaying();
    EXPECT_TRUE(lengthNear(1500));
    EXPECT_TRUE(Shows(p.pauseBitmap(), true));
    // The end of the track brings back the play picture within about a second.
    ASSERT_TRUE(WaitUntil([&] { return !p.isPlaying(); }, kDeadlineMs));
    EXPECT_TRUE(Shows(p.playBitmap(), false));
    EXPECT_EQ(wxMEDIASTATE_STOPPED, p.media()->GetState());
    EXPECT_NEAR(1500, p.media()->Tell(), 100);
    EXPECT_FALSE(p.stateCheck().IsRunning());

    Select(p.tracks(), {2});
    StartPlaying();
    EXPECT_TRUE(lengthNear(3000));
    // Choosing another row while one plays: the click pauses what plays.
    Select(p.tracks(), {0});
    Click(p.play());
    ASSERT_TRUE(Reaches(wxMEDIASTATE_PAUSED));
    EXPECT_TRUE(Shows(p.resumeBitmap(), true));
    EXPECT_TRUE(lengthNear(3000));
    Click(p.stop());
    StartPlaying();
    EXPECT_TRUE(lengthNear(2000));
    Click(p.stop());
}

TEST_F(Player, ASecondClickDuringTheStartDelayIsIgnored) {
    List({"long.mp3"});
    int loads = 0;
    p.media()->Bind(wxEVT_MEDIA_LOADED, [&](wxMediaEvent& event) {
        ++loads;
        event.Skip();
    });

    Click(p.play());
    // The back end takes the file up within moments, well inside the delay.
    ASSERT_TRUE(WaitUntil([&] { return loads == 1; }, kDeadlineMs));
    ASSERT_TRUE(p.startDelay().IsRunning()) << "the machine is too busy to click twice in time";
    Click(p.play());
    EXPECT_TRUE(Shows(p.playBitmap(), false));
    ASSERT_TRUE(WaitUntil([&] { return p.isPlaying(); }, kDeadlineMs));
    // Neither a second load nor a pause: one playback, one state check.
    EXPECT_TRUE(Advances(700));
    EXPECT_EQ(1, loads);
    EXPECT_EQ(wxMEDIASTATE_PLAYING, p.media()->GetState());
    EXPECT_TRUE(Shows(p.pauseBitmap(), true));
    EXPECT_FALSE(p.startDelay().IsRunning());
    Click(p.stop());
}

TEST_F(Player, PicturesFollowAPlayerThatStopsByItself) {
    List({"long.mp3"});

    // The back end stops the player on a decoding error as it does at the
    // end of a file; the state check notices, playing or paused.
    for (bool paused : {false, true}) {
        StartPlaying();
        if (paused) {
            Click(p.play());
            ASSERT_TRUE(Reaches(wxMEDIASTATE_PAUSED));
        }
        p.media()->Stop();
        ASSERT_TRUE(WaitUntil([&] { return !p.isPlaying(); }, kDeadlineMs));
        EXPECT_TRUE(Shows(p.playBitmap(), false));
    }

    // A click on pause after the stop but before the check looked: the
    // button catches up instead of pausing (which would load the file again).
    StartPlaying();
    p.stateCheck().Stop();
    p.media()->Stop();
    ASSERT_TRUE(Reaches(wxMEDIASTATE_STOPPED));
    Click(p.play());
    EXPECT_TRUE(Shows(p.playBitmap(), false));
    EXPECT_FALSE(p.startDelay().IsRunning());
    Pump(700);
    EXPECT_EQ(wxMEDIASTATE_STOPPED, p.media()->GetState());
}

TEST_F(Player, ClosingTheWindowWhilePlayingEndsCleanly) {
    for (bool paused : {false, true}) {
        {
            MainWindow other;
            Probe q(*other);
            other->OnFileListDropFiles(Files({"long.mp3"}));
            Select(q.tracks(), {0});
            Click(q.play());
            ASSERT_TRUE(WaitUntil([&] { return q.media()->GetState() == wxMEDIASTATE_PLAYING; },
                                  kDeadlineMs));
            if (paused)
                Click(q.play());
        }
        // Whatever the back end still had to say about the closed window's player.
        Pump(1500);
    }
}

} // namespace
