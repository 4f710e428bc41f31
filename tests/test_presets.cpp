// Presets in a real configuration file under a temporary HOME.
#include "testutil.h"

#include <wx/app.h>
#include <wx/ffile.h>
#include <wx/textdlg.h>

namespace {

// Answers a message box after checking its text.
class MessageExpect : public wxExpectModalBase<wxMessageDialog, MessageExpect> {
public:
    MessageExpect(const wxString& text, int answer) : m_text(text), m_answer(answer) {}

protected:
    int OnInvoked(wxMessageDialog* dialog) const override {
        EXPECT_EQ(m_text, dialog->GetMessage());
        return m_answer;
    }

private:
    wxString m_text;
    int m_answer;
};

// Answers the new-preset prompt with a typed name (or Cancel).
class NameExpect : public wxExpectModalBase<wxTextEntryDialog, NameExpect> {
public:
    NameExpect(const wxString& typed, int answer = wxID_OK) : m_typed(typed), m_answer(answer) {}

protected:
    int OnInvoked(wxTextEntryDialog* dialog) const override {
        EXPECT_EQ("New preset", dialog->GetTitle());
        EXPECT_EQ("", dialog->GetValue());
        dialog->SetValue(m_typed);
        return m_answer;
    }

private:
    wxString m_typed;
    int m_answer;
};

const char* const kSelectorAtFirstStart[] = {
    "New...",        "Alex(Mac) Preview", "Beep #1",    "Beep #2",      "Default Preset",
    "Lo-Fi Preview", "Market-Tag",        "Sine+Delay", "This Is A PF", "Whispering"};

class Presets : public BundleTest {
protected:
    std::string ConfigPath() const { return Home() + "/." + wxTheApp->GetAppName().utf8_string(); }
    wxString ConfigText() const {
        wxString text;
        wxFFile file(ConfigPath(), "r");
        if (file.IsOpened())
            file.ReadAll(&text);
        return text;
    }
    void WriteConfig(const std::string& text) const {
        wxFFile file(ConfigPath(), "w");
        ASSERT_TRUE(file.IsOpened());
        file.Write(wxString::FromUTF8(text));
    }
    static wxArrayString Selector(Probe& p) { return p.presetChoice()->GetStrings(); }
    static void Choose(Probe& p, const wxString& name) {
        ASSERT_TRUE(p.presetChoice()->SetStringSelection(name)) << name;
    }
    static wxArrayString WatermarkPaths(Probe& p) {
        wxArrayString paths;
        for (long row = 0; row < p.watermarks()->GetItemCount(); ++row)
            paths.Add(RowPath(p.watermarks(), row));
        return paths;
    }
    std::string Wm(const std::string& name, double seconds = 1) {
        MakeTone(Work(name), seconds, "sine 880");
        return Work(name);
    }
};

TEST_F(Presets, FirstStartStoresDefaultAndShippedPresets) {
    {
        MainWindow w;
        Probe p(*w);
        wxArrayString selector = Selector(p);
        ASSERT_EQ(10u, selector.size());
        for (size_t i = 0; i < selector.size(); ++i)
            EXPECT_EQ(kSelectorAtFirstStart[i], selector[i]);
        EXPECT_EQ("Default Preset", p.presetChoice()->GetStringSelection());
        EXPECT_EQ(0, p.watermarks()->GetItemCount());
    }
    // Written by the time the window is gone (the file format escapes blanks).
    const wxString text = ConfigText();
    EXPECT_NE(wxNOT_FOUND, text.Find("[Presets/Default\\ Preset/Watermark\\ Settings]\n"
                                     "Start=5\nRepeatEvery=0\n"))
        << text;
    EXPECT_NE(wxNOT_FOUND, text.Find("[Presets/Default\\ Preset/\\ Output\\ Settings]\n"
                                     "IsMono=0\nIsAppend=0\nOutputFormat=1001\nBitrate=9\n"
                                     "OutputFolder=\nPrefixOrSuffix=1\nPrefixOrSuffixString=\n"));
    EXPECT_EQ(wxNOT_FOUND, text.Find("Default\\ Preset/Watermark\\ Settings/WatermarkFiles"));

    wxFileConfig config(wxEmptyString, wxEmptyString, wxString::FromUTF8(ConfigPath()));
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

TEST_F(Presets, SavedSettingsAndWatermarksSurviveARestart) {
    const std::string a = Wm("a.wav"), b = Wm("b b.wav", 3.5);
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
        wxArrayString files;
        files.Add(a);
        files.Add(b);
        w->OnWatermarkListDropFiles(files);
        Choose(p, "Default Preset");
        wxCommandEvent click;
        wxTEST_DIALOG(
            w->OnSavePresetButton(click),
            MessageExpect("Are you sure you want to rewrite then preset 'Default Preset' ?",
                          wxID_YES));
        EXPECT_EQ("Default Preset", p.presetChoice()->GetStringSelection());
    }
    MainWindow w;
    Probe p(*w);
    EXPECT_EQ("40 Seconds", p.startChoice()->GetStringSelection());
    EXPECT_EQ("15 Sec", p.repeatChoice()->GetStringSelection());
    EXPECT_TRUE(p.mono()->GetValue());
    EXPECT_TRUE(p.merge()->GetValue());
    EXPECT_TRUE(p.aiff()->GetValue());
    EXPECT_FALSE(p.mp3()->GetValue());
    EXPECT_EQ(3, p.quality()->GetValue());
    EXPECT_EQ(wxString(Work("out")), p.outputFolder());
    EXPECT_EQ(wxString(Work("out")), p.outputFolderLabel()->GetLabel());
    EXPECT_EQ("Choose Prefix", p.affixChoice()->GetStringSelection());
    EXPECT_EQ("x_", p.affixText()->GetValue());
    // What a run uses follows the loaded controls.
    EXPECT_EQ(40, p.start());
    EXPECT_EQ(15, p.repeatEvery());
    EXPECT_EQ(112, p.bitrate());
    EXPECT_EQ("AIFF", p.format());
    EXPECT_FALSE(p.quality()->IsEnabled());
    wxArrayString paths = WatermarkPaths(p);
    ASSERT_EQ(2u, paths.size());
    EXPECT_EQ(wxString(a), paths[0]);
    EXPECT_EQ(wxString(b), paths[1]);
    EXPECT_EQ("b b.wav", Cell(p.watermarks(), 1, 1));
}

TEST_F(Presets, NewPresetLoadsBackAfterEveryControlChanged) {
    const std::string a = Wm("a.wav");
    MainWindow w;
    Probe p(*w);
    p.startChoice()->SetSelection(0);
    p.repeatChoice()->SetSelection(1);
    p.wav()->SetValue(true);
    p.quality()->SetValue(5);
    p.affixText()->SetValue("_wm");
    p.outputFolder() = "/music/out";
    wxArrayString files;
    files.Add(a);
    w->OnWatermarkListDropFiles(files);
    Choose(p, "New...");
    wxCommandEvent click;
    wxTEST_DIALOG(w->OnSavePresetButton(click), NameExpect("  Mine  "));
    // Trimmed, stored and selected.
    EXPECT_EQ("Mine", p.presetChoice()->GetStringSelection());

    p.startChoice()->SetSelection(7);
    p.repeatChoice()->SetSelection(2);
    p.mono()->SetValue(true);
    p.mp3()->SetValue(true);
    p.quality()->SetValue(9);
    p.affixChoice()->SetSelection(0);
    p.affixText()->SetValue("other");
    p.outputFolder() = "/elsewhere";
    w->OnWatermarkListClear(click);

    w->OnLoadPreset(click);
    EXPECT_EQ("Immediately", p.startChoice()->GetStringSelection());
    EXPECT_EQ("10 Sec", p.repeatChoice()->GetStringSelection());
    EXPECT_FALSE(p.mono()->GetValue());
    EXPECT_TRUE(p.wav()->GetValue());
    EXPECT_EQ(5, p.quality()->GetValue());
    EXPECT_EQ("160 kbits", p.qualityLabel()->GetLabel());
    EXPECT_EQ("Choose Suffix", p.affixChoice()->GetStringSelection());
    EXPECT_EQ("_wm", p.affixText()->GetValue());
    EXPECT_EQ("/music/out", p.outputFolder());
    EXPECT_EQ(0, p.start());
    EXPECT_EQ(10, p.repeatEvery());
    EXPECT_EQ("WAV", p.format());
    ASSERT_EQ(1, p.watermarks()->GetItemCount());
    EXPECT_EQ(wxString(a), RowPath(p.watermarks(), 0));
}

TEST_F(Presets, OverwritingLeavesNoStaleWatermarkEntries) {
    const std::string a = Wm("a.wav"), b = Wm("b.wav"), c = Wm("c.wav");
    MainWindow w;
    Probe p(*w);
    wxArrayString three;
    three.Add(a);
    three.Add(b);
    three.Add(c);
    w->OnWatermarkListDropFiles(three);
    wxCommandEvent click;
    Choose(p, "New...");
    wxTEST_DIALOG(w->OnSavePresetButton(click), NameExpect("Three"));
    w->OnWatermarkListClear(click);
    wxArrayString one;
    one.Add(b);
    w->OnWatermarkListDropFiles(one);

    // Through the Save button on the selected preset...
    Choose(p, "Three");
    wxTEST_DIALOG(
        w->OnSavePresetButton(click),
        MessageExpect("Are you sure you want to rewrite then preset 'Three' ?", wxID_YES));
    wxFileConfig& config = p.config();
    EXPECT_TRUE(config.HasEntry("/Presets/Three/Watermark Settings/WatermarkFiles/File0"));
    EXPECT_FALSE(config.HasEntry("/Presets/Three/Watermark Settings/WatermarkFiles/File1"));
    EXPECT_FALSE(config.HasEntry("/Presets/Three/Watermark Settings/WatermarkFiles/File2"));

    // ...and through a new name equal to an existing one.
    w->OnWatermarkListDropFiles(three);
    Choose(p, "Three");
    wxTEST_DIALOG(
        w->OnSavePresetButton(click),
        MessageExpect("Are you sure you want to rewrite then preset 'Three' ?", wxID_YES));
    w->OnWatermarkListClear(click);
    w->OnWatermarkListDropFiles(one);
    Choose(p, "New...");
    wxTEST_DIALOG(
        w->OnSavePresetButton(click), NameExpect("Three "),
        MessageExpect("Are you sure you want to rewrite then preset 'Three' ?", wxID_YES));
    EXPECT_FALSE(config.HasEntry("/Presets/Three/Watermark Settings/WatermarkFiles/File1"));
    EXPECT_EQ("Three", p.presetChoice()->GetStringSelection());

    // Declining keeps the preset as it was.
    w->OnWatermarkListDropFiles(three);
    Choose(p, "New...");
    wxTEST_DIALOG(w->OnSavePresetButton(click), NameExpect("Three"),
                  MessageExpect("Are you sure you want to rewrite then preset 'Three' ?", wxID_NO));
    EXPECT_FALSE(config.HasEntry("/Presets/Three/Watermark Settings/WatermarkFiles/File1"));
}

TEST_F(Presets, BadNamesAreRefusedAndNothingIsWritten) {
    MainWindow w;
    Probe p(*w);
    wxCommandEvent click;
    const wxString before = ConfigText();
    Choose(p, "New...");
    wxTEST_DIALOG(w->OnSavePresetButton(click), NameExpect("   "),
                  MessageExpect("Please type a name for the preset.", wxID_OK));
    Choose(p, "New...");
    wxTEST_DIALOG(w->OnSavePresetButton(click), NameExpect("a/b"),
                  MessageExpect("A preset name cannot contain \"/\".", wxID_OK));
    Choose(p, "New...");
    wxTEST_DIALOG(w->OnSavePresetButton(click), NameExpect("Later", wxID_CANCEL));
    EXPECT_EQ(10u, p.presetChoice()->GetCount());
    EXPECT_FALSE(p.config().HasGroup("/Presets/a"));
    EXPECT_FALSE(p.config().HasGroup("/Presets/Later"));
    EXPECT_EQ(wxNOT_FOUND, p.presetChoice()->FindString("a/b"));

    // With nothing selected, Save asks for a new name and Delete does nothing.
    p.presetChoice()->SetSelection(wxNOT_FOUND);
    wxTEST_DIALOG(w->OnSavePresetButton(click), NameExpect("Fresh"));
    EXPECT_TRUE(p.config().HasGroup("/Presets/Fresh/Watermark Settings"));
    p.presetChoice()->SetSelection(wxNOT_FOUND);
    w->OnDeletePreset(click);
    EXPECT_TRUE(p.config().HasGroup("/Presets/Fresh"));
    EXPECT_TRUE(p.config().HasGroup("/Presets/Default Preset"));
}

TEST_F(Presets, DeleteAsksAndProtectsTheDefault) {
    MainWindow w;
    Probe p(*w);
    wxCommandEvent click;
    Choose(p, "Default Preset");
    wxTEST_DIALOG(w->OnDeletePreset(click),
                  MessageExpect("You can not delete your default preset", wxID_OK));
    EXPECT_TRUE(p.config().HasGroup("/Presets/Default Preset/Watermark Settings"));
    EXPECT_EQ("Default Preset", p.presetChoice()->GetStringSelection());

    Choose(p, "Beep #2");
    wxTEST_DIALOG(w->OnDeletePreset(click),
                  MessageExpect("Are you sure you want to delete preset 'Beep #2' ?", wxID_NO));
    EXPECT_TRUE(p.config().HasGroup("/Presets/Beep #2"));
    wxTEST_DIALOG(w->OnDeletePreset(click),
                  MessageExpect("Are you sure you want to delete preset 'Beep #2' ?", wxID_YES));
    EXPECT_FALSE(p.config().HasGroup("/Presets/Beep #2"));
    EXPECT_EQ(wxNOT_FOUND, p.presetChoice()->FindString("Beep #2"));
    EXPECT_EQ(9u, p.presetChoice()->GetCount());

    Choose(p, "New...");
    wxTEST_DIALOG(w->OnDeletePreset(click),
                  MessageExpect("Are you sure you want to delete preset 'New...' ?", wxID_YES));
    EXPECT_EQ(9u, p.presetChoice()->GetCount());
    EXPECT_TRUE(p.config().HasGroup("/Presets/Default Preset"));
}

TEST_F(Presets, LoadWithNewSelectedChangesNothing) {
    MainWindow w;
    Probe p(*w);
    p.startChoice()->SetSelection(2);
    Choose(p, "New...");
    wxCommandEvent click;
    w->OnLoadPreset(click);
    EXPECT_EQ("2 Seconds", p.startChoice()->GetStringSelection());
    EXPECT_FALSE(w->LoadPreset("No Such Preset"));
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
        EXPECT_EQ("15 Sec", p.repeatChoice()->GetStringSelection());
        EXPECT_TRUE(p.wav()->GetValue());
        EXPECT_EQ("64 kbits", p.qualityLabel()->GetLabel());
        EXPECT_EQ("/srv/out", p.outputFolderLabel()->GetLabel());
        EXPECT_EQ("_demo", p.affixText()->GetValue());
        EXPECT_EQ(10, p.start());
        EXPECT_EQ(15, p.repeatEvery());
        EXPECT_EQ("WAV", p.format());
        EXPECT_EQ("Default Preset", p.presetChoice()->GetStringSelection());
    }
    wxFileConfig config(wxEmptyString, wxEmptyString, wxString::FromUTF8(ConfigPath()));
    EXPECT_EQ(12, config.ReadLong("/Presets/Beep #1/Watermark Settings/Start", -1));
    EXPECT_FALSE(config.HasGroup("/Presets/Beep #1/ Output Settings"));
    EXPECT_TRUE(config.HasGroup("/Presets/Beep #2/ Output Settings"));
}

TEST_F(Presets, StoredValuesAreReadForgivingly) {
    const std::string a = Wm("a.wav"), c = Wm("c.wav");
    WriteConfig("[Presets/Default Preset/Watermark Settings]\nStart=5\nRepeatEvery=0\n"
                "[Presets/Text/Watermark Settings]\nStart=\"5\"\nRepeatEvery=7\n"
                "[Presets/Text/Output Settings]\nIsMono=1\nOutputFormat=1003\nBitrate=2\n"
                "[Presets/Gap/Watermark Settings]\nStart=99\nRepeatEvery=-1\n"
                "[Presets/Gap/ Output Settings]\nOutputFormat=4242\nBitrate=40\n"
                "PrefixOrSuffix=9\n"
                "[Presets/Gap/Watermark Settings/WatermarkFiles]\nFile0=" +
                a + "\nFile2=" + c +
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
    EXPECT_EQ(wxString(a), RowPath(p.watermarks(), 0));

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
    wxCommandEvent click;
    w->OnLoadPreset(click);
    EXPECT_EQ("5 Seconds", p.startChoice()->GetStringSelection());
    EXPECT_EQ("10 Sec", p.repeatChoice()->GetStringSelection());
    EXPECT_TRUE(p.mp3()->GetValue());
    EXPECT_EQ("Choose Suffix", p.affixChoice()->GetStringSelection());
    EXPECT_EQ("", p.affixText()->GetValue());
    EXPECT_EQ("", p.outputFolder());
    EXPECT_EQ("", p.outputFolderLabel()->GetLabel());
    EXPECT_EQ(5, p.start());
    EXPECT_EQ(10, p.repeatEvery());
    EXPECT_EQ("MP3", p.format());
    EXPECT_EQ(320, p.bitrate());
    ASSERT_EQ(1, p.watermarks()->GetItemCount());
    EXPECT_EQ("Beep Sound 1.mp3", Cell(p.watermarks(), 0, 1));
}

TEST(PresetNames, TrimmedAndChecked) {
    wxString error;
    EXPECT_EQ("My Mix", CheckPresetName("  My Mix\t", error));
    EXPECT_TRUE(error.empty());
    CheckPresetName("", error);
    EXPECT_FALSE(error.empty());
    CheckPresetName("a/b", error);
    EXPECT_FALSE(error.empty());
}

} // namespace
