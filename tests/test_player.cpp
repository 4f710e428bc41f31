// The preview player: play, pause, resume and stop on listed tracks, the play
// button's pictures, the end of a track, unreadable files and the volume.
// Playback is real: the media back end plays the files (to a silent output
// where the machine has no sound card) and its position is checked to move.
#include "testutil.h"

#include <wx/image.h>
#include <wx/msgdlg.h>

#include <cmath>

struct PlayerTimers {};
template <> struct MainWindowProbe<PlayerTimers> {
    explicit MainWindowProbe(CMainFormImp& w) : w(w) {}
    CMainFormImp& w;
    wxTimer& startDelay() const { return w.m_startDelayTimer; }
    wxTimer& stateCheck() const { return w.m_stateCheckTimer; }
};
using PlayerTimersProbe = MainWindowProbe<PlayerTimers>;

namespace {

// Long enough for anything the player or a busy machine does; a stuck player
// fails the case at this deadline instead of hanging the run.
const int kDeadlineMs = 15000;

// Answers a message box after checking its text; notes that it was shown.
class MessageSeen : public wxExpectModalBase<wxMessageDialog, MessageSeen> {
public:
    MessageSeen(const wxString& text, bool* seen = nullptr) : m_text(text), m_seen(seen) {}

protected:
    int OnInvoked(wxMessageDialog* dialog) const override {
        EXPECT_EQ(m_text, dialog->GetMessage());
        if (m_seen)
            *m_seen = true;
        return wxID_OK;
    }

private:
    wxString m_text;
    bool* m_seen;
};

void Click(wxButton* button) {
    wxCommandEvent event(wxEVT_BUTTON, button->GetId());
    event.SetEventObject(button);
    button->HandleWindowEvent(event);
}

void MoveSlider(wxSlider* slider, int position) {
    slider->SetValue(position);
    wxScrollEvent event(wxEVT_SCROLL_THUMBTRACK, slider->GetId(), position, wxHORIZONTAL);
    event.SetEventObject(slider);
    slider->HandleWindowEvent(event);
}

// Selects exactly the given rows.
void Select(wxListCtrl* list, std::initializer_list<long> rows) {
    for (long row = 0; row < list->GetItemCount(); ++row)
        list->SetItemState(row, 0, wxLIST_STATE_SELECTED);
    for (long row : rows)
        list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
}

bool SamePicture(const wxBitmap& a, const wxBitmap& b) {
    if (!a.IsOk() || !b.IsOk() || a.GetSize() != b.GetSize())
        return false;
    const wxImage x = a.ConvertToImage(), y = b.ConvertToImage();
    const size_t bytes = size_t(x.GetWidth()) * x.GetHeight() * 3;
    return memcmp(x.GetData(), y.GetData(), bytes) == 0;
}

class Player : public BundleTest {
protected:
    void SetUp() override {
        BundleTest::SetUp();
        MakeTone(Work("long.mp3"), 30, "sine 440");
        MakeTone(Work("short.wav"), 1.5, "sine 660");
        MakeTone(Work("two.wav"), 2, "sine 330");
        MakeTone(Work("three.wav"), 3, "sine 550");
    }

    // Lists the files (in this order) in the window's track list.
    void List(MainWindow& w, std::initializer_list<const char*> names) {
        wxArrayString paths;
        for (const char* name : names)
            paths.Add(Work(name));
        w->OnFileListDropFiles(paths);
        ASSERT_EQ(int(names.size()), Probe(*w).tracks()->GetItemCount());
    }

    // The play button's picture, and what the window believes, in one check.
    static ::testing::AssertionResult Shows(Probe& p, const wxBitmap& picture, bool playing) {
        if (!SamePicture(p.play()->GetBitmapLabel(), picture))
            return ::testing::AssertionFailure() << "the play button shows another picture";
        if (p.isPlaying() != playing)
            return ::testing::AssertionFailure() << "m_isPlaying is " << p.isPlaying();
        return ::testing::AssertionSuccess();
    }

    // Clicks play and waits for playback to begin after the start delay.
    static void StartPlaying(Probe& p) {
        Click(p.play());
        ASSERT_TRUE(WaitUntil([&] { return p.isPlaying(); }, kDeadlineMs));
        ASSERT_TRUE(
            WaitUntil([&] { return p.media()->GetState() == wxMEDIASTATE_PLAYING; }, kDeadlineMs));
    }

    // True when the player's position moves on by at least ms.
    static bool Advances(wxMediaCtrl* media, int ms) {
        const wxFileOffset from = media->Tell();
        return WaitUntil([&] { return media->Tell() >= from + ms; }, kDeadlineMs);
    }
};

TEST_F(Player, PicturesAreLoadedAndTellTheThreeOffersApart) {
    MainWindow w;
    Probe p(*w);
    ASSERT_TRUE(p.playBitmap().IsOk());
    ASSERT_TRUE(p.pauseBitmap().IsOk());
    ASSERT_TRUE(p.resumeBitmap().IsOk());
    EXPECT_FALSE(SamePicture(p.playBitmap(), p.pauseBitmap()));
    EXPECT_FALSE(SamePicture(p.playBitmap(), p.resumeBitmap()));
    EXPECT_FALSE(SamePicture(p.pauseBitmap(), p.resumeBitmap()));
    EXPECT_TRUE(Shows(p, p.playBitmap(), false));
}

TEST_F(Player, PlayWithoutASelectedTrackAsksForOne) {
    MainWindow w;
    Probe p(*w);
    PlayerTimersProbe t(*w);
    wxTEST_DIALOG(Click(p.play()), MessageSeen("Select a file to play first."));
    // Rows alone are not enough, and watermark rows are never played.
    List(w, {"two.wav"});
    wxArrayString watermark;
    watermark.Add(Work("two.wav"));
    w->OnWatermarkListDropFiles(watermark);
    Select(p.watermarks(), {0});
    wxTEST_DIALOG(Click(p.play()), MessageSeen("Select a file to play first."));

    EXPECT_FALSE(t.startDelay().IsRunning());
    Pump(700);
    EXPECT_TRUE(Shows(p, p.playBitmap(), false));
    EXPECT_EQ(wxMEDIASTATE_STOPPED, p.media()->GetState());
}

TEST_F(Player, AFileThatCannotBeLoadedIsReportedAndTheWindowStaysIdle) {
    MainWindow w;
    Probe p(*w);
    PlayerTimersProbe t(*w);
    List(w, {"two.wav", "three.wav"});

    // Replaced by something that is not audio after it was listed: the back
    // end finds out while loading in the background.
    ASSERT_EQ(0, Shell("head -c 50000 /dev/urandom > " + ShellQuote(Work("two.wav"))));
    Select(p.tracks(), {0});
    bool seen = false;
    wxTEST_DIALOG(
        {
            Click(p.play());
            EXPECT_TRUE(WaitUntil([&] { return seen; }, kDeadlineMs));
        },
        MessageSeen("Fail to load media file", &seen));
    EXPECT_FALSE(t.startDelay().IsRunning());
    EXPECT_FALSE(t.stateCheck().IsRunning());
    Pump(1200);
    EXPECT_TRUE(Shows(p, p.playBitmap(), false));
    EXPECT_NE(wxMEDIASTATE_PLAYING, p.media()->GetState());

    // Removed after it was listed: reported at once.
    ASSERT_TRUE(wxRemoveFile(Work("three.wav")));
    Select(p.tracks(), {1});
    wxTEST_DIALOG(Click(p.play()), MessageSeen("Fail to load media file"));
    EXPECT_FALSE(t.startDelay().IsRunning());
    EXPECT_TRUE(Shows(p, p.playBitmap(), false));
}

TEST_F(Player, PlayPauseResumeAndStopWithTheirPictures) {
    MainWindow w;
    Probe p(*w);
    PlayerTimersProbe t(*w);
    List(w, {"long.mp3"});
    Select(p.tracks(), {0});

    // Starting: the pause picture waits for playback to really begin.
    Click(p.play());
    EXPECT_TRUE(t.startDelay().IsRunning());
    EXPECT_TRUE(Shows(p, p.playBitmap(), false));
    EXPECT_NE(wxMEDIASTATE_PLAYING, p.media()->GetState());

    ASSERT_TRUE(WaitUntil([&] { return p.isPlaying(); }, kDeadlineMs));
    EXPECT_TRUE(Shows(p, p.pauseBitmap(), true));
    ASSERT_TRUE(
        WaitUntil([&] { return p.media()->GetState() == wxMEDIASTATE_PLAYING; }, kDeadlineMs));
    EXPECT_TRUE(Advances(p.media(), 300));
    EXPECT_TRUE(t.stateCheck().IsRunning());

    // Paused: the position holds.
    Click(p.play());
    ASSERT_TRUE(
        WaitUntil([&] { return p.media()->GetState() == wxMEDIASTATE_PAUSED; }, kDeadlineMs));
    EXPECT_TRUE(Shows(p, p.resumeBitmap(), true));
    const wxFileOffset pausedAt = p.media()->Tell();
    Pump(1500);
    EXPECT_NEAR(pausedAt, p.media()->Tell(), 50);
    EXPECT_EQ(wxMEDIASTATE_PAUSED, p.media()->GetState());
    EXPECT_TRUE(Shows(p, p.resumeBitmap(), true));

    // Resumed from the same place, not from the start.
    Click(p.play());
    ASSERT_TRUE(
        WaitUntil([&] { return p.media()->GetState() == wxMEDIASTATE_PLAYING; }, kDeadlineMs));
    EXPECT_TRUE(Shows(p, p.pauseBitmap(), true));
    EXPECT_GE(p.media()->Tell(), pausedAt - 50);
    EXPECT_TRUE(Advances(p.media(), 300));

    // Stop while paused goes back to Idle.
    Click(p.play());
    ASSERT_TRUE(
        WaitUntil([&] { return p.media()->GetState() == wxMEDIASTATE_PAUSED; }, kDeadlineMs));
    Click(p.stop());
    EXPECT_TRUE(Shows(p, p.playBitmap(), false));
    EXPECT_TRUE(
        WaitUntil([&] { return p.media()->GetState() == wxMEDIASTATE_STOPPED; }, kDeadlineMs));
    EXPECT_FALSE(t.stateCheck().IsRunning());

    // Stop while Idle changes nothing, and nothing left running changes it later.
    Click(p.stop());
    Pump(1500);
    EXPECT_TRUE(Shows(p, p.playBitmap(), false));
    EXPECT_EQ(wxMEDIASTATE_STOPPED, p.media()->GetState());

    // The next play loads the track afresh and starts from the beginning.
    StartPlaying(p);
    EXPECT_LT(p.media()->Tell(), 5000);
    Click(p.stop());
}

TEST_F(Player, TheTopmostSelectedTrackPlaysAndAnotherOnlyAfterStop) {
    MainWindow w;
    Probe p(*w);
    List(w, {"short.wav", "two.wav", "three.wav"});
    // Lengths tell the files apart.
    auto lengthNear = [&](int ms) {
        return WaitUntil([&] { return std::abs(p.media()->Length() - ms) < 100; }, kDeadlineMs);
    };

    Select(p.tracks(), {1, 2});
    StartPlaying(p);
    EXPECT_TRUE(lengthNear(2000));

    // Choosing another row while one plays: the click pauses what plays.
    Select(p.tracks(), {2});
    Click(p.play());
    ASSERT_TRUE(
        WaitUntil([&] { return p.media()->GetState() == wxMEDIASTATE_PAUSED; }, kDeadlineMs));
    EXPECT_TRUE(Shows(p, p.resumeBitmap(), true));
    EXPECT_TRUE(lengthNear(2000));

    Click(p.stop());
    StartPlaying(p);
    EXPECT_TRUE(lengthNear(3000));
    Click(p.stop());
}

TEST_F(Player, ATrackPlayedToItsEndBringsBackThePlayPicture) {
    MainWindow w;
    Probe p(*w);
    PlayerTimersProbe t(*w);
    List(w, {"short.wav"});
    Select(p.tracks(), {0});
    StartPlaying(p);
    EXPECT_TRUE(Shows(p, p.pauseBitmap(), true));

    ASSERT_TRUE(WaitUntil([&] { return !p.isPlaying(); }, kDeadlineMs));
    EXPECT_TRUE(Shows(p, p.playBitmap(), false));
    EXPECT_EQ(wxMEDIASTATE_STOPPED, p.media()->GetState());
    EXPECT_NEAR(1500, p.media()->Tell(), 100);
    EXPECT_FALSE(t.stateCheck().IsRunning());

    // Played again from the start.
    StartPlaying(p);
    EXPECT_LT(p.media()->Tell(), 1400);
    ASSERT_TRUE(WaitUntil([&] { return !p.isPlaying(); }, kDeadlineMs));
    EXPECT_TRUE(Shows(p, p.playBitmap(), false));
}

TEST_F(Player, ASecondClickDuringTheStartDelayIsIgnored) {
    MainWindow w;
    Probe p(*w);
    PlayerTimersProbe t(*w);
    List(w, {"long.mp3"});
    Select(p.tracks(), {0});
    int loads = 0;
    p.media()->Bind(wxEVT_MEDIA_LOADED, [&](wxMediaEvent& event) {
        ++loads;
        event.Skip();
    });

    Click(p.play());
    // The back end takes the file up within moments, well inside the delay.
    ASSERT_TRUE(WaitUntil([&] { return loads == 1; }, kDeadlineMs));
    ASSERT_TRUE(t.startDelay().IsRunning()) << "the machine is too busy to click twice in time";
    Click(p.play());
    EXPECT_TRUE(Shows(p, p.playBitmap(), false));
    ASSERT_TRUE(WaitUntil([&] { return p.isPlaying(); }, kDeadlineMs));
    // Neither a second load nor a pause: one playback, one state check.
    EXPECT_TRUE(Advances(p.media(), 700));
    EXPECT_EQ(1, loads);
    EXPECT_EQ(wxMEDIASTATE_PLAYING, p.media()->GetState());
    EXPECT_TRUE(Shows(p, p.pauseBitmap(), true));
    EXPECT_FALSE(t.startDelay().IsRunning());
    Click(p.stop());
}

TEST_F(Player, StopDuringTheStartDelayCancelsTheStart) {
    MainWindow w;
    Probe p(*w);
    PlayerTimersProbe t(*w);
    List(w, {"long.mp3"});
    Select(p.tracks(), {0});
    Click(p.play());
    Click(p.stop());
    EXPECT_FALSE(t.startDelay().IsRunning());
    Pump(1500);
    EXPECT_TRUE(Shows(p, p.playBitmap(), false));
    EXPECT_NE(wxMEDIASTATE_PLAYING, p.media()->GetState());

    // And the track can be started again normally.
    StartPlaying(p);
    Click(p.stop());
}

TEST_F(Player, TheVolumeSliderSetsTheVolumeWithoutPausing) {
    MainWindow w;
    Probe p(*w);
    List(w, {"long.mp3"});
    Select(p.tracks(), {0});
    StartPlaying(p);
    EXPECT_NEAR(1.0, p.media()->GetVolume(), 0.001);

    MoveSlider(p.volume(), 0);
    EXPECT_NEAR(0.0, p.media()->GetVolume(), 0.001);
    EXPECT_TRUE(Advances(p.media(), 500));
    EXPECT_EQ(wxMEDIASTATE_PLAYING, p.media()->GetState());
    EXPECT_TRUE(Shows(p, p.pauseBitmap(), true));

    MoveSlider(p.volume(), 37);
    EXPECT_NEAR(0.37, p.media()->GetVolume(), 0.001);
    MoveSlider(p.volume(), 100);
    EXPECT_NEAR(1.0, p.media()->GetVolume(), 0.001);
    EXPECT_EQ(wxMEDIASTATE_PLAYING, p.media()->GetState());
    Click(p.stop());
}

TEST_F(Player, PicturesFollowAPlayerThatStopsByItself) {
    MainWindow w;
    Probe p(*w);
    PlayerTimersProbe t(*w);
    List(w, {"long.mp3"});
    Select(p.tracks(), {0});

    // The back end stops the player on a decoding error as it does at the
    // end of a file; the state check notices either way.
    StartPlaying(p);
    p.media()->Stop();
    ASSERT_TRUE(WaitUntil([&] { return !p.isPlaying(); }, kDeadlineMs));
    EXPECT_TRUE(Shows(p, p.playBitmap(), false));

    // Stopped while paused, too.
    StartPlaying(p);
    Click(p.play());
    ASSERT_TRUE(
        WaitUntil([&] { return p.media()->GetState() == wxMEDIASTATE_PAUSED; }, kDeadlineMs));
    p.media()->Stop();
    ASSERT_TRUE(WaitUntil([&] { return !p.isPlaying(); }, kDeadlineMs));
    EXPECT_TRUE(Shows(p, p.playBitmap(), false));

    // A click on pause after the stop but before the check looked: the
    // button catches up instead of pausing (which would load the file again).
    StartPlaying(p);
    t.stateCheck().Stop();
    p.media()->Stop();
    ASSERT_TRUE(
        WaitUntil([&] { return p.media()->GetState() == wxMEDIASTATE_STOPPED; }, kDeadlineMs));
    Click(p.play());
    EXPECT_TRUE(Shows(p, p.playBitmap(), false));
    EXPECT_FALSE(t.startDelay().IsRunning());
    Pump(700);
    EXPECT_EQ(wxMEDIASTATE_STOPPED, p.media()->GetState());
    EXPECT_TRUE(Shows(p, p.playBitmap(), false));
}

TEST_F(Player, ClosingTheWindowWhilePlayingEndsCleanly) {
    for (bool paused : {false, true}) {
        {
            MainWindow w;
            Probe p(*w);
            List(w, {"long.mp3"});
            Select(p.tracks(), {0});
            StartPlaying(p);
            if (paused)
                Click(p.play());
        }
        // Whatever the back end still had to say about the closed window's player.
        Pump(1500);
    }
}

} // namespace
