// The batch: its helpers, RenderRun on its own (checks, lines, the join), and
// GO! in the window (notices, the merge prompt, progress and results).
#include "Placement.h"
#include "TagCopy.h"
#include "testutil.h"

#include <unistd.h>

#include <wx/progdlg.h>

#include <cstdio>
#include <cstring>

namespace {

// The fixed words of a track's line, which users and their scripts read.
TEST(RunHelpers, OutcomeWords) {
    EXPECT_EQ("a.wav: Process completed successfully", OutcomeLine("a.wav", TrackOutcome::Done));
    EXPECT_EQ("a.wav: already rendered, skipped.", OutcomeLine("a.wav", TrackOutcome::Skipped));
}

TEST(RunHelpers, WatermarkPositionsAndMergeNames) {
    // Length, start and interval: the positions.
    for (const char* c : {"50 10 15: 10 25 40", "41 10 15: 10 25 40", "40 10 15: 10 25",
                          "12 0 5: 0 5 10", "10 10 5:", "0 0 5:", "9 0 0:", "9 0 -5:", "9 -1 5:",
                          "2147483647 2147483645 2147483647: 2147483645"}) {
        int length, start, interval;
        ASSERT_EQ(3, sscanf(c, "%d %d %d", &length, &start, &interval));
        std::string positions = ":";
        for (int at : WatermarkPositions(length, start, interval))
            positions += " " + std::to_string(at);
        EXPECT_EQ(strchr(c, ':'), positions) << c;
    }
    for (const char* name : {"Mix", "my mix.mp3", "Mix.take", "-x"})
        EXPECT_TRUE(IsUsableMergeName(name)) << name;
    for (const char* name : {"", "   ", "sub/Mix", "../Mix", "/abs", ".mp3", ".hidden", " .x"})
        EXPECT_FALSE(IsUsableMergeName(name)) << name;
}

TEST(RunChecks, ProblemsInTheOrderAndWordsTheWindowShows) {
    const wxArrayString tracks = Strings({"/music/song.wav"}), marks = Strings({"/w/beep.wav"});
    // The first three problems, in their order, are GO!'s notices, tested there.
    RenderSettings settings;
    settings.folder = "/music";
    EXPECT_EQ("The output folder /music does not exist.",
              RenderRun(settings, tracks, marks).InputProblem());
    TempDir folder;
    // Read-only: root writes anywhere but on a read-only mount.
    const std::string locked = folder / "locked";
    const bool root = geteuid() == 0;
    ASSERT_EQ(0, Shell("mkdir " + ShellQuote(locked) +
                       (root ? " && mount -t tmpfs -o ro,size=1m tmpfs " : " && chmod 555 ") +
                       ShellQuote(locked)));
    settings.folder = Wx(locked);
    EXPECT_EQ("The output folder " + Wx(locked) + " cannot be written to.",
              RenderRun(settings, tracks, marks).InputProblem());
    Shell(root ? "umount " + ShellQuote(locked) : "chmod 755 " + ShellQuote(locked));
    settings.folder = Wx(folder.path());
    for (const char* affix : {"a/b", "..", ""}) {
        settings.suffix = affix;
        EXPECT_EQ(*affix ? "A prefix or suffix cannot contain \"/\" or \"..\"." : "",
                  RenderRun(settings, tracks, marks).InputProblem());
    }

    // A merged file needs a plain name and may not replace a listed file.
    auto merge = [&](const char* folder, const char* name) {
        settings.folder = folder;
        settings.mergeName = name;
        return RenderRun(settings, tracks, marks).MergeProblem();
    };
    EXPECT_EQ("", merge("/music", "song.mp3"));
    settings.merge = true;
    settings.format = OutputFormat::Wav;
    const wxString replaces =
        " would replace %s.wav, which is in your lists. Please choose another name.";
    EXPECT_EQ("The merged file /music/song.wav" + wxString::Format(replaces, "song"),
              merge("/music", "song.mp3"));
    EXPECT_EQ("The merged file /w/beep.wav" + wxString::Format(replaces, "beep"),
              merge("/w/", "beep"));
    settings.format = OutputFormat::Mp3;
    EXPECT_EQ("", merge("/w/", "beep"));
}

class Run : public BundleTest, public RenderProgress {
protected:
    void SetUp() override {
        BundleTest::SetUp();
        MakeFolders({"in2"});
        MakeTone(Work("wm/beep.wav"), 0.5, "sine 1000 vol 0.5", 8000, 1);
        settings = RunSettings();
    }
    void TrackStarted(size_t index, size_t count, const wxString& name) override {
        told.Add(wxString::Format("%zu of %zu: %s", index, count, name));
    }
    void TracksFinished(size_t finished, size_t count) override {
        done = wxString::Format("%zu of %zu done", finished, count);
    }
    // Three renders at once, so a later track may finish first.
    wxArrayString RunOn(const wxArrayString& tracks) {
        RenderRun run(settings, tracks, Files({"wm/beep.wav"}));
        EXPECT_EQ("", run.InputProblem() + run.MergeProblem());
        run.SetParallel(3);
        const wxArrayString lines = run.Run(this);
        outcomes.clear();
        for (const TrackResult& result : run.Results())
            outcomes.push_back(result.outcome);
        return lines;
    }

    RenderSettings settings;
    wxArrayString told;
    wxString done;
    std::vector<TrackOutcome> outcomes; // of the last RunOn, in track order
    CommandLog log;
};

TEST_F(Run, EveryTrackIsToldAndGivesItsLineInTrackOrderWithTheSettingsApplied) {
    for (const char* name : {"in/a.wav", "in/b.wav", "in/c.wav"})
        MakeTone(Work(name), 3.5, "sine 220 vol 0.2");
    // Undecodable: SoX's reason, and the others are still rendered.
    Spoil(Work("in/b.wav"));
    settings.format = OutputFormat::Mp3;
    settings.bitrate = 128;
    settings.mono = true;
    settings.suffix = "_wm";
    const wxArrayString lines = RunOn(Files({"in/a.wav", "in/b.wav", "in/c.wav"}));
    ASSERT_EQ(3u, lines.size()) << wxJoin(lines, '\n');
    EXPECT_EQ("a.wav: Process completed successfully", lines[0]);
    EXPECT_TRUE(lines[1].StartsWith("b.wav: can't open input file")) << lines[1];
    EXPECT_EQ("c.wav: Process completed successfully", lines[2]);
    EXPECT_EQ(std::vector<TrackOutcome>(
                  {TrackOutcome::Done, TrackOutcome::NotProcessed, TrackOutcome::Done}),
              outcomes);
    EXPECT_EQ(Strings({"0 of 3: a.wav", "1 of 3: b.wav", "2 of 3: c.wav"}), told);
    EXPECT_EQ("3 of 3 done", done);
    // Mono and the bitrate reach the file: velisto-batch's and GO!'s tests check it.
    EXPECT_EQ("a_wm.mp3\nc_wm.mp3\n", Listing(Work("out")));
}

TEST_F(Run, OutputsNeverReplaceListedTracksOrEachOther) {
    MakeSilence(Work("in/song.wav"), 3.4, 8000, 1);
    MakeSilence(Work("in2/song.wav"), 6.4, 8000, 1);
    EXPECT_EQ(Strings({"song.wav: Process completed successfully",
                       "song.wav: Not processed: song.wav was already written by an earlier track "
                       "of this run, from in; this one is in in2."}),
              RunOn(Files({"in/song.wav", "in2/song.wav"})));
    EXPECT_EQ(std::vector<TrackOutcome>({TrackOutcome::Done, TrackOutcome::NotProcessed}),
              outcomes);
    EXPECT_NEAR(3.4, Inspect(Work("out/song.wav")).seconds, 0.01);

    MakeTone(Work("in/b.mp3"), 3.5, "sine 220");
    MakeSilence(Work("in2/b.wav"), 3.4, 8000, 1);
    const std::string before = Contents(Work("in/b.mp3"));
    settings.folder = Wx(Work("in"));
    settings.format = OutputFormat::Mp3;
    log.commands.Clear();
    EXPECT_EQ(
        Strings({"b.wav: Not processed: the output file would replace the listed track b.mp3.",
                 "b.mp3: Not processed: the output file would replace this track. Choose "
                 "another output folder, a prefix or suffix, or another format."}),
        RunOn(Files({"in2/b.wav", "in/b.mp3"})));
    EXPECT_EQ(before, Contents(Work("in/b.mp3")));
    EXPECT_EQ(0u, log.Mixes());
}

TEST_F(Run, AMergedRunJoinsTheTracksInTrackOrderIntoTheNamedFileOrSaysWhyNot) {
    // The first track is the longest, so it ends last. Same names from
    // two folders, different rates and channels.
    MakeSilence(Work("in/song.wav"), 12, 44100, 2);
    MakeTone(Work("in2/song.wav"), 2, "sine 300 vol 0.4", 48000, 1);
    MakeSilence(Work("in/c.wav"), 3, 8000, 1);
    settings.merge = true;
    settings.mergeName = "Mix.wav";
    // The joined file takes the run's format and channels.
    settings.format = OutputFormat::Mp3;
    settings.mono = true;
    const wxArrayString tracks = Files({"in/song.wav", "in2/song.wav", "in/c.wav"});
    EXPECT_EQ(Strings({"song.wav: Process completed successfully",
                       "song.wav: Process completed successfully",
                       "c.wav: Process completed successfully"}),
              RunOn(tracks));
    EXPECT_EQ(Strings({"0 of 3: song.wav", "1 of 3: song.wav", "2 of 3: c.wav"}), told);
    EXPECT_EQ("Mix.mp3\n", Listing(Work("out")));
    const std::string mix = Work("out/Mix.mp3");
    EXPECT_EQ(1, Inspect(mix).channels);
    // The first track (silent but for its beeps), then the tone, then c.
    EXPECT_LT(PeakIn(mix, 2, 3), 0.01);
    EXPECT_GT(PeakIn(mix, 12.5, 0.3), 0.3);
    EXPECT_LT(PeakIn(mix, 14.5, 0.4), 0.01);

    // The join's failure comes after the tracks' lines.
    ASSERT_TRUE(wxRemoveFile(Wx(mix)) && wxMkdir(Wx(mix)) && MarkAsOutput(Wx(mix)));
    const wxArrayString lines = RunOn(tracks);
    ASSERT_EQ(4u, lines.size());
    EXPECT_TRUE(lines[3].StartsWith("Mix.mp3: ")) << lines[3];
    EXPECT_TRUE(lines[3].Contains("could not be given its name")) << lines[3];
    // Every track shorter than the start.
    settings.start = 13;
    EXPECT_EQ("Mix.mp3: Not created: no track was rendered.", RunOn(tracks).Last());
    // The private folders are gone.
    EXPECT_EQ("", Listing(Work("tmp")));
}

// Parts are rendered as WAV and encoded once: a WAV merge is the plain
// concatenation of what the tracks render to, a part at another rate or
// channel count converted once to the first track's.
TEST_F(Run, AMergedWavIsExactlyTheTracksRendersOneAfterAnother) {
    MakeTone(Work("in/a.wav"), 3.3, "sine 300 vol 0.3");
    MakeTone(Work("in/b.wav"), 2.7, "sine 500 vol 0.3");
    MakeTone(Work("in/c.wav"), 4.1, "sine 700 vol 0.3", 22050, 1);
    const wxArrayString tracks = Files({"in/a.wav", "in/b.wav", "in/c.wav"});
    RunOn(tracks);
    settings.merge = true;
    settings.mergeName = "Mix";
    settings.folder = Wx(Work("in2"));
    RunOn(tracks);
    const std::string mix = Work("in2/Mix.wav");
    ASSERT_EQ(0, Shell("cd " + ShellQuote(Work("out")) +
                       " && sox a.wav b.wav '|sox c.wav -r 44100 -c 2 -p' ../ref.wav"));
    EXPECT_EQ(Inspect(Work("out/a.wav")).frames + Inspect(Work("out/b.wav")).frames +
                  Inspect(Work("out/c.wav")).frames * 2,
              Inspect(mix).frames);
    EXPECT_EQ(Inspect(Work("ref.wav")).frames, Inspect(mix).frames);
    EXPECT_EQ(0, DifferenceIn(Work("ref.wav"), mix));
    EXPECT_EQ("Mix.wav\n", Listing(Work("in2")));
}

// An MP3 merge plays through: no 10 ms window around a seam is quieter than
// the tracks, and its only extra length is one encoder's delay and padding.
TEST_F(Run, AMergedMp3HasNoGapAtItsSeamsAndOneEncodersDelay) {
    const double seconds[] = {3.2, 2.6, 3.5, 2.9};
    wxArrayString tracks;
    long long frames = 0;
    for (int i = 0; i < 4; ++i) {
        const std::string track = Work("in/t" + std::to_string(i) + ".wav");
        MakeTone(track, seconds[i], "sine " + std::to_string(300 + 100 * i) + " vol 0.3");
        tracks.Add(Wx(track));
        frames += Inspect(track).frames;
    }
    settings.format = OutputFormat::Mp3;
    settings.start = 1; // each track's watermark sits well inside it
    // What one encode adds: the same encoder on the first track alone.
    RunOn(Strings({tracks[0]}));
    const long long added =
        Inspect(Work("out/t0.mp3")).frames - Inspect(tracks[0].utf8_string()).frames;
    settings.merge = true;
    settings.mergeName = "Mix";
    RunOn(tracks);
    const std::string mix = Work("out/Mix.mp3");
    EXPECT_NEAR(double(frames + added), double(Inspect(mix).frames), 1152);
    // Measured decoded: SoX seeks an MP3 only roughly. A sine of 0.3 has an
    // RMS of 0.21 over any 10 ms.
    const std::string decoded = Work("mix.wav");
    ASSERT_EQ(0, Shell("sox " + ShellQuote(mix) + " " + ShellQuote(decoded)));
    double seam = 0;
    for (int i = 0; i + 1 < 4; ++i) {
        seam += seconds[i];
        for (double at = seam - 0.05; at < seam + 0.1; at += 0.01)
            EXPECT_GT(RmsIn(decoded, at, 0.01), 0.15) << "seam " << seam << ", window at " << at;
    }
}

// Cancel during the join: no merged file, and the parts' folder is gone.
TEST_F(Run, AJoinCancelledUnderWayLeavesNoMergedFile) {
    MakeTone(Work("in/long.wav"), 1800, "whitenoise vol 0.1", 8000, 1);
    settings.merge = true;
    settings.mergeName = "Mix";
    settings.format = OutputFormat::Mp3;
    // An earlier merged file stays as it was.
    MakeTone(Work("out/Mix.mp3"), 2);
    ASSERT_TRUE(MarkAsOutput(Wx(Work("out/Mix.mp3"))));
    const std::string earlier = StampOf(Work("out/Mix.mp3"));
    RenderRun run(settings, Files({"in/long.wav"}), Files({"wm/beep.wav"}));
    CommandLog joins([&](const wxString& command) {
        if (command.Contains("Mix.mp3"))
            run.Cancel();
    });
    EXPECT_EQ(Strings({"long.wav: Process completed successfully",
                       "Cancelled: the merged file was not created."}),
              run.Run());
    EXPECT_TRUE(run.WasCancelled());
    EXPECT_FALSE(run.Complete());
    EXPECT_EQ("Mix.mp3\n", Listing(Work("out")));
    EXPECT_EQ(earlier, StampOf(Work("out/Mix.mp3")));
    EXPECT_EQ("", Listing(Work("tmp")));
}

Answer<wxTextEntryDialog> MergeName(const wxString& typed, int answer = wxID_OK) {
    return TextEntryExpect("Please choose output file",
                           "Please provide your merge output file name (The file will be created "
                           "in the output folder you choose)",
                           "a & song", typed, answer);
}

class Go : public WindowTest {};

TEST_F(Go, NoticesAndTheMergePromptStopARunThatThenShowsItsProgressAndResults) {
    MakeTone(Work("beep.wav"), 0.5, "sine 1000", 8000, 1);
    // A name holding '&', and one too long for the progress dialog.
    const std::string longName = "b" + std::string(150, 'x') + ".wav";
    MakeSilence(Work("in/a & song.wav"), 3.5, 8000, 2);
    MakeSilence(Work("in/" + longName), 3.5, 8000, 2);
    // What the progress dialog showed at each render.
    wxArrayString progress;
    CommandLog log([&](const wxString& command) {
        for (wxWindow* top : wxTopLevelWindows) {
            auto* dialog = dynamic_cast<wxGenericProgressDialog*>(top);
            if (!dialog || !command.Contains(" -v 1 "))
                continue;
            // The text as shown, not as the label stores it.
            for (wxWindow* child : dialog->GetChildren())
                if (auto* text = dynamic_cast<wxStaticText*>(child))
                    if (text->GetLabel().StartsWith("Processing"))
                        progress.Add(wxString::Format("%s: %s (of %d)", dialog->GetTitle(),
                                                      text->GetLabelText(), dialog->GetRange()));
        }
    });
    wxTEST_DIALOG(Click(p.go()), MessageExpect("Choose an output folder first."));
    p.setFolder(Work("out"));
    wxTEST_DIALOG(Click(p.go()), MessageExpect("Please add at least one input file."));
    w->OnFileListDropFiles(Files({"in/a & song.wav", "in/" + longName}));
    ASSERT_TRUE(Measured(p));
    wxTEST_DIALOG(Click(p.go()), MessageExpect("Please add at least one watermark file."));
    // The prompt offers the first track's name; a cancel or an unusable name renders nothing.
    w->OnWatermarkListDropFiles(Files({"beep.wav"}));
    ASSERT_TRUE(Measured(p));
    p.merge()->SetValue(true);
    wxTEST_DIALOG(Click(p.go()), MergeName("Mix", wxID_CANCEL));
    wxTEST_DIALOG(
        Click(p.go()), MergeName("sub/Mix"),
        MessageExpect("Please provide a file name for the merged file, without a folder."));
    EXPECT_EQ(0u, log.Mixes());

    p.merge()->SetValue(false);
    p.startChoice()->SetSelection(1);
    p.wav()->SetValue(true);
    p.mono()->SetValue(true);
    p.affixChoice()->SetSelection(1);
    p.affixText()->SetValue("_wm");
    Choose(p.levelMode(), "dB as recorded");
    Choose(p.dip(), "No dip");
    Slide(p.level(), -6);
    wxArrayString results;
    wxTEST_DIALOG(Click(p.go()), ResultsExpect(&results));
    EXPECT_EQ(Strings({"Process Completed", Wx(Work("out")),
                       Wx(longName) + ": Process completed successfully",
                       "a & song.wav: Process completed successfully"}),
              results);
    ASSERT_EQ(2u, progress.size());
    EXPECT_EQ("Please wait...: Processing file a & song.wav (of 2)", progress[0]);
    // Shortened in the middle: its start and its extension stay in view.
    EXPECT_TRUE(progress[1].StartsWith("Please wait...: Processing file bxxx")) << progress[1];
    EXPECT_TRUE(progress[1].EndsWith("xxx.wav (of 2)")) << progress[1];
    EXPECT_LT(progress[1].length(), 120u);
    for (wxWindow* top : wxTopLevelWindows)
        EXPECT_EQ(nullptr, dynamic_cast<wxGenericProgressDialog*>(top));
    EXPECT_EQ("a & song_wm.wav\nb" + std::string(150, 'x') + "_wm.wav\n", Listing(Work("out")));
    EXPECT_EQ(1, Inspect(Work("out/a & song_wm.wav")).channels);
    // The level scales every watermark copy, never the track.
    EXPECT_TRUE(log.commands.Last().Contains("\" -v 0.501187 \"| ")) << log.commands.Last();
    EXPECT_TRUE(log.commands.Last().StartsWith("./sox -R -v 1 -m \"")) << log.commands.Last();
}

// Step 3's formats, clip and intervals as a user sets them.
TEST_F(Go, AFadedClipEveryTwentySecondsInOggFromTheWindow) {
    MakeTone(Work("beep.wav"), 0.5, "sine 1000 vol 0.5", 8000, 1);
    MakeTone(Work("in/song.flac"), 100, "sine 220 vol 0.3", 44100, 2);
    w->OnFileListDropFiles(Files({"in/song.flac"}));
    w->OnWatermarkListDropFiles(Files({"beep.wav"}));
    ASSERT_TRUE(Measured(p));
    p.setFolder(Work("out"));
    auto format = [](wxRadioButton* button) {
        button->SetValue(true);
        wxCommandEvent event(wxEVT_RADIOBUTTON, button->GetId());
        event.SetEventObject(button);
        button->ProcessWindowEvent(event);
    };
    // The quality slider is Ogg's and MP3's; the clip's start and fade the clip's.
    format(p.flac());
    EXPECT_FALSE(p.quality()->IsEnabled());
    format(p.ogg());
    EXPECT_TRUE(p.quality()->IsEnabled());
    EXPECT_FALSE(p.clipStart()->IsEnabled());
    Choose(p.clip(), "60 s");
    EXPECT_TRUE(p.clipStart()->IsEnabled() && p.clipFade()->IsEnabled());

    p.clipStart()->SetValue("1:75");
    wxTEST_DIALOG(
        Click(p.go()),
        MessageExpect("The clip's start \"1:75\" is not a position in the track: type "
                      "seconds (\"45\") or minutes and seconds (\"1:30\"), up to 99:59."));
    EXPECT_EQ("", Listing(Work("out")));
    // Said as soon as the field is left, too.
    p.clipStart()->SetValue("abc");
    wxTEST_DIALOG(
        {
            wxFocusEvent left(wxEVT_KILL_FOCUS, p.clipStart()->GetId());
            left.SetEventObject(p.clipStart());
            p.clipStart()->HandleWindowEvent(left);
            Pump(50);
        },
        MessageExpect("The clip's start \"abc\" is not a position in the track: type "
                      "seconds (\"45\") or minutes and seconds (\"1:30\"), up to 99:59."));
    p.clipStart()->SetValue("0:50");
    Choose(p.repeatChoice(), "20 Sec");
    Choose(p.startChoice(), "5 Seconds");
    wxArrayString results;
    wxTEST_DIALOG(Click(p.go()), ResultsExpect(&results));
    EXPECT_EQ(
        Strings({"Process Completed", Wx(Work("out")), "song.flac: Process completed successfully",
                 "song.flac: the 60 s clip starts at 0:40 instead of 0:50, so that it ends "
                 "with the track."}),
        results);
    // The clip's sound is the engine's to test: here, that the settings arrived.
    const std::string out = Work("out/song.ogg");
    EXPECT_NEAR(60, Inspect(out).seconds, 0.02);
}

} // namespace
