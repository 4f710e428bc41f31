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
    CommandLog log;
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
        EXPECT_EQ("./sox \"" + Wx(Work(c.name)) + "\" -n stat", log.commands.Last());
        EXPECT_EQ(c.text, sox.GetResult());
        EXPECT_EQ(c.whole, sox.GetResultLong());
        // Each run leaves its own line only.
        EXPECT_EQ(Strings({c.name + ": Process completed successfully"}), sox.GetErrors());

        CSoxHandler other;
        EXPECT_EQ(c.whole, other.GetTrackLength(Work(c.name)));
        EXPECT_TRUE(other.GetErrors().empty());
    }
}

TEST_F(Measure, UnreadableOrMissingFileGivesOneLineWithSoxsError) {
    const std::string path = Work("broken.mp3");
    Spoil(path, 5000);
    CSoxHandler sox;
    sox.SetOperation(SOX_TRACK_LENGTH);
    sox.SetInputFile(path);
    EXPECT_FALSE(sox.Run());
    ASSERT_EQ(1u, sox.GetErrors().size());
    EXPECT_TRUE(FirstLine(sox).StartsWith("broken.mp3: ")) << FirstLine(sox);
    EXPECT_GT(FirstLine(sox).length(), wxString("broken.mp3: ").length()) << FirstLine(sox);
    EXPECT_EQ(-1, sox.GetTrackLength(path));

    sox.SetInputFile(Work("missing.wav"));
    EXPECT_FALSE(sox.Run());
    ASSERT_EQ(1u, sox.GetErrors().size());
    EXPECT_TRUE(FirstLine(sox).StartsWith("missing.wav: "));
    // No input: no line at all, not the last run's.
    sox.SetInputFile("");
    EXPECT_FALSE(sox.Run());
    EXPECT_TRUE(sox.GetErrors().empty());
}

TEST(MeasureWithoutBundle, NoSoxMeansFailureWithoutCrash) {
    TempDir dir;
    const wxString old = wxGetCwd();
    ASSERT_TRUE(wxSetWorkingDirectory(Wx(dir.path())));
    CSoxHandler sox;
    EXPECT_EQ(-1, sox.GetTrackLength("/nonexistent.wav"));
    wxSetWorkingDirectory(old);
}

} // namespace
