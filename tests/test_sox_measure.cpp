// Measuring files through the engine: lengths, message lines, formats.
#include "testutil.h"

namespace {

class Measure : public BundleTest {};

TEST_F(Measure, LengthTextAndWholeSecondsAcrossFormats) {
    struct Case {
        std::string name;
        double seconds;
        const char* text;
        int whole;
    };
    // 185.34 s truncates to 185 (not rounded); minutes are not capped at two digits.
    const Case cases[] = {{"long.wav", 185.34, "03:05", 185},
                          {"short.aiff", 0.4, "00:00", 0},
                          {"hours.wav", 6000, "100:00", 6000},
                          {"song.mp3", 61.9, "01:01", 61}};
    CSoxHandler sox;
    sox.SetOperation(SOX_TRACK_LENGTH);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.seconds > 1000)
            MakeSilence(Work(c.name), c.seconds, 8000, 1);
        else
            MakeTone(Work(c.name), c.seconds);
        sox.SetInputFile(Work(c.name));
        ASSERT_TRUE(sox.Run());
        EXPECT_EQ(c.text, sox.GetResult());
        EXPECT_EQ(c.whole, sox.GetResultLong());
        ASSERT_EQ(1u, sox.GetErrors().size());
        EXPECT_EQ(wxString(c.name) + ": Process completed successfully", sox.GetErrors()[0]);

        CSoxHandler other;
        EXPECT_EQ(c.whole, other.GetTrackLength(Work(c.name)));
        EXPECT_TRUE(other.GetErrors().empty());
    }
}

TEST_F(Measure, UnreadableFileGivesOneLineWithSoxsError) {
    const std::string path = Work("broken.mp3");
    ASSERT_EQ(0, Shell("head -c 5000 /dev/urandom > " + ShellQuote(path)));
    CSoxHandler sox;
    sox.SetOperation(SOX_TRACK_LENGTH);
    sox.SetInputFile(path);
    EXPECT_FALSE(sox.Run());
    ASSERT_EQ(1u, sox.GetErrors().size());
    const wxString line = sox.GetErrors()[0];
    EXPECT_TRUE(line.StartsWith("broken.mp3: ")) << line;
    EXPECT_GT(line.length(), wxString("broken.mp3: ").length()) << line;
    EXPECT_EQ(-1, sox.GetTrackLength(path));

    // A missing file fails the same way and keeps the earlier results.
    sox.SetInputFile(Work("missing.wav"));
    EXPECT_FALSE(sox.Run());
    EXPECT_EQ(1u, sox.GetErrors().size());
    EXPECT_TRUE(sox.GetErrors()[0].StartsWith("missing.wav: "));
}

TEST_F(Measure, EveryRunStartsWithNoLines) {
    MakeTone(Work("a.wav"), 2);
    CSoxHandler sox;
    sox.SetOperation(SOX_TRACK_LENGTH);
    sox.SetInputFile(Work("a.wav"));
    ASSERT_TRUE(sox.Run());
    ASSERT_TRUE(sox.Run());
    EXPECT_EQ(1u, sox.GetErrors().size());

    sox.SetInputFile("");
    EXPECT_FALSE(sox.Run());
    EXPECT_TRUE(sox.GetErrors().empty());
}

TEST_F(Measure, CommandTextIsTheDocumentedOne) {
    wxArrayString commands;
    CSoxHandler::s_commandObserver = [&](const wxString& c) { commands.Add(c); };
    CSoxHandler sox;
    sox.SetOperation(SOX_TRACK_LENGTH);
    sox.SetInputFile("/in/song one.mp3");
    sox.Run();
    CSoxHandler::s_commandObserver = nullptr;
    ASSERT_EQ(1u, commands.size());
    EXPECT_EQ("./sox \"/in/song one.mp3\" -n stat", commands[0]);
}

TEST(MeasureWithoutBundle, NoSoxMeansFailureWithoutCrash) {
    TempDir dir;
    wxString old = wxGetCwd();
    ASSERT_TRUE(wxSetWorkingDirectory(wxString::FromUTF8(dir.path())));
    CSoxHandler sox;
    sox.SetOperation(SOX_TRACK_LENGTH);
    sox.SetInputFile("/nonexistent.wav");
    EXPECT_FALSE(sox.Run());
    EXPECT_EQ(-1, sox.GetTrackLength("/nonexistent.wav"));
    wxSetWorkingDirectory(old);
}

} // namespace
