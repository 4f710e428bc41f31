// Paths with characters that the command splitter or the shell would read:
// they must reach SoX unchanged, as tracks, as watermarks and when joining.
#include "SoxCommand.h"
#include "testutil.h"

#include <wx/cmdline.h>

namespace {

// File names that break naive quoting; "X" and "Y" would appear in the
// working folder of a shell that ran the embedded commands.
const char* const kAwkwardNames[] = {
    "wm$(touch X).wav", "it's.wav",          "two  blanks here.wav",
    "back\\slash.wav",  "tick`touch Y`.wav", "mixed '\"\\$`.wav",
    "-dash.wav",        "|bar.wav",          "tab\there.wav",
    "café 日本.wav"};

// One result line per file, whatever its name holds.
TEST(Quoting, ResultLinesShowControlCharactersEscaped) {
    EXPECT_EQ("tab\\there \\n\\x1b.wav", DisplayName("/music/tab\there \n\x1b.wav"));
    EXPECT_EQ(Wx("café 日本.wav"), DisplayName(Wx("/music/café 日本.wav")));
}

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

TEST(Quoting, NamesSoxWouldNotTakeAsFilesGetALeadingDot) {
    for (const char* name : {"-n", "|ls", "http://host/x.mp3", "FTP:x.mp3"})
        EXPECT_EQ("\"./" + wxString(name) + "\"", QuoteSoxPath(name));
    EXPECT_EQ("\"/abs/-n\"", QuoteSoxPath("/abs/-n"));
}

class QuotingRuns : public BundleTest {
protected:
    void TearDown() override {
        // A shell that ran an embedded command would have left these behind,
        // here or in the bundle's folder where SoX runs.
        std::string made;
        Shell("find -L " + ShellQuote(Work("")) +
                  " -maxdepth 4 \\( -name X -o -name Y \\) -print -delete",
              &made);
        EXPECT_EQ("", made);
        BundleTest::TearDown();
    }
};

TEST_F(QuotingRuns, AwkwardTrackWatermarkAndJoinedNames) {
    wxArrayString outputs;
    for (const std::string name : kAwkwardNames) {
        SCOPED_TRACE(name);
        const std::string track = Work("in/" + name), watermark = Work("wm/" + name);
        // Stereo: the mono watermark is converted, and listed twice it comes
        // through a run of its own inside the bed's run. Every other track at
        // another rate, so the join takes both plain and pipe inputs.
        MakeSilence(track, 7.5, outputs.size() % 2 ? 16000 : 8000, 2);
        MakeTone(watermark, 0.5, "sine 1000", 8000, 1);
        CSoxHandler sox;
        PrepareWatermarking(sox, track, {watermark, watermark}, Work("out"));
        ASSERT_TRUE(sox.Run()) << FirstLine(sox);
        // A control character in a name would split its result line.
        EXPECT_EQ(DisplayName(Wx(track)) + ": Process completed successfully", FirstLine(sox));
        const std::string out = Work("out/" + name);
        EXPECT_EQ(Wx(out), sox.GetResultOutput());
        // Both copies, the second through the run inside the bed's run.
        EXPECT_GT(PeakIn(out, 1.0, 0.5), 0.1);
        EXPECT_GT(PeakIn(out, 6.0, 0.5), 0.1);
        outputs.Add(Wx(out));

        // The track inside a pipe input, as a run with a spare core reads it.
        CSoxHandler apart;
        PrepareWatermarking(apart, track, {watermark}, Work("out"), 1, 5, "mp3");
        apart.SetDecodeApart(true);
        ASSERT_TRUE(apart.Run()) << FirstLine(apart);
        EXPECT_GT(PeakIn(apart.GetResultOutput().utf8_string(), 1.0, 0.5), 0.1);
    }
    // WAV headers are read in-process; one SoX run reads every Ogg's, each
    // told apart by its name.
    wxArrayString tracks, oggs;
    for (const std::string name : kAwkwardNames) {
        tracks.Add(Wx(Work("in/" + name)));
        oggs.Add(Wx(Work("in/" + name + ".ogg")));
        ASSERT_EQ(0, Shell("sox " + ShellQuote(Work("in/" + name)) + " " +
                           ShellQuote(Work("in/" + name + ".ogg"))));
    }
    for (const wxArrayString& files : {tracks, oggs}) {
        CommandLog log;
        SoxQueue queue;
        const std::vector<FileLength> lengths = MeasureLengths(files, queue);
        // Ogg states no exact length: each is decoded after the one header run.
        EXPECT_EQ(files == oggs ? 1u + files.size() : 0u, log.commands.size());
        if (files == oggs && !log.commands.empty()) {
            EXPECT_TRUE(log.commands[0].StartsWith("./sox --i ")) << log.commands[0];
        }
        for (const FileLength& length : lengths)
            EXPECT_EQ("00:07", length.text);
    }
    CSoxHandler sox;
    const std::string joined = Work("out/it's \"all\" $(touch X).wav");
    ASSERT_EQ(0, sox.AppendFiles(outputs, Wx(joined))) << FirstLine(sox);
    const AudioInfo info = Inspect(joined);
    EXPECT_EQ(8000, info.rate);
    EXPECT_NEAR(7.5 * outputs.size(), info.seconds, 0.01);
}

} // namespace
