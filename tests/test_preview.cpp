// The watermark level control and the stamped preview: Play with
// "Watermarked" ticked plays the selected track as the run would write it.
#include "testutil.h"

#include <wx/app.h>
#include <wx/filefn.h>

#include <algorithm>

namespace {

class LevelWindow : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        MakeTone(Work("beep.wav"), 0.5, "sine 1000 vol 0.5", 44100, 1);
        MakeSilence(Work("song.wav"), 8.5);
    }
    // One mix per render.
    CommandLog m_log;
};

// Clamping of stored levels is the store's, a run's scaling GO!'s: both tested there.
TEST_F(LevelWindow, WatermarkedPreviewRendersOnlyWhenItsSoundChanges) {
    // A fresh start sets the tag against the music; here, on the file as recorded.
    EXPECT_EQ("Watermark level: -6 LU", p.levelLabel()->GetLabel());
    Choose(p.levelMode(), "dB as recorded");
    Choose(p.dip(), "No dip");
    Slide(p.level(), 3);
    EXPECT_EQ("Watermark level: +3 dB", p.levelLabel()->GetLabel());
    Slide(p.level(), 0, wxEVT_SCROLL_CHANGED);
    EXPECT_EQ("Watermark level: 0 dB", p.levelLabel()->GetLabel());
    MakeTone(Work("other.wav"), 6.5, "sine 220 vol 0.1");
    w->OnFileListDropFiles(Files({"song.wav", "other.wav"}));
    w->OnWatermarkListDropFiles(Files({"beep.wav"}));
    ASSERT_TRUE(Measured(p));
    Select(p.tracks(), {0});
    p.startChoice()->SetSelection(2); // "2 Seconds", repeating every 5: at 2 and 7
    p.watermarked()->SetValue(true);
    auto play = [&](size_t renders) {
        Click(p.play());
        EXPECT_EQ(renders, m_log.Mixes());
        const wxString file = p.player().LoadedFile();
        Click(p.stop());
        return file;
    };

    // Rendered, as WAV although the output is MP3, and played.
    Click(p.play());
    ASSERT_EQ(1u, m_log.Mixes());
    const wxString first = p.stamped().File();
    EXPECT_TRUE(first.StartsWith(p.stamped().Folder() + "/") && first.EndsWith(".wav")) << first;
    EXPECT_EQ(first, p.player().LoadedFile());
    EXPECT_TRUE(WaitUntil([&] { return p.media()->GetState() == wxMEDIASTATE_PLAYING; }, 15000));
    // The beep at 2 and 7 s, and nothing else.
    const std::string file = first.utf8_string();
    const double loud = PeakIn(file, 2, 0.5);
    EXPECT_GT(loud, 0.3);
    EXPECT_GT(PeakIn(file, 7, 0.5), 0.3);
    EXPECT_LT(std::max({PeakIn(file, 0, 1.95), PeakIn(file, 2.55, 4.4), PeakIn(file, 7.55, 0.9)}),
              0.01);
    Click(p.stop());
    // Nothing changed: the same file again.
    EXPECT_EQ(first, play(1));

    // 6 dB quieter: rendered again, the earlier file removed.
    Slide(p.level(), -6);
    EXPECT_EQ("Watermark level: -6 dB", p.levelLabel()->GetLabel());
    const wxString quieter = play(2);
    EXPECT_NE(first, quieter);
    EXPECT_FALSE(wxFileExists(first));
    EXPECT_NEAR(0.5, PeakIn(quieter.utf8_string(), 2, 0.5) / loud, 0.025);

    // A dip changes the sound too.
    Choose(p.dip(), "Dip 6 dB");
    EXPECT_NE(quieter, play(3));
    Choose(p.dip(), "No dip");
    play(4);

    // Unticked: the track itself.
    p.watermarked()->SetValue(false);
    EXPECT_EQ(Wx(Work("song.wav")), play(4));
    p.watermarked()->SetValue(true);

    // Another track, and the same track saved again, are rendered again.
    Select(p.tracks(), {1});
    play(5);
    ASSERT_EQ(0, Shell("touch -d '+1 minute' " + ShellQuote(Work("other.wav"))));
    play(6);
}

TEST_F(LevelWindow, AFailedRenderIsShownAndTheFilesGoWithTheWindow) {
    MakeSilence(Work("short.wav"), 1.5);
    w->OnFileListDropFiles(Files({"short.wav"}));
    ASSERT_TRUE(Measured(p));
    Select(p.tracks(), {0});
    p.watermarked()->SetValue(true);
    wxTEST_DIALOG(Click(p.play()), MessageExpect("Please add at least one watermark file."));
    EXPECT_FALSE(p.player().IsStarting());

    w->OnWatermarkListDropFiles(Files({"beep.wav"}));
    ASSERT_TRUE(Measured(p));
    p.startChoice()->SetSelection(2);
    wxTEST_DIALOG(
        Click(p.play()),
        MessageExpect(
            "short.wav: Not processed: the track ends before the first watermark at 2 s."));
    EXPECT_FALSE(p.player().IsStarting());
    EXPECT_TRUE(p.player().LoadedFile().empty());

    // Closing the window removes what its previews rendered.
    w->OnFileListDropFiles(Files({"song.wav"}));
    ASSERT_TRUE(Measured(p));
    Select(p.tracks(), {1});
    Click(p.play());
    const wxString folder = p.stamped().Folder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(wxFileExists(p.stamped().File()));
    Click(p.stop());
    w.release()->Close(false);
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();
    EXPECT_FALSE(wxDirExists(folder)) << folder;
}

// Files in the preview's folder.
long FilesIn(const StampedPreview& stamped) {
    const std::string listing = Listing(stamped.Folder().utf8_string());
    return std::count(listing.begin(), listing.end(), '\n');
}

// A long track: its first part plays at once, the whole renders in the
// background and takes over where the part had got to.
TEST_F(LevelWindow, ALongTrackPlaysItsFirstPartWhileTheWholeRenders) {
    MakeTone(Work("long.wav"), 95, "sine 220 vol 0.2", 8000, 1);
    w->OnFileListDropFiles(Files({"long.wav"}));
    w->OnWatermarkListDropFiles(Files({"beep.wav"}));
    ASSERT_TRUE(Measured(p));
    Select(p.tracks(), {0});
    p.watermarked()->SetValue(true);
    const StampedPreview& stamped = p.stamped();

    Click(p.play());
    const wxString part = p.player().LoadedFile();
    EXPECT_TRUE(part.StartsWith(stamped.Folder() + "/")) << part;
    EXPECT_NEAR(30, Inspect(part.utf8_string()).seconds, 0.001);
    // The whole begins once its music is measured, in the background.
    ASSERT_TRUE(WaitUntil([&] { return m_log.Mixes() == 2; }, 15000))
        << wxJoin(m_log.commands, '\n');
    // The first mix renders the first 30 s only.
    const auto mix = std::find_if(m_log.commands.begin(), m_log.commands.end(),
                                  [](const wxString& c) { return c.Contains(" -v 1 "); });
    ASSERT_NE(m_log.commands.end(), mix);
    EXPECT_TRUE(mix->Contains(" -p trim 0 30 || ")) << *mix;
    ASSERT_TRUE(WaitUntil([&] { return p.media()->Tell() >= 300; }, 15000));
    const long long reached = p.media()->Tell();
    ASSERT_TRUE(WaitUntil(
        [&] { return !stamped.RendersInBackground() && p.player().LoadedFile() == stamped.File(); },
        15000));
    EXPECT_NEAR(95, Inspect(stamped.File().utf8_string()).seconds, 0.001);
    // Playing on from the part's position; the part's control stops once
    // the whole is heard.
    EXPECT_TRUE(WaitUntil(
        [&] {
            return p.media()->GetState() == wxMEDIASTATE_PLAYING &&
                   !p.mediaControl().IsHandingOver();
        },
        15000));
    EXPECT_GE(p.media()->Tell(), reached);
    EXPECT_TRUE(p.player().IsPlaying());
    Click(p.stop());
    // Played again as it is: the whole, at once.
    Click(p.play());
    EXPECT_EQ(2u, m_log.Mixes());
    EXPECT_EQ(stamped.File(), p.player().LoadedFile());
    Click(p.stop());

    // A change while the whole renders ends that render; only the last
    // render's files stay.
    Slide(p.level(), -3);
    Click(p.play());
    EXPECT_TRUE(stamped.RendersInBackground());
    Click(p.stop());
    Slide(p.level(), -6);
    Click(p.play());
    ASSERT_TRUE(WaitUntil([&] { return !stamped.RendersInBackground(); }, 15000));
    Click(p.stop());
    EXPECT_EQ(2, FilesIn(stamped)) << Listing(stamped.Folder().utf8_string());

    // Unticked while the whole renders: the render ends and its file goes.
    Slide(p.level(), -9);
    Click(p.play());
    Click(p.stop());
    ASSERT_TRUE(stamped.RendersInBackground());
    p.watermarked()->SetValue(false);
    wxCommandEvent untick(wxEVT_CHECKBOX, p.watermarked()->GetId());
    untick.SetEventObject(p.watermarked());
    untick.SetInt(0);
    p.watermarked()->ProcessWindowEvent(untick);
    EXPECT_FALSE(stamped.RendersInBackground());
    EXPECT_EQ(1, FilesIn(stamped)) << Listing(stamped.Folder().utf8_string());
}

} // namespace
