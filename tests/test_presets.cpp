// Presets: the store over a real settings file in the test's HOME, and the
// window's preset selector and buttons.
#include "testutil.h"

#include <wx/weakref.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Store : public BundleTest {
protected:
    // The settings file the window uses.
    std::string Path() const { return Home() + "/.velisto"; }
    void Write(const std::string& text) const { std::ofstream(Path()) << text; }
    // The shipped sounds, as the window gives them to its store.
    const wxString m_presets = Wx(Work("Velisto.app/Contents/Resources/Presets"));
    // The file as it is on disk now.
    std::unique_ptr<wxFileConfig> Open() const {
        return std::make_unique<wxFileConfig>("", "", Wx(Path()), "", wxCONFIG_USE_LOCAL_FILE);
    }
    // Preset P, stored as these two groups, read over Custom().
    std::string Loaded(const std::string& watermarkGroup, const std::string& outputGroup) {
        Write("[Presets/P/Watermark Settings]\n" + watermarkGroup +
              "\n[Presets/P/ Output Settings]\n" + outputGroup + "\n");
        Preset preset = Custom();
        EXPECT_TRUE(PresetStore(*Open(), m_presets).Load("P", preset));
        return Describe(preset);
    }
    // A preset with no default value.
    static Preset Custom() {
        Preset preset;
        preset.start = 40;
        preset.interval = 15;
        preset.level = -6;
        preset.levelMode = LevelMode::AgainstTrack;
        preset.duck = 4;
        preset.mono = preset.merge = preset.suffix = true;
        preset.format = OutputFormat::Aiff;
        preset.bitrate = 112;
        preset.folder = "/srv/My Music & more";
        preset.affix = "_demo";
        preset.clipLength = 60;
        preset.clipStart = 95;
        preset.clipFade = 0;
        preset.vary = 3;
        preset.seed = 4000000000u; // more than a long holds
        // Nothing in a stored path may be expanded or lost.
        preset.watermarks = Strings({"/w/a b.wav", "/w/$HOME ${X} %PATH% b\\s.mp3"});
        return preset;
    }
};

TEST_F(Store, ASavedPresetIsWrittenAtOnceAndReadsBackWhole) {
    auto config = Open();
    PresetStore(*config, m_presets).Save("Mine", Custom());
    // The groups, keys and encodings older files have; the format by name.
    EXPECT_EQ(
        "[Presets]\n[Presets/Mine]\n[Presets/Mine/Watermark\\ Settings]\nStart=12\n"
        "RepeatEvery=2\nWatermarkLevel=-6\nLevelMode=track\nDuck=4\nVaryBy=3\nSeed=4000000000\n"
        "[Presets/Mine/Watermark\\ "
        "Settings/WatermarkFiles]\n"
        "File0=/w/a b.wav\nFile1=/w/$HOME ${X} %PATH% b\\\\s.mp3\n[Presets/Mine/\\ Output\\ "
        "Settings]\nIsMono=1\n"
        "IsAppend=1\nOutputFormat=aiff\nBitrate=3\nOutputFolder=/srv/My Music & more\n"
        "PrefixOrSuffix=1\nPrefixOrSuffixString=_demo\nClipLength=60\nClipStart=95\nClipFade=0\n",
        Contents(Path()));

    const OutputFormat formats[] = {OutputFormat::Mp3, OutputFormat::Wav, OutputFormat::Aiff,
                                    OutputFormat::Flac, OutputFormat::Ogg};
    for (OutputFormat format : formats) {
        Preset saved = Custom(), loaded;
        saved.format = format;
        saved.interval = RepeatSecondsForIndex(static_cast<int>(format) + 2);
        saved.suffix = saved.mono = false;
        PresetStore(*config, m_presets).Save("Mine", saved);
        ASSERT_TRUE(PresetStore(*Open(), m_presets).Load("Mine", loaded));
        EXPECT_EQ(Describe(saved), Describe(loaded));
    }
    // Replaced whole: no watermark of the older preset is left behind.
    Preset fewer = Custom();
    fewer.watermarks = Strings({"/w/new.wav"});
    PresetStore(*config, m_presets).Save("Mine", fewer);
    EXPECT_EQ(std::string::npos, Contents(Path()).find("File1"));
}

TEST_F(Store, StoredValuesAreReadForgivingly) {
    // Missing keys take their defaults.
    EXPECT_EQ(
        "start 0, every 10, level 0, mp3 at 320 kbit/s\nfolder \"\", prefix \"\"\nwatermarks: ",
        Loaded("", ""));
    // Numbers in quotes, levels and slider positions clamped, the older format codes.
    EXPECT_EQ("start 5, every 15, level 6, mono wav at 64 kbit/s\nfolder \"/o\", suffix \"x\"\n"
              "watermarks: ",
              Loaded("Start=\"5\"\nRepeatEvery=2\nWatermarkLevel=99",
                     "IsMono=1\nOutputFormat=1002\nBitrate=-3\n"
                     "OutputFolder=/o\nPrefixOrSuffix=1\n"
                     "PrefixOrSuffixString=x"));
    // The level against the music and the dip; a mode not known is the
    // level as recorded, a dip beyond the deepest is the deepest.
    EXPECT_EQ("start 0, every 10, level -5 LU around dip 12, mp3 at 320 kbit/s\nfolder \"\", "
              "prefix \"\"\nwatermarks: ",
              Loaded("WatermarkLevel=-5\nLevelMode=around\nDuck=20", ""));
    EXPECT_EQ(
        "start 0, every 10, level -5, mp3 at 320 kbit/s\nfolder \"\", prefix \"\"\nwatermarks: ",
        Loaded("WatermarkLevel=-5\nLevelMode=loud", ""));
    // An index no entry has falls back; the list ends at its first gap; a
    // shipped sound that moved is found where the program keeps it now.
    EXPECT_EQ("start 0, every 10, level -24, mp3 at 320 kbit/s\nfolder \"\", prefix \"\"\n"
              "watermarks: /a.wav|" +
                  m_presets.utf8_string() + "/Beep Sound 1.mp3",
              Loaded("Start=13\nRepeatEvery=-1\nWatermarkLevel=-99\n"
                     "[Presets/P/Watermark Settings/WatermarkFiles]\nFile0=/a.wav\n"
                     "File1=/old/place/Beep Sound 1.mp3\nFile3=/c.wav",
                     "OutputFormat=1001\nBitrate=40\nPrefixOrSuffix=9"));
    EXPECT_NE(std::string::npos,
              Contents(Path()).find("File1=" + m_presets.utf8_string() + "/Beep Sound 1.mp3\n"));
    // An unknown format leaves the one the preset had (AIFF).
    const std::pair<std::string, std::string> formats[] = {
        {"1003", "aiff"}, {"WAV", "wav"},   {"mp3", "mp3"}, {"4242", "aiff"}, {"flac", "flac"},
        {"Ogg", "ogg"},   {"OPUS", "opus"}, {"m4a", "m4a"}, {"aac", "aiff"}};
    for (const auto& [stored, read] : formats)
        EXPECT_NE(std::string::npos, Loaded("", "OutputFormat=" + stored).find(read)) << stored;
    // The clip: missing keys mean the whole track with the usual fade; a
    // length the window does not offer is the whole track; start and fade
    // clamped. The appended intervals.
    EXPECT_EQ("start 0, every 60, level 0, mp3 at 320 kbit/s\nfolder \"\", prefix \"\"\n"
              "watermarks: \nclip 90 s from 5999, fade 5",
              Loaded("RepeatEvery=6", "ClipLength=90\nClipStart=100000\nClipFade=9"));
    EXPECT_EQ("start 0, every 20, level 0, mp3 at 320 kbit/s\nfolder \"\", prefix \"\"\n"
              "watermarks: \nclip 0 s from 0, fade 0",
              Loaded("RepeatEvery=3", "ClipLength=50\nClipStart=-4\nClipFade=-1"));
    // Without its leading blank the output group is not the preset's.
    Write("[Presets/P/Watermark Settings]\nStart=1\n[Presets/P/Output Settings]\nIsMono=1\n");
    Preset preset;
    ASSERT_TRUE(PresetStore(*Open(), m_presets).Load("P", preset));
    EXPECT_FALSE(preset.mono);
}

// The window holds the settings file for its whole life while velisto-batch
// stores presets: a write keeps what another program did meanwhile to the
// presets it left alone.
TEST_F(Store, AWriteKeepsWhatAnotherProgramDidMeanwhile) {
    Preset before = Custom(), theirs = Custom(), ours = Custom();
    theirs.affix = "_theirs";
    ours.affix = "_ours";
    // Each stored preset with its affix, by name.
    auto affixes = [&](wxConfigBase& config) {
        PresetStore store(config, m_presets);
        wxArrayString names = store.Names();
        names.Sort();
        wxString text;
        for (const wxString& name : names) {
            Preset preset;
            store.Load(name, preset);
            text += name + " " + preset.affix + "\n";
        }
        return text.utf8_string();
    };
    SettingsConfig window(Wx(Path()));
    PresetStore mine(window, m_presets);
    for (const char* name :
         {"Kept", "Removed here", "Changed there", "Removed there", "Changed both"})
        mine.Save(name, before);
    {
        SettingsConfig batch(Wx(Path()));
        PresetStore other(batch, m_presets);
        for (const char* name : {"Added there", "Changed there", "Changed both"})
            other.Save(name, theirs);
        // Written as it goes.
        other.Remove("Removed there");
    }
    mine.Remove("Removed here");
    EXPECT_TRUE(mine.Save("Changed both", ours));
    const std::string merged = "Added there _theirs\nChanged both _ours\nChanged there _theirs\n"
                               "Kept _demo\n";
    EXPECT_EQ(merged, affixes(*Open()));
    EXPECT_EQ(merged, affixes(window));

    // A file removed meanwhile is written whole again.
    ASSERT_EQ(0, unlink(Path().c_str()));
    mine.Remove("Kept");
    EXPECT_TRUE(window.Flush());
    EXPECT_EQ("Added there _theirs\nChanged both _ours\nChanged there _theirs\n", affixes(*Open()));
}

TEST(PresetNames, AreTrimmedAndMustBeNonBlankWithoutASlash) {
    // Typed, and the name or the error.
    const std::pair<const char*, const char*> names[] = {
        {"  Mine  ", "Mine"},
        {"Beep #1 (v2)", "Beep #1 (v2)"},
        {" \t ", "Please type a name for the preset."},
        {"a/b", "A preset name cannot contain \"/\"."},
        {".", "A preset cannot be named \".\" or \"..\"."},
        {"..", "A preset cannot be named \".\" or \"..\"."}};
    for (const auto& [typed, result] : names) {
        wxString error = "stale";
        const wxString name = CheckPresetName(typed, error);
        EXPECT_EQ(result, error.empty() ? name : error) << typed;
    }
}

class PresetButtons : public Store {
protected:
    Answer<wxTextEntryDialog> NameExpect(const wxString& typed, int answer = wxID_OK) {
        return TextEntryExpect("New preset", "Please provide a name for your new preset", "", typed,
                               answer);
    }
    Answer<wxMessageDialog> SureExpect(const wxString& what, const wxString& name, int answer) {
        return MessageExpect("Are you sure you want to " + what + " preset '" + name + "' ?",
                             answer);
    }
    std::string Stored(const wxString& name) {
        Preset preset;
        return PresetStore(*Open(), m_presets).Load(name, preset) ? Describe(preset) : "(none)";
    }
};

TEST_F(PresetButtons, FirstStartAddsTheShippedPresetsWithTheirSoundsAndDeleteAsksFirst) {
    // A shipped preset the user changed is kept as it is.
    Write("[Presets/Beep #1/Watermark Settings]\nStart=12\n");
    MainWindow w;
    Probe p(*w);
    EXPECT_EQ(Strings({"New...", "Alex(Mac) Preview", "Beep #1", "Beep #2", "Default Preset",
                       "Lo-Fi Preview", "Market-Tag", "Sine+Delay", "This Is A PF", "Whispering"}),
              p.presetChoice()->GetStrings());
    EXPECT_EQ("Default Preset", p.presetChoice()->GetStringSelection());
    for (unsigned i = 1; i < p.presetChoice()->GetCount(); ++i) {
        const wxString name = p.presetChoice()->GetString(i);
        ASSERT_TRUE(w->LoadPreset(name));
        // Listed only when the sound is in the bundle and measurable (a
        // refusal would be an unexpected notice).
        EXPECT_TRUE(Measured(p));
        const bool shipped = name != "Default Preset" && name != "Beep #1";
        EXPECT_EQ(shipped, p.watermarks()->GetItemCount() == 1) << name;
        EXPECT_TRUE(name == "Default Preset" || p.preset().start == (shipped ? 5 : 40)) << name;
    }

    p.presetChoice()->SetStringSelection("Default Preset");
    wxTEST_DIALOG(Click(p.deletePreset()), MessageExpect("You can not delete your default preset"));
    p.presetChoice()->SetStringSelection("Beep #2");
    wxTEST_DIALOG(Click(p.deletePreset()), SureExpect("delete", "Beep #2", wxID_NO));
    EXPECT_NE("(none)", Stored("Beep #2"));
    wxTEST_DIALOG(Click(p.deletePreset()), SureExpect("delete", "Beep #2", wxID_YES));
    EXPECT_EQ("(none)", Stored("Beep #2"));
    EXPECT_EQ(wxNOT_FOUND, p.presetChoice()->FindString("Beep #2"));
    EXPECT_NE("(none)", Stored("Default Preset"));

    // A preset whose sound has gone loads the rest and says which is missing.
    MakeTone(Work("x.wav"), 1, "sine 440", 8000, 1);
    w->OnWatermarkListDropFiles(Files({"x.wav"}));
    ASSERT_TRUE(Measured(p));
    w->CreatePreset("Gone");
    ASSERT_TRUE(wxRemoveFile(Wx(Work("x.wav"))));
    wxTEST_DIALOG(EXPECT_TRUE(w->LoadPreset("Gone")),
                  MessageExpect("These watermark files of the preset \"Gone\" were not found:\n\n" +
                                Wx(Work("x.wav"))));
    EXPECT_EQ("Whispering.mp3", Column(p.watermarks(), 1));
}

TEST_F(PresetButtons, SaveAsksForANameAndConfirmsARewriteAndLoadPutsEveryControlBack) {
    MakeTone(Work("a b.wav"), 1, "sine 880", 8000, 1);
    Preset custom = Custom();
    custom.seed = Preset().seed; // the window has no control for it
    custom.watermarks = Files({"a b.wav"});
    MainWindow w;
    Probe p(*w);
    p.presetChoice()->SetStringSelection("New...");
    wxTEST_DIALOG(Click(p.savePreset()), NameExpect("a/b"),
                  MessageExpect("A preset name cannot contain \"/\"."));
    wxTEST_DIALOG(Click(p.savePreset()), NameExpect("Later", wxID_CANCEL));
    EXPECT_EQ(10u, p.presetChoice()->GetCount());

    // The controls set to Custom().
    p.startChoice()->SetSelection(12);
    p.repeatChoice()->SetSelection(2);
    Slide(p.level(), -6);
    Choose(p.levelMode(), "LU vs. whole track");
    Choose(p.dip(), "Dip 4 dB");
    p.mono()->SetValue(true);
    p.merge()->SetValue(true);
    p.aiff()->SetValue(true);
    Slide(p.quality(), 3);
    p.setFolder("/srv/My Music & more");
    p.affixChoice()->SetSelection(1);
    p.affixText()->SetValue("_demo");
    p.clip()->SetStringSelection("60 s");
    p.clipStart()->SetValue(" 1:35");
    p.clipFade()->SetStringSelection("No fade");
    p.vary()->SetValue(3);
    w->OnWatermarkListDropFiles(custom.watermarks);
    // With nothing selected Save asks for a name too; the name is trimmed.
    p.presetChoice()->SetSelection(wxNOT_FOUND);
    wxTEST_DIALOG(Click(p.savePreset()), NameExpect("  Mine  "));
    EXPECT_EQ("Mine", p.presetChoice()->GetStringSelection());
    EXPECT_EQ(Describe(custom), Stored("Mine"));

    // Rewriting the selected preset, or typing its name again, asks first.
    p.presetChoice()->SetStringSelection("Default Preset");
    wxTEST_DIALOG(Click(p.savePreset()), SureExpect("rewrite the", "Default Preset", wxID_NO));
    EXPECT_NE(Describe(custom), Stored("Default Preset"));
    p.presetChoice()->SetStringSelection("New...");
    wxTEST_DIALOG(Click(p.savePreset()), NameExpect("Default Preset "),
                  SureExpect("rewrite the", "Default Preset", wxID_YES));
    EXPECT_EQ(Describe(custom), Stored("Default Preset"));

    // The default preset opens with the window, and Load puts back every control.
    MainWindow second;
    Probe q(*second);
    EXPECT_EQ(Describe(custom), Describe(q.preset()));
    EXPECT_EQ("112 kbits", q.qualityLabel()->GetLabel());
    EXPECT_FALSE(q.quality()->IsEnabled());
    EXPECT_EQ("/srv/My Music & more", q.outputFolderLabel()->GetLabelText());
    EXPECT_EQ("1:35", q.clipStart()->GetValue());
    EXPECT_TRUE(q.clipStart()->IsEnabled() && q.clipFade()->IsEnabled());
    for (const char* name : {"Beep #2", "Mine", "New..."}) {
        q.presetChoice()->SetStringSelection(name);
        Click(q.loadPreset());
        EXPECT_EQ(name[0] == 'B', Describe(custom) != Describe(q.preset())) << name;
    }
}

// Vary by is set from a preset and read into one like the other settings;
// the seed, which no control shows, stays as the preset shown had it.
TEST_F(PresetButtons, VaryByAndTheSeedComeBackFromThePresetShown) {
    MainWindow w;
    Probe p(*w);
    EXPECT_EQ(0, p.vary()->GetValue());
    EXPECT_EQ(g_maxVary, p.vary()->GetMax());
    Preset varied = p.preset();
    varied.vary = 4;
    varied.seed = 77;
    p.show(varied);
    EXPECT_EQ(4, p.vary()->GetValue());
    EXPECT_EQ(4, p.preset().vary);
    EXPECT_EQ(77u, p.preset().seed);
    Spin(p.vary(), 2);
    EXPECT_EQ(2, p.preset().vary);
    varied.vary = 99;
    p.show(varied);
    EXPECT_EQ(g_maxVary, p.preset().vary);
}

// What stands at the settings file's place: a link is written through, a
// read-only file or a folder is never written over, and either is said once.
class SettingsPlace : public PresetButtons {
protected:
    std::unique_ptr<CMainFormImp, DestroyWindow> OpenWindow(const wxString& notice = wxString()) {
        std::unique_ptr<CMainFormImp, DestroyWindow> w;
        if (notice.empty())
            w.reset(NewMainWindow());
        else
            wxTEST_DIALOG(w.reset(NewMainWindow()),
                          MessageExpect(Wx(Path()) + notice + ", so settings will not be saved."));
        return w;
    }
    // The temporary files a write would leave beside the settings file.
    std::string Leftovers() const {
        std::string left;
        Shell("ls -A " + ShellQuote(Home()) + " | grep '^[.]velisto.'", &left);
        return left;
    }
};

TEST_F(SettingsPlace, AFolderIsSaidOnceLeavesNoTemporaryFileAndTheWindowCloses) {
    ASSERT_EQ(0, mkdir(Path().c_str(), 0755));
    auto w = OpenWindow(" is a folder, not a file");
    // Kept for the session.
    w->CreatePreset("Mine");
    EXPECT_TRUE(w->LoadPreset("Mine"));
    // Closed as its close box closes it.
    wxWeakRef<CMainFormImp> closing(w.release());
    closing->Close();
    EXPECT_TRUE(WaitUntil([&] { return !closing; }, 5000));
    EXPECT_EQ("", Leftovers());
    EXPECT_EQ("", Listing(Path()));
}

// The program itself, stopped as a session's end stops it once its notice
// is answered: no message of the toolkit's may hold it up.
TEST_F(SettingsPlace, TheProgramWithAFolderThereStopsOnSigterm) {
    if (Shell("command -v xdotool >/dev/null") != 0)
        GTEST_SKIP() << "xdotool is needed to answer the program's notice";
    ASSERT_EQ(0, mkdir(Path().c_str(), 0755));
    // Each window of the program's, found once it shows. A window manager
    // makes and drops windows of its own meanwhile: a search that meets one
    // as it goes fails with an X error, and is made again.
    const std::string shown =
        "shown() { for i in $(seq 150); do w=$(xdotool search --all --onlyvisible --pid $pid "
        "--name \"$1\" 2>/dev/null | head -1); [ -n \"$w\" ] && echo $w && return; "
        "sleep 0.2; done; }\n";
    const std::string script =
        "env HOME=" + ShellQuote(Home()) + " " +
        ShellQuote(VELISTO_BUNDLE_DIR "/Contents/MacOS/velisto") + " >/dev/null 2>&1 & pid=$!\n" +
        shown + "notice=$(shown '^Fenwaro Watermark Generator$')\n" +
        "xdotool windowfocus --sync $notice key Return\nshown ' V[0-9.]+$' >/dev/null\n" +
        "kill -TERM $pid\n" +
        "for i in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done\n" +
        "kill -KILL $pid 2>/dev/null && echo still running\nwait $pid; echo exit $?";
    std::string said;
    Shell(script, &said);
    EXPECT_EQ("exit 0\n", said);
    EXPECT_EQ("", Leftovers());
}

} // namespace
