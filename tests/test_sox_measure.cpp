// Measuring files through the engine: lengths, message lines, formats.
#include "testutil.h"

#include <tuple>

namespace {

class Measure : public BundleTest {};

// 185.34 s truncates to 185 (not rounded) and keeps its fraction apart;
// minutes are not capped at two digits. Each run leaves its own line only.
TEST_F(Measure, LengthTextAndWholeSecondsAcrossFormatsOrSoxsError) {
    CSoxHandler sox;
    sox.SetOperation(SOX_TRACK_LENGTH);
    for (const auto& [name, seconds, text, whole] :
         {std::make_tuple("long.wav", 185.34, "03:05", 185),
          std::make_tuple("short.aiff", 0.4, "00:00", 0),
          std::make_tuple("hours.wav", 6000.0, "100:00", 6000),
          std::make_tuple("song.mp3", 61.9, "01:01", 61)}) {
        SCOPED_TRACE(name);
        const std::string path = Work(name);
        if (whole == 6000)
            MakeSilence(path, seconds, 8000, 1);
        else
            MakeTone(path, seconds);
        sox.SetInputFile(path);
        ASSERT_TRUE(sox.Run());
        EXPECT_EQ(text, sox.GetResult());
        EXPECT_EQ(whole, sox.GetResultLong());
        // The fraction too (an MP3 by an encoder's frame or so).
        EXPECT_NEAR(seconds, sox.GetResultSeconds(), 0.06);
        EXPECT_EQ(Strings({Wx(name) + ": Process completed successfully"}), sox.GetErrors());
        EXPECT_EQ(whole, CSoxHandler().GetTrackLength(path));
    }

    // An unreadable file: one line with SoX's error. No input: no line, not the last run's.
    Spoil(Work("broken.mp3"), 5000);
    sox.SetInputFile(Work("broken.mp3"));
    EXPECT_FALSE(sox.Run());
    EXPECT_EQ(Strings({FirstLine(sox)}), sox.GetErrors());
    EXPECT_TRUE(FirstLine(sox).StartsWith("broken.mp3: ") && FirstLine(sox).length() > 12)
        << FirstLine(sox);
    EXPECT_EQ(-1, sox.GetTrackLength(Work("broken.mp3")));
    sox.SetInputFile("");
    EXPECT_FALSE(sox.Run());
    EXPECT_TRUE(sox.GetErrors().empty());
}

// Text before the first frame ("MAD lost sync"): SoX warns before its
// statistics.
TEST_F(Measure, WarningsBeforeTheStatisticsAreSkipped) {
    MakeTone(Work("clean.mp3"), 6.5);
    ASSERT_EQ(0, Shell("(yes 'not audio' | head -c 3000; cat " + ShellQuote(Work("clean.mp3")) +
                       ") > " + ShellQuote(Work("junk.mp3"))));
    MakeTone(Work("beep.wav"), 0.5, "sine 1000", 8000, 1);
    const std::string junk = Work("junk.mp3");
    // The case this is about.
    ASSERT_EQ(0u, StatOf(ShellQuote(junk)).find("sox WARN"));
    CSoxHandler sox;
    sox.SetOperation(SOX_TRACK_LENGTH);
    sox.SetInputFile(Wx(junk));
    ASSERT_TRUE(sox.Run()) << FirstLine(sox);
    EXPECT_EQ("00:06", sox.GetResult());
    EXPECT_EQ(6, sox.GetTrackLength(Wx(junk)));
    PrepareWatermarking(sox, junk, {Work("beep.wav")}, Work("out"), 1, 5);
    ASSERT_TRUE(sox.Run()) << FirstLine(sox);
    EXPECT_EQ("junk.mp3: Process completed successfully", FirstLine(sox));
}

// SoX would wait for ever on a FIFO or a device, and a name that is not
// UTF-8 cannot reach it intact: such files get their line, and no SoX run
// ever names them, in the lists' measuring and in a run.
TEST_F(Measure, FilesThatAreNotRegularOrNotUtf8NeverReachSox) {
    MakeTone(Work("in/a.wav"), 2, "sine 440 vol 0.1");
    MakeTone(Work("wm/beep.wav"), 0.5, "sine 1000 vol 0.1", 8000, 1);
    ASSERT_EQ(0, Shell("cd " + ShellQuote(Work("in")) +
                       " && mkfifo b.wav && mkdir d.wav \"$(printf 'f\\351')\" && cp a.wav "
                       "\"$(printf 'caf\\351.wav')\" && cp a.wav \"$(printf 'f\\351')/ok.wav\""));
    wxArrayString paths = Files({"in/a.wav", "in/b.wav", "in/d.wav"});
    for (const std::string name : {"in/caf\xe9.wav", "in/f\xe9/ok.wav"})
        paths.Add(wxString(Work(name).c_str(), *wxConvFileName));
    paths.Add("/dev/null");
    const wxArrayString refused = Strings(
        {"b.wav: Not processed: it is not a regular file (a FIFO).",
         "d.wav: Not processed: it is not a regular file (a folder).",
         "caf\\xe9.wav: Not processed: its name is not valid UTF-8; rename the file.",
         "ok.wav: Not processed: the name of its folder is not valid UTF-8; rename the folder.",
         "null: Not processed: it is not a regular file (a character device)."});
    CommandLog log;
    SoxQueue queue;
    const std::vector<FileLength> lengths = MeasureLengths(paths, queue);
    ASSERT_EQ(6u, lengths.size());
    EXPECT_TRUE(lengths[0].measured);
    for (size_t i = 1; i < lengths.size(); ++i) {
        EXPECT_FALSE(lengths[i].measured);
        EXPECT_EQ(refused[i - 1], lengths[i].line);
    }
    for (const wxString& command : log.commands)
        for (const char* name : {"b.wav", "d.wav", "caf", "ok.wav", "/dev/null"})
            EXPECT_FALSE(command.Contains(name)) << command;
}

// A bundle whose sox is a link to nowhere: every operation says
// so in its line and returns.
class MeasureWithoutBundle : public BundleTest {};

TEST_F(MeasureWithoutBundle, SoxThatCannotBeStartedIsReported) {
    ASSERT_EQ(0, Shell("cd " + ShellQuote(Work("")) +
                       " && rm Velisto.app && mkdir -p Velisto.app/Contents/Resources && ln -s "
                       "/nowhere/sox Velisto.app/Contents/Resources/sox"));
    const std::string song = Work("song.wav");
    MakeTone(song, 1.5);
    CSoxHandler sox;
    sox.SetOperation(SOX_TRACK_LENGTH);
    sox.SetInputFile(Wx(song));
    EXPECT_FALSE(sox.Run());
    EXPECT_EQ(Strings({"song.wav: SoX could not be started."}), sox.GetErrors());
    PrepareWatermarking(sox, song, {song}, Work("out"));
    EXPECT_FALSE(sox.Run());
    EXPECT_EQ(Strings({"song.wav: SoX could not be started."}), sox.GetErrors());
    EXPECT_EQ(-1, sox.AppendFiles(Files({"song.wav"}), Wx(Work("Mix.wav"))));
    EXPECT_EQ(Strings({"Mix.wav: SoX could not be started."}), sox.GetErrors());
}

} // namespace
