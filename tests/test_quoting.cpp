// Paths with characters that the command splitter or the shell would read:
// they must reach SoX unchanged, as tracks, as watermarks and when joining.
#include "testutil.h"

#include <wx/cmdline.h>

namespace {

wxString Wx(const std::string& s) {
    return wxString::FromUTF8(s);
}

// File names that break naive quoting; "X" and "Y" would appear in the
// working folder of a shell that ran the embedded commands.
const char* const kAwkwardNames[] = {"Ke$ha.wav",
                                     "wm$(touch X).wav",
                                     "two  blanks here.wav",
                                     "it's.wav",
                                     "say \"hi\".wav",
                                     "back\\slash.wav",
                                     "tick`touch Y`.wav",
                                     "$HOME and ${PATH}.wav",
                                     "trail\\.wav",
                                     "mixed '\"\\$`.wav",
                                     "-dash.wav",
                                     "|bar.wav",
                                     "tab\there.wav",
                                     "semi;colon&amp.wav"};

TEST(Quoting, EveryPathSurvivesTheSplitterAndTheShell) {
    for (const char* name : kAwkwardNames) {
        const wxString path = Wx(std::string("/music/") + name);
        SCOPED_TRACE(name);
        // Top level: one argument, exactly the path.
        wxArrayString args =
            wxCmdLineParser::ConvertStringToArgs(QuoteSoxPath(path), wxCMD_LINE_SPLIT_UNIX);
        ASSERT_EQ(1u, args.size());
        EXPECT_EQ(path, args[0]);

        // Inside a pipe input (itself one double-quoted argument): the
        // splitter gives shell text that /bin/sh turns back into the path.
        args = wxCmdLineParser::ConvertStringToArgs("\"" + QuoteSoxPath(path, true) + "\"",
                                                    wxCMD_LINE_SPLIT_UNIX);
        ASSERT_EQ(1u, args.size());
        std::string echoed;
        ASSERT_EQ(0, Shell("printf '%s' " + args[0].utf8_string(), &echoed));
        EXPECT_EQ(path.utf8_string(), echoed);
    }
}

TEST(Quoting, OrdinaryPathsAreOnlyWrapped) {
    EXPECT_EQ("\"/in/song one.mp3\"", QuoteSoxPath("/in/song one.mp3"));
    EXPECT_EQ("\\\"/wm/a.mp3\\\"", QuoteSoxPath("/wm/a.mp3", true));
}

TEST(Quoting, NamesSoxWouldNotTakeAsFilesGetALeadingDot) {
    EXPECT_EQ("\"./-n\"", QuoteSoxPath("-n"));
    EXPECT_EQ("\"./|ls\"", QuoteSoxPath("|ls"));
    EXPECT_EQ("\"./http://host/x.mp3\"", QuoteSoxPath("http://host/x.mp3"));
    EXPECT_EQ("\"./FTP:x.mp3\"", QuoteSoxPath("FTP:x.mp3"));
    EXPECT_EQ("\"/abs/-n\"", QuoteSoxPath("/abs/-n"));
}

class QuotingRuns : public BundleTest {
protected:
    void SetUp() override {
        BundleTest::SetUp();
        ASSERT_EQ(0, Shell("mkdir -p " + ShellQuote(Work("in")) + " " + ShellQuote(Work("out"))));
        MakeTone(Work("beep.wav"), 0.5, "sine 1000", 8000, 1);
        MakeSilence(Work("quiet.wav"), 3.5, 8000, 1);
    }
    void TearDown() override {
        // A shell that ran an embedded command would have left these behind.
        for (const std::string& folder :
             {Work(""), Work("Velisto.app/Contents/Resources/"), Work("in/"), Work("out/")}) {
            for (const char* made : {"X", "Y"}) {
                EXPECT_FALSE(wxFileExists(Wx(folder + made))) << folder << made;
                wxRemoveFile(Wx(folder + made));
            }
        }
        BundleTest::TearDown();
    }

    bool Render(const std::string& track, const std::string& watermark, CSoxHandler& sox) {
        sox.SetOperation(SOX_ADD_WATERMARK);
        sox.SetInputFile(Wx(track));
        sox.SetOutputFile(Wx(Work("out")));
        sox.SetWaterMarks(wxArrayString(1, Wx(watermark)));
        sox.SetStartTime(1);
        sox.SetWaterMarkInterval(5);
        sox.SetFileFormat("WAV");
        return sox.Run();
    }

    // True when the file holds the beep at 1 s and silence around it.
    static bool BeepAtOneSecond(const std::string& path) {
        return PeakIn(path, 1.0, 0.5) > 0.1 && PeakIn(path, 0, 0.9) < 0.01 &&
               PeakIn(path, 1.6, 1.8) < 0.01;
    }
};

TEST_F(QuotingRuns, AwkwardTrackNames) {
    for (const char* name : kAwkwardNames) {
        SCOPED_TRACE(name);
        const std::string track = Work(std::string("in/") + name);
        ASSERT_EQ(0, Shell("cp " + ShellQuote(Work("quiet.wav")) + " " + ShellQuote(track)));
        CSoxHandler sox;
        ASSERT_TRUE(Render(track, Work("beep.wav"), sox))
            << (sox.GetErrors().empty() ? wxString() : sox.GetErrors()[0]);
        EXPECT_EQ(Wx(std::string(name) + ": Process completed successfully"), sox.GetErrors()[0]);
        const std::string out = Work(std::string("out/") + name);
        EXPECT_EQ(Wx(out), sox.GetResultOutput());
        EXPECT_TRUE(BeepAtOneSecond(out));
    }
}

TEST_F(QuotingRuns, AwkwardWatermarkNamesInsideThePipeInput) {
    MakeSilence(Work("in/track.wav"), 3.5, 8000, 2); // stereo: the pipe also converts
    for (const char* name : kAwkwardNames) {
        SCOPED_TRACE(name);
        const std::string watermark = Work(std::string("in/") + name);
        ASSERT_EQ(0, Shell("cp " + ShellQuote(Work("beep.wav")) + " " + ShellQuote(watermark)));
        CSoxHandler sox;
        ASSERT_TRUE(Render(Work("in/track.wav"), watermark, sox))
            << (sox.GetErrors().empty() ? wxString() : sox.GetErrors()[0]);
        EXPECT_TRUE(BeepAtOneSecond(Work("out/track.wav")));
        ASSERT_EQ(0, Shell("rm " + ShellQuote(watermark)));
    }
}

TEST_F(QuotingRuns, AwkwardNamesWhenJoining) {
    // Every other file at another rate, so both the plain and the pipe input are used.
    wxArrayString files;
    double seconds = 0;
    int i = 0;
    for (const char* name : kAwkwardNames) {
        const std::string path = Work(std::string("in/") + name);
        MakeTone(path, 0.2, "sine 300", i % 2 ? 16000 : 8000, 1);
        files.Add(Wx(path));
        seconds += 0.2;
        ++i;
    }
    CSoxHandler sox;
    const std::string out = Work("out/it's \"all\" $(touch X).wav");
    ASSERT_EQ(0, sox.AppendFiles(files, Wx(out)))
        << (sox.GetErrors().empty() ? wxString() : sox.GetErrors()[0]);
    const AudioInfo info = Inspect(out);
    EXPECT_EQ(8000, info.rate);
    EXPECT_NEAR(seconds, info.seconds, 0.01);
}

} // namespace
