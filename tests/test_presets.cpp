// Presets in a real configuration file under a temporary HOME.
#include "testutil.h"

#include <wx/app.h>
#include <wx/ffile.h>

namespace {

TextEntryExpect NameExpect(const wxString& typed, int answer = wxID_OK) {
    return TextEntryExpect("New preset", "Please provide a name for your new preset", "", typed,
                           answer);
}

MessageExpect RewriteExpect(const wxString& name, int answer = wxID_YES) {
    return MessageExpect("Are you sure you want to rewrite then preset '" + name + "' ?", answer);
}

class Presets : public BundleTest {
protected:
    std::string ConfigPath() const { return Home() + "/." + wxTheApp->GetAppName().utf8_string(); }
    void WriteConfig(const std::string& text) const {
        wxFFile file(ConfigPath(), "w");
        ASSERT_TRUE(file.IsOpened());
        file.Write(Wx(text));
    }
    static void Choose(Probe& p, const wxString& name) {
        ASSERT_TRUE(p.presetChoice()->SetStringSelection(name)) << name;
    }
    // Replaces the watermark list with the files.
    static void SetWatermarks(Probe& p, const wxArrayString& files) {
        Click(p.watermarkClear());
        p.w->OnWatermarkListDropFiles(files);
    }
    static bool HasFile(Probe& p, const wxString& preset, int n) {
        return p.config().HasEntry(
            wxString::Format("/Presets/%s/Watermark Settings/WatermarkFiles/File%d", preset, n));
    }
};

TEST_F(Presets, FirstStartStoresDefaultAndShippedPresets) {
    {
        MainWindow w;
        Probe p(*w);
        EXPECT_EQ(
            Strings({"New...", "Alex(Mac) Preview", "Beep #1", "Beep #2", "Default Preset",
                     "Lo-Fi Preview", "Market-Tag", "Sine+Delay", "This Is A PF", "Whispering"}),
            p.presetChoice()->GetStrings());
        EXPECT_EQ("Default Preset", p.presetChoice()->GetStringSelection());
        EXPECT_EQ(0, p.watermarks()->GetItemCount());
    }
    // Written by the time the window is gone (the file format escapes blanks).
    const wxString text = Wx(Contents(ConfigPath()));
    EXPECT_NE(wxNOT_FOUND, text.Find("[Presets/Default\\ Preset/Watermark\\ Settings]\n"
                                     "Start=5\nRepeatEvery=0\n"))
        << text;
    EXPECT_NE(wxNOT_FOUND, text.Find("[Presets/Default\\ Preset/\\ Output\\ Settings]\n"
                                     "IsMono=0\nIsAppend=0\nOutputFormat=1001\nBitrate=9\n"
                                     "OutputFolder=\nPrefixOrSuffix=1\nPrefixOrSuffixString=\n"));
    EXPECT_EQ(wxNOT_FOUND, text.Find("Default\\ Preset/Watermark\\ Settings/WatermarkFiles"));

    wxFileConfig config(wxEmptyString, wxEmptyString, Wx(ConfigPath()));
    const wxString bundle = wxGetCwd() + "/Velisto.app/Contents/Resources/Presets/";
    const std::pair<const char*, const char*> shipped[] = {
        {"Market-Tag", "Market Tag Watermark.mp3"},
        {"Beep #1", "Beep Sound 1.mp3"},
        {"Beep #2", "Beep Sound 2.mp3"},
        {"Lo-Fi Preview", "Low-Fi Preview.mp3"},
        {"Sine+Delay", "Sine+Delay.mp3"},
        {"This Is A PF", "This Is A PF.mp3"},
        {"Whispering", "Whispering.mp3"},
        {"Alex(Mac) Preview", "Alex(Mac) Preview File.mp3"}};
    for (const auto& [name, file] : shipped) {
        SCOPED_TRACE(name);
        const wxString group = wxString("/Presets/") + name;
        EXPECT_EQ(5, config.ReadLong(group + "/Watermark Settings/Start", -1));
        EXPECT_EQ(1, config.ReadLong(group + "/Watermark Settings/RepeatEvery", -1));
        EXPECT_EQ(1001, config.ReadLong(group + "/ Output Settings/OutputFormat", -1));
        EXPECT_EQ(9, config.ReadLong(group + "/ Output Settings/Bitrate", -1));
        EXPECT_EQ(1, config.ReadLong(group + "/ Output Settings/PrefixOrSuffix", -1));
        EXPECT_FALSE(config.HasEntry(group + "/ Output Settings/OutputFolder"));
        EXPECT_EQ(bundle + file, config.Read(group + "/Watermark Settings/WatermarkFiles/File0"));
        EXPECT_FALSE(config.HasEntry(group + "/Watermark Settings/WatermarkFiles/File1"));
        EXPECT_TRUE(wxFileExists(bundle + file));
    }
}

TEST_F(Presets, SavedSettingsComeBackOnLoadAndAfterARestart) {
    MakeTone(Work("a.wav"), 1, "sine 880");
    MakeTone(Work("b b.wav"), 3.5, "sine 880");
    const wxArrayString saved = Files({"a.wav", "b b.wav"});
    auto expectSaved = [&](Probe& p) {
        EXPECT_EQ("40 Seconds", p.startChoice()->GetStringSelection());
        EXPECT_EQ("15 Sec", p.repeatChoice()->GetStringSelection());
        EXPECT_TRUE(p.mono()->GetValue() && p.merge()->GetValue());
        EXPECT_TRUE(p.aiff()->GetValue() && !p.mp3()->GetValue());
        EXPECT_EQ(3, p.quality()->GetValue());
        EXPECT_EQ("112 kbits", p.qualityLabel()->GetLabel());
        EXPECT_EQ(Wx(Work("out")), p.outputFolderLabel()->GetLabel());
        EXPECT_EQ("Choose Prefix", p.affixChoice()->GetStringSelection());
        EXPECT_EQ("x_", p.affixText()->GetValue());
        // What a run uses follows the loaded controls.
        EXPECT_EQ(40, p.start());
        EXPECT_EQ(15, p.repeatEvery());
        EXPECT_EQ(112, p.bitrate());
        EXPECT_EQ("AIFF", p.format());
        EXPECT_EQ(Wx(Work("out")), p.outputFolder());
        EXPECT_FALSE(p.quality()->IsEnabled());
        ASSERT_EQ(2, p.watermarks()->GetItemCount());
        EXPECT_EQ(saved[0], RowPath(p.watermarks(), 0));
        EXPECT_EQ(saved[1], RowPath(p.watermarks(), 1));
        EXPECT_EQ("b b.wav", Cell(p.watermarks(), 1, 1));
    };
    {
        MainWindow w;
        Probe p(*w);
        p.startChoice()->SetSelection(12);
        p.repeatChoice()->SetSelection(2);
        p.mono()->SetValue(true);
        p.merge()->SetValue(true);
        p.aiff()->SetValue(true);
        p.quality()->SetValue(3);
        p.outputFolder() = Work("out");
        p.affixChoice()->SetSelection(0);
        p.affixText()->SetValue("x_");
        w->OnWatermarkListDropFiles(saved);
        Choose(p, "New...");
        wxTEST_DIALOG(Click(p.savePreset()), NameExpect("  Mine  "));
        // Trimmed, stored and selected.
        EXPECT_EQ("Mine", p.presetChoice()->GetStringSelection());
        Choose(p, "Default Preset");
        wxTEST_DIALOG(Click(p.savePreset()), RewriteExpect("Default Preset"));

        p.startChoice()->SetSelection(7);
        p.repeatChoice()->SetSelection(0);
        p.mono()->SetValue(false);
        p.merge()->SetValue(false);
        p.mp3()->SetValue(true);
        p.quality()->SetValue(9);
        p.affixChoice()->SetSelection(1);
        p.affixText()->SetValue("other");
        p.outputFolder() = "/elsewhere";
        Click(p.watermarkClear());
        Choose(p, "Mine");
        Click(p.loadPreset());
        expectSaved(p);
    }
    MainWindow w;
    Probe p(*w);
    EXPECT_EQ("Default Preset", p.presetChoice()->GetStringSelection());
    expectSaved(p);
}

TEST_F(Presets, OverwritingLeavesNoStaleWatermarkEntries) {
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        MakeTone(Work(name), 1, "sine 880");
    const wxArrayString three = Files({"a.wav", "b.wav", "c.wav"}), one = Files({"b.wav"});
    MainWindow w;
    Probe p(*w);
    w->OnWatermarkListDropFiles(three);
    Choose(p, "New...");
    wxTEST_DIALOG(Click(p.savePreset()), NameExpect("Three"));
    EXPECT_TRUE(HasFile(p, "Three", 2));

    // Through the Save button on the selected preset...
    SetWatermarks(p, one);
    Choose(p, "Three");
    wxTEST_DIALOG(Click(p.savePreset()), RewriteExpect("Three"));
    EXPECT_TRUE(HasFile(p, "Three", 0));
    EXPECT_FALSE(HasFile(p, "Three", 1) || HasFile(p, "Three", 2));

    // ...and through a new name equal to an existing one.
    SetWatermarks(p, three);
    wxTEST_DIALOG(Click(p.savePreset()), RewriteExpect("Three"));
    SetWatermarks(p, one);
    Choose(p, "New...");
    wxTEST_DIALOG(Click(p.savePreset()), NameExpect("Three "), RewriteExpect("Three"));
    EXPECT_FALSE(HasFile(p, "Three", 1));
    EXPECT_EQ("Three", p.presetChoice()->GetStringSelection());

    // Declining keeps the preset as it was.
    SetWatermarks(p, three);
    Choose(p, "New...");
    wxTEST_DIALOG(Click(p.savePreset()), NameExpect("Three"), RewriteExpect("Three", wxID_NO));
    EXPECT_FALSE(HasFile(p, "Three", 1));
}

TEST_F(Presets, BadNamesAreRefusedAndDeleteAsksAndKeepsTheDefault) {
    MainWindow w;
    Probe p(*w);
    Choose(p, "New...");
    wxTEST_DIALOG(Click(p.savePreset()), NameExpect("   "),
                  MessageExpect("Please type a name for the preset."));
    wxTEST_DIALOG(Click(p.savePreset()), NameExpect("a/b"),
                  MessageExpect("A preset name cannot contain \"/\"."));
    wxTEST_DIALOG(Click(p.savePreset()), NameExpect("Later", wxID_CANCEL));
    EXPECT_EQ(10u, p.presetChoice()->GetCount());
    EXPECT_FALSE(p.config().HasGroup("/Presets/a"));
    EXPECT_FALSE(p.config().HasGroup("/Presets/Later"));

    // Load with "New..." selected does nothing.
    p.startChoice()->SetSelection(2);
    Choose(p, "New...");
    Click(p.loadPreset());
    EXPECT_EQ("2 Seconds", p.startChoice()->GetStringSelection());
    EXPECT_FALSE(w->LoadPreset("No Such Preset"));

    // With nothing selected, Save asks for a new name and Delete does nothing.
    p.presetChoice()->SetSelection(wxNOT_FOUND);
    wxTEST_DIALOG(Click(p.savePreset()), NameExpect("Fresh"));
    EXPECT_TRUE(p.config().HasGroup("/Presets/Fresh/Watermark Settings"));
    p.presetChoice()->SetSelection(wxNOT_FOUND);
    Click(p.deletePreset());
    EXPECT_TRUE(p.config().HasGroup("/Presets/Fresh"));

    // Delete asks first, and never takes the default.
    Choose(p, "Default Preset");
    wxTEST_DIALOG(Click(p.deletePreset()), MessageExpect("You can not delete your default preset"));
    EXPECT_TRUE(p.config().HasGroup("/Presets/Default Preset/Watermark Settings"));
    EXPECT_EQ("Default Preset", p.presetChoice()->GetStringSelection());

    const wxString sure = "Are you sure you want to delete preset 'Beep #2' ?";
    Choose(p, "Beep #2");
    wxTEST_DIALOG(Click(p.deletePreset()), MessageExpect(sure, wxID_NO));
    EXPECT_TRUE(p.config().HasGroup("/Presets/Beep #2"));
    wxTEST_DIALOG(Click(p.deletePreset()), MessageExpect(sure, wxID_YES));
    EXPECT_FALSE(p.config().HasGroup("/Presets/Beep #2"));
    EXPECT_EQ(wxNOT_FOUND, p.presetChoice()->FindString("Beep #2"));
    EXPECT_EQ(10u, p.presetChoice()->GetCount());

    Choose(p, "New...");
    wxTEST_DIALOG(Click(p.deletePreset()),
                  MessageExpect("Are you sure you want to delete preset 'New...' ?", wxID_YES));
    EXPECT_EQ(10u, p.presetChoice()->GetCount());
    EXPECT_TRUE(p.config().HasGroup("/Presets/Default Preset"));
}

TEST_F(Presets, SecondStartLoadsDefaultAndKeepsChangedShippedPresets) {
    WriteConfig("[Presets/Default Preset/Watermark Settings]\nStart=6\nRepeatEvery=2\n"
                "[Presets/Default Preset/ Output Settings]\nOutputFormat=1002\nBitrate=0\n"
                "OutputFolder=/srv/out\nPrefixOrSuffix=1\nPrefixOrSuffixString=_demo\n"
                "[Presets/Beep #1/Watermark Settings]\nStart=12\n");
    {
        MainWindow w;
        Probe p(*w);
        EXPECT_EQ("10 Seconds", p.startChoice()->GetStringSelection());
        EXPECT_EQ(15, p.repeatEvery());
        EXPECT_EQ("WAV", p.format());
        EXPECT_EQ("64 kbits", p.qualityLabel()->GetLabel());
        EXPECT_EQ("/srv/out", p.outputFolderLabel()->GetLabel());
        EXPECT_EQ("_demo", p.affixText()->GetValue());
    }
    wxFileConfig config(wxEmptyString, wxEmptyString, Wx(ConfigPath()));
    EXPECT_EQ(12, config.ReadLong("/Presets/Beep #1/Watermark Settings/Start", -1));
    EXPECT_FALSE(config.HasGroup("/Presets/Beep #1/ Output Settings"));
    EXPECT_TRUE(config.HasGroup("/Presets/Beep #2/ Output Settings"));
}

TEST_F(Presets, StoredValuesAreReadForgivingly) {
    MakeTone(Work("a.wav"), 1, "sine 880");
    MakeTone(Work("c.wav"), 1, "sine 880");
    WriteConfig("[Presets/Default Preset/Watermark Settings]\nStart=5\nRepeatEvery=0\n"
                "[Presets/Text/Watermark Settings]\nStart=\"5\"\nRepeatEvery=7\n"
                "[Presets/Text/Output Settings]\nIsMono=1\nOutputFormat=1003\nBitrate=2\n"
                "[Presets/Gap/Watermark Settings]\nStart=99\nRepeatEvery=-1\n"
                "[Presets/Gap/ Output Settings]\nOutputFormat=4242\nBitrate=40\n"
                "PrefixOrSuffix=9\n"
                "[Presets/Gap/Watermark Settings/WatermarkFiles]\nFile0=" +
                Work("a.wav") + "\nFile2=" + Work("c.wav") +
                "\n"
                "[Presets/Gone/Watermark Settings]\nStart=1\n"
                "[Presets/Gone/Watermark Settings/WatermarkFiles]\nFile0=" +
                Work("moved-away.wav") + "\n");
    MainWindow w;
    Probe p(*w);

    // Number as text; the output group without its leading blank is not ours,
    // so every output key takes its default; an index no entry has falls back.
    p.mono()->SetValue(true);
    p.wav()->SetValue(true);
    ASSERT_TRUE(w->LoadPreset("Text"));
    EXPECT_EQ("5 Seconds", p.startChoice()->GetStringSelection());
    EXPECT_EQ("10 Sec", p.repeatChoice()->GetStringSelection());
    EXPECT_FALSE(p.mono()->GetValue());
    EXPECT_TRUE(p.mp3()->GetValue());
    EXPECT_EQ(9, p.quality()->GetValue());
    EXPECT_EQ("Choose Prefix", p.affixChoice()->GetStringSelection());

    // A gap ends the list; an unknown format leaves the buttons alone; the
    // slider position is clamped.
    p.wav()->SetValue(true);
    ASSERT_TRUE(w->LoadPreset("Gap"));
    EXPECT_EQ("Immediately", p.startChoice()->GetStringSelection());
    EXPECT_EQ("10 Sec", p.repeatChoice()->GetStringSelection());
    EXPECT_TRUE(p.wav()->GetValue());
    EXPECT_EQ("WAV", p.format());
    EXPECT_EQ(9, p.quality()->GetValue());
    EXPECT_EQ("Choose Prefix", p.affixChoice()->GetStringSelection());
    ASSERT_EQ(1, p.watermarks()->GetItemCount());
    EXPECT_EQ(Wx(Work("a.wav")), RowPath(p.watermarks(), 0));

    // A watermark that has gone empties the list without a message.
    ASSERT_TRUE(w->LoadPreset("Gone"));
    EXPECT_EQ(0, p.watermarks()->GetItemCount());
}

TEST_F(Presets, LoadingAShippedPresetGivesItsSettingsAndSound) {
    MainWindow w;
    Probe p(*w);
    p.outputFolder() = "/somewhere";
    p.affixText()->SetValue("abc");
    p.wav()->SetValue(true);
    Choose(p, "Beep #1");
    Click(p.loadPreset());
    EXPECT_EQ("10 Sec", p.repeatChoice()->GetStringSelection());
    EXPECT_EQ(10, p.repeatEvery());
    EXPECT_TRUE(p.mp3()->GetValue() && p.quality()->IsEnabled());
    EXPECT_EQ(320, p.bitrate());
    EXPECT_EQ("", p.affixText()->GetValue());
    EXPECT_EQ("", p.outputFolder());
    EXPECT_EQ("Beep Sound 1.mp3", Column(p.watermarks(), 1));
}

} // namespace
