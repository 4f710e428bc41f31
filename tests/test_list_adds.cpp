// Files added to the lists while the window goes on: rows at once in the
// order given, lengths as they are measured, the count, Stop, and a close
// while measuring.
#include "FileListRows.h"
#include "testutil.h"

#include <wx/timer.h>
#include <wx/weakref.h>

#include <cstdlib>
#include <filesystem>
#include <set>

namespace {

// Counts the processes (SoX, ffmpeg, their shells) whose command line
// mentions the folder.
int ProcessesIn(const std::string& folder) {
    std::string out;
    // "[/]" keeps the shell running pgrep from matching itself.
    Shell("pgrep -f -c -- " + ShellQuote("[/]" + folder.substr(1)), &out);
    return std::atoi(out.c_str());
}

// Files measured so far, as the count shows them ("Measuring 37 of 200": 37).
long MeasuredSoFar(const Probe& p) {
    long done = -1;
    p.measureLabel()->GetLabel().AfterFirst(' ').BeforeFirst(' ').ToLong(&done);
    return done;
}

class ListAdds : public WindowTest {
protected:
    // Short MP3s of each kind, copied as in/NNNNk.mp3 (k: its kind) in the
    // order that count of them are given: an MP3 that ffmpeg wrote carries its
    // frame count; one that SoX wrote carries none, and lasts about a whole
    // second, so that only a decode tells its length. One in ten is SoX's.
    wxArrayString MakeTracks(int count) {
        const std::string kinds = "abcxy";
        if (!std::filesystem::exists(Work("a.mp3"))) {
            const double seconds[] = {1.5, 2.5, 3.4};
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(0, Shell("ffmpeg -v error -f lavfi -i sine=frequency=440:duration=" +
                                   std::to_string(seconds[i]) + " -c:a libmp3lame -b:a 64k " +
                                   ShellQuote(Work(std::string(1, kinds[i]) + ".mp3"))));
            MakeTone(Work("x.mp3"), 4, "sine 440", 44100, 1);
            MakeTone(Work("y.mp3"), 5, "sine 440", 44100, 1);
        }
        wxArrayString paths;
        for (int i = 0; i < count; ++i) {
            const char kind = i % 10 == 0 ? kinds[3 + i / 10 % 2] : kinds[i % 3];
            const std::string name = wxString::Format("in/%04d%c.mp3", i, kind).utf8_string();
            std::filesystem::copy_file(Work(std::string(1, kind) + ".mp3"), Work(name),
                                       std::filesystem::copy_options::overwrite_existing);
            paths.Add(Wx(Work(name)));
        }
        return paths;
    }

    // The length a row of that name shows once measured.
    static wxString LengthOf(const wxString& name) {
        switch (static_cast<char>(name[4].GetValue())) {
        case 'a':
            return "00:01";
        case 'b':
            return "00:02";
        case 'c':
            return "00:03";
        case 'x':
            return "00:04";
        default:
            return "00:05";
        }
    }

    // Near a whole second, so that each is decoded to be measured: a while to measure.
    wxArrayString SlowTracks(int count) {
        MakeTone(Work("slow.mp3"), 4, "sine 440", 44100, 1);
        CopyFile(Work("slow.mp3"), Work("in"), "slow", count);
        wxArrayString paths;
        for (int i = 1; i <= count; ++i)
            paths.Add(Wx(Work("in/slow" + std::to_string(i) + ".mp3")));
        return paths;
    }
};

TEST_F(ListAdds, AThousandFilesGetTheirRowsAtOnceInOrderAndTheirLengthsAsMeasured) {
    const wxArrayString paths = MakeTracks(1000);
    // The event loop runs throughout: a timer sees the count go up.
    size_t ticks = 0;
    std::set<wxString> counts;
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (!p.measuring())
            return;
        ++ticks;
        counts.insert(p.measureLabel()->GetLabel());
    });
    timer.Start(20);

    w->OnFileListDropFiles(paths);
    ASSERT_EQ(1000, p.tracks()->GetItemCount());
    for (long row = 0; row < 1000; ++row) {
        const wxString name = wxFileName(paths[row]).GetFullName();
        EXPECT_EQ(wxString::Format("%ld", row + 1), p.tracks()->GetItemText(row, 0));
        EXPECT_EQ(name, p.tracks()->GetItemText(row, 1));
        const wxString length = p.tracks()->GetItemText(row, 3);
        EXPECT_TRUE(length == "..." || length == LengthOf(name)) << name << " " << length;
    }
    EXPECT_TRUE(p.measuring());
    EXPECT_TRUE(p.measureLabel()->IsShown());
    EXPECT_TRUE(p.measureStop()->IsShown());
    EXPECT_TRUE(p.measureLabel()->GetLabel().StartsWith("Measuring "));
    EXPECT_TRUE(p.measureLabel()->GetLabel().EndsWith(" of 1000"));
    EXPECT_FALSE(p.go()->IsEnabled());

    // Any notice would fail the test: none is due.
    ASSERT_TRUE(Measured(p, 240000));
    timer.Stop();
    EXPECT_GT(ticks, 10u);
    EXPECT_GT(counts.size(), 3u);
    for (long row = 0; row < 1000; ++row) {
        const wxString name = p.tracks()->GetItemText(row, 1);
        EXPECT_EQ(LengthOf(name), p.tracks()->GetItemText(row, 3)) << name;
    }
    EXPECT_FALSE(p.measureLabel()->IsShown());
    EXPECT_FALSE(p.measureStop()->IsShown());
    EXPECT_TRUE(p.go()->IsEnabled());
    EXPECT_EQ(0, ProcessesIn(Work("")));
}

TEST_F(ListAdds, StopMidwayKeepsOnlyTheMeasuredRowsAndEndsEveryProcess) {
    w->OnFileListDropFiles(SlowTracks(60));
    ASSERT_TRUE(WaitUntil([&] { return MeasuredSoFar(p) >= 5; }, 60000));
    Click(p.measureStop());
    EXPECT_EQ(0, ProcessesIn(Work("")));
    EXPECT_FALSE(p.measuring());
    EXPECT_FALSE(p.measureLabel()->IsShown());
    EXPECT_FALSE(p.measureStop()->IsShown());
    EXPECT_TRUE(p.go()->IsEnabled());
    const long kept = p.tracks()->GetItemCount();
    EXPECT_GE(kept, 5);
    EXPECT_LT(kept, 60);
    // Numbered as if the rest had never been added, in the order given.
    long last = 0;
    for (long row = 0; row < kept; ++row) {
        EXPECT_EQ(wxString::Format("%ld", row + 1), p.tracks()->GetItemText(row, 0));
        EXPECT_EQ("00:04", p.tracks()->GetItemText(row, 3));
        long number = 0;
        ASSERT_TRUE(p.tracks()->GetItemText(row, 1).Mid(4).BeforeFirst('.').ToLong(&number));
        EXPECT_GT(number, last);
        last = number;
    }
    Pump(300);
    EXPECT_EQ(kept, p.tracks()->GetItemCount());

    // Adding goes on as before.
    MakeTone(Work("K.wav"), 1.5, "sine 440", 8000, 1);
    w->OnFileListDropFiles(Files({"K.wav", "in/slow1.mp3"}));
    ASSERT_TRUE(Measured(p));
    ASSERT_EQ(kept + 2, p.tracks()->GetItemCount());
    EXPECT_EQ("K.wav", p.tracks()->GetItemText(kept, 1));
    EXPECT_EQ("slow1.mp3", p.tracks()->GetItemText(kept + 1, 1));
    EXPECT_EQ("00:01", p.tracks()->GetItemText(kept, 3));
    EXPECT_EQ("00:04", p.tracks()->GetItemText(kept + 1, 3));
}

TEST_F(ListAdds, ClosingTheWindowWhileMeasuringEndsItAtOnce) {
    w->OnFileListDropFiles(SlowTracks(60));
    w->OnWatermarkListDropFiles(SlowTracks(3));
    ASSERT_TRUE(WaitUntil([&] { return MeasuredSoFar(p) >= 3; }, 60000));
    // Closed as its close box closes it.
    wxWeakRef<CMainFormImp> closing(w.release());
    closing->Close();
    EXPECT_TRUE(WaitUntil([&] { return !closing; }, 5000));
    EXPECT_EQ(0, ProcessesIn(Work("")));
    // Nothing comes back to the rows that went with it.
    Pump(500);
}

TEST_F(ListAdds, AWatermarkOfFiveSecondsIsRefusedWithTheLengthRule) {
    MakeTone(Work("four.wav"), 4.5, "sine 440", 8000, 1);
    MakeTone(Work("five.wav"), 5, "sine 440", 8000, 1);
    wxTEST_DIALOG(
        {
            w->OnWatermarkListDropFiles(Files({"five.wav", "four.wav"}));
            EXPECT_TRUE(Measured(p));
        },
        MessageExpect("Please use watermark files which are maximum of 4 seconds long.\n\n"
                      "This file was not added:\n\nfive.wav: too long (00:05)."));
    EXPECT_EQ("1", Column(p.watermarks(), 0));
    EXPECT_EQ("four.wav", Column(p.watermarks(), 1));
    EXPECT_EQ("00:04", Column(p.watermarks(), 3));
}

// Moves and deletes rebuild the rows while they are measured: each result
// finds its own row, the same file listed twice included.
TEST_F(ListAdds, EachLengthFindsItsRowByItsPathObject) {
    const wxArrayString paths = MakeTracks(40);
    wxArrayString twice = paths;
    twice.Add(paths[0]);
    w->OnFileListDropFiles(twice);
    Select(p.tracks(), {0, 5, 10, 20});
    Click(p.trackDown());
    Click(p.trackDown());
    Select(p.tracks(), {39, 40});
    Click(p.trackUp());
    Select(p.tracks(), {3, 7});
    Click(p.trackDelete());
    EXPECT_TRUE(p.measuring());
    ASSERT_TRUE(Measured(p));
    ASSERT_EQ(39, p.tracks()->GetItemCount());
    int first = 0;
    for (long row = 0; row < 39; ++row) {
        const wxString name = p.tracks()->GetItemText(row, 1);
        EXPECT_EQ(name, wxFileName(*RowPath(p.tracks(), row)).GetFullName());
        EXPECT_EQ(LengthOf(name), p.tracks()->GetItemText(row, 3)) << name;
        first += name == "0000x.mp3";
    }
    EXPECT_EQ(2, first);
}

// A second add joins the count; GO! and the watermarked preview wait for
// the lengths they need.
TEST_F(ListAdds, ASecondAddJoinsTheCountAndGoWaits) {
    MakeTone(Work("beep.wav"), 0.5, "sine 1000", 8000, 1);
    w->OnWatermarkListDropFiles(Files({"beep.wav"}));
    ASSERT_TRUE(Measured(p));
    w->OnFileListDropFiles(SlowTracks(30));
    MakeTone(Work("K.wav"), 1.5, "sine 440", 8000, 1);
    w->OnFileListDropFiles(Files({"K.wav"}));
    EXPECT_TRUE(p.measureLabel()->GetLabel().EndsWith(" of 31")) << p.measureLabel()->GetLabel();
    // Its header tells its length: it does not wait for the decodes added before it.
    EXPECT_TRUE(WaitUntil([&] { return p.tracks()->GetItemText(30, 3) == "00:01"; }, 5000));
    EXPECT_TRUE(p.measuring());
    EXPECT_FALSE(p.go()->IsEnabled());
    Click(p.go()); // nothing: any dialog would fail the test
    Select(p.tracks(), {29});
    p.watermarked()->SetValue(true);
    wxTEST_DIALOG(Click(p.play()),
                  MessageExpect("The watermarked preview needs the lengths of the track and the "
                                "watermarks: wait until they are measured."));
    EXPECT_FALSE(p.player().IsStarting());
    ASSERT_TRUE(Measured(p));
    EXPECT_TRUE(p.go()->IsEnabled());
    EXPECT_EQ(31, p.tracks()->GetItemCount());
}

} // namespace
