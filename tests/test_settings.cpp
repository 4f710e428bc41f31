// The output settings: what each control gives the working settings a run
// uses, and the output folder dialog.
#include "testutil.h"

#include <wx/dirdlg.h>

#include <dlfcn.h>
#include <memory>

struct SettingsTestAccess {};
template <> struct MainWindowProbe<SettingsTestAccess> {
    explicit MainWindowProbe(CMainFormImp& w) : w(w) {}
    CMainFormImp& w;

    void Derive() const { w.DeriveWorkingSettings(); }
};

namespace {

using Derivation = MainWindowProbe<SettingsTestAccess>;

class Settings : public BundleTest {};

// Selects the entry in the control and sends the event the control sends.
void Choose(wxControlWithItems* control, wxEventType type, int index) {
    control->SetSelection(index);
    wxCommandEvent event(type, control->GetId());
    event.SetEventObject(control);
    event.SetInt(index);
    control->GetEventHandler()->ProcessEvent(event);
}

void ChooseRepeat(wxRadioBox* box, int index) {
    box->SetSelection(index);
    wxCommandEvent event(wxEVT_RADIOBOX, box->GetId());
    event.SetEventObject(box);
    event.SetInt(index);
    box->GetEventHandler()->ProcessEvent(event);
}

void Slide(wxSlider* slider, int position, wxEventType type = wxEVT_SCROLL_THUMBTRACK) {
    slider->SetValue(position);
    wxScrollEvent event(type, slider->GetId(), position, wxHORIZONTAL);
    event.SetEventObject(slider);
    slider->GetEventHandler()->ProcessEvent(event);
}

void Pick(wxRadioButton* button) {
    button->SetValue(true);
    wxCommandEvent event(wxEVT_RADIOBUTTON, button->GetId());
    event.SetEventObject(button);
    event.SetInt(1);
    button->GetEventHandler()->ProcessEvent(event);
}

// The folder the GTK chooser inside a folder dialog will show. The toolkit's
// GetPath gives only the accepted folder there, so ask GTK itself (already
// loaded by the toolkit).
wxString ChooserFolder(wxDirDialog* dialog) {
    using GetFolder = char* (*)(void*);
    using Free = void (*)(void*);
    auto getFolder =
        reinterpret_cast<GetFolder>(dlsym(RTLD_DEFAULT, "gtk_file_chooser_get_current_folder"));
    auto release = reinterpret_cast<Free>(dlsym(RTLD_DEFAULT, "g_free"));
    if (!getFolder || !release)
        return "(no GTK)";
    char* folder = getFolder(dialog->m_widget);
    const wxString text = folder ? wxString::FromUTF8(folder) : wxString("(none)");
    release(folder);
    return text;
}

// The folder dialog: notes the folder it opened at, then ends with the given
// button, having chosen `choice` when that is OK.
class ExpectFolderDialog : public wxExpectModalBase<wxDirDialog, ExpectFolderDialog> {
public:
    ExpectFolderDialog(int button, const wxString& choice, std::shared_ptr<wxString> openedAt)
        : m_button(button), m_choice(choice), m_openedAt(openedAt) {}

protected:
    int OnInvoked(wxDirDialog* dialog) const override {
        EXPECT_EQ("Choose a directory for your output folder", dialog->GetMessage());
        EXPECT_TRUE(dialog->HasFlag(wxDD_DIR_MUST_EXIST));
        WaitUntil([&] { return ChooserFolder(dialog) != "(none)"; }, 3000);
        *m_openedAt = ChooserFolder(dialog);
        // What the user picked: GTK's dialog keeps the accepted folder in the
        // common base, which is what GetPath reads.
        if (m_button == wxID_OK)
            dialog->wxDirDialogBase::SetPath(m_choice);
        return m_button;
    }

private:
    int m_button;
    wxString m_choice;
    std::shared_ptr<wxString> m_openedAt;
};

TEST(SettingsTables, StartRepeatAndBitrateLookups) {
    const int start[] = {0, 1, 2, 3, 4, 5, 10, 15, 20, 25, 30, 35, 40};
    ASSERT_EQ(g_startChoiceCount, int(sizeof start / sizeof *start));
    for (int i = 0; i < g_startChoiceCount; ++i)
        EXPECT_EQ(start[i], StartSecondsForIndex(i)) << i;
    const int repeat[] = {5, 10, 15};
    for (int i = 0; i < g_repeatChoiceCount; ++i)
        EXPECT_EQ(repeat[i], RepeatSecondsForIndex(i)) << i;
    const int kbits[] = {64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    for (int i = 0; i < g_qualityPositionCount; ++i)
        EXPECT_EQ(kbits[i], BitrateForSliderPosition(i)) << i;

    for (int outside : {-1, wxNOT_FOUND, 100}) {
        EXPECT_EQ(-1, StartSecondsForIndex(outside));
        EXPECT_EQ(-1, RepeatSecondsForIndex(outside));
        EXPECT_EQ(-1, BitrateForSliderPosition(outside));
    }
    EXPECT_EQ(-1, StartSecondsForIndex(g_startChoiceCount));
    EXPECT_EQ(-1, RepeatSecondsForIndex(g_repeatChoiceCount));
    EXPECT_EQ(-1, BitrateForSliderPosition(g_qualityPositionCount));
}

TEST_F(Settings, TheTablesMatchTheControlsEntries) {
    MainWindow w;
    Probe p(*w);
    ASSERT_EQ(unsigned(g_startChoiceCount), p.startChoice()->GetCount());
    for (int i = 0; i < g_startChoiceCount; ++i) {
        const wxString entry = p.startChoice()->GetString(i);
        const int seconds = StartSecondsForIndex(i);
        EXPECT_EQ(seconds == 0 ? wxString("Immediately") : wxString::Format("%d Seconds", seconds),
                  entry);
    }
    ASSERT_EQ(unsigned(g_repeatChoiceCount), p.repeatChoice()->GetCount());
    for (int i = 0; i < g_repeatChoiceCount; ++i)
        EXPECT_EQ(wxString::Format("%d Sec", RepeatSecondsForIndex(i)),
                  p.repeatChoice()->GetString(i));
    EXPECT_EQ(g_qualityPositionCount - 1, p.quality()->GetMax());
}

TEST_F(Settings, WindowOpensWithWhatItsControlsShow) {
    MainWindow w;
    Probe p(*w);
    EXPECT_EQ(5, p.start());
    EXPECT_EQ(5, p.repeatEvery());
    EXPECT_EQ(320, p.bitrate());
    EXPECT_EQ("320 kbits", p.qualityLabel()->GetLabel());
    EXPECT_EQ("MP3", p.format());
    EXPECT_TRUE(p.quality()->IsEnabled());
    EXPECT_EQ("", p.outputFolder());
    EXPECT_EQ("No Output Selected", p.outputFolderLabel()->GetLabel());
}

TEST_F(Settings, StartAfterAndRepeatEveryGiveSeconds) {
    MainWindow w;
    Probe p(*w);
    const std::pair<int, int> starts[] = {{0, 0}, {6, 10}, {12, 40}, {3, 3}};
    for (auto [index, seconds] : starts) {
        Choose(p.startChoice(), wxEVT_CHOICE, index);
        EXPECT_EQ(seconds, p.start()) << p.startChoice()->GetString(index);
    }
    const std::pair<int, int> repeats[] = {{1, 10}, {2, 15}, {0, 5}};
    for (auto [index, seconds] : repeats) {
        ChooseRepeat(p.repeatChoice(), index);
        EXPECT_EQ(seconds, p.repeatEvery()) << index;
    }

    // An event naming no entry changes nothing.
    wxCommandEvent stray(wxEVT_CHOICE, p.startChoice()->GetId());
    stray.SetInt(wxNOT_FOUND);
    w->OnStartChoice(stray);
    EXPECT_EQ(3, p.start());
    wxCommandEvent strayRepeat(wxEVT_RADIOBOX, p.repeatChoice()->GetId());
    strayRepeat.SetInt(3);
    w->OnRepeatChoice(strayRepeat);
    EXPECT_EQ(5, p.repeatEvery());
}

TEST_F(Settings, QualitySliderSetsLabelAndBitrateAtEveryStep) {
    MainWindow w;
    Probe p(*w);
    const struct {
        int position;
        const char* label;
        int kbits;
    } steps[] = {{0, "64 kbits", 64}, {5, "160 kbits", 160}, {9, "320 kbits", 320}};
    for (const auto& step : steps) {
        Slide(p.quality(), step.position);
        EXPECT_EQ(step.label, p.qualityLabel()->GetLabel());
        EXPECT_EQ(step.kbits, p.bitrate());
    }
    // The final event of a drag and a click on the track work the same way.
    Slide(p.quality(), 4, wxEVT_SCROLL_CHANGED);
    EXPECT_EQ("128 kbits", p.qualityLabel()->GetLabel());
    Slide(p.quality(), 1, wxEVT_SCROLL_PAGEDOWN);
    EXPECT_EQ(80, p.bitrate());
}

TEST_F(Settings, WavAndAiffDisableTheSliderAndKeepItsBitrate) {
    MainWindow w;
    Probe p(*w);
    Slide(p.quality(), 5);

    Pick(p.wav());
    EXPECT_EQ("WAV", p.format());
    EXPECT_FALSE(p.quality()->IsEnabled());
    EXPECT_EQ(5, p.quality()->GetValue());
    EXPECT_EQ("160 kbits", p.qualityLabel()->GetLabel());
    EXPECT_EQ(160, p.bitrate());

    Pick(p.aiff());
    EXPECT_EQ("AIFF", p.format());
    EXPECT_FALSE(p.quality()->IsEnabled());

    Pick(p.mp3());
    EXPECT_EQ("MP3", p.format());
    EXPECT_TRUE(p.quality()->IsEnabled());
    EXPECT_EQ(160, p.bitrate());
    EXPECT_EQ("160 kbits", p.qualityLabel()->GetLabel());
}

TEST_F(Settings, DerivationTakesEverySettingFromTheControls) {
    MainWindow w;
    Probe p(*w);
    Derivation d(*w);
    // Controls set by the program, as a preset load does: no events.
    p.startChoice()->SetSelection(12);
    p.repeatChoice()->SetSelection(2);
    p.quality()->SetValue(0);
    p.wav()->SetValue(true);
    p.outputFolder() = "/kept";
    d.Derive();
    EXPECT_EQ(40, p.start());
    EXPECT_EQ(15, p.repeatEvery());
    EXPECT_EQ(64, p.bitrate());
    EXPECT_EQ("64 kbits", p.qualityLabel()->GetLabel());
    EXPECT_EQ("WAV", p.format());
    EXPECT_FALSE(p.quality()->IsEnabled());
    EXPECT_EQ("/kept", p.outputFolder());

    p.startChoice()->SetSelection(0);
    p.repeatChoice()->SetSelection(1);
    p.quality()->SetValue(8);
    p.aiff()->SetValue(true);
    d.Derive();
    EXPECT_EQ(0, p.start());
    EXPECT_EQ(10, p.repeatEvery());
    EXPECT_EQ(256, p.bitrate());
    EXPECT_EQ("AIFF", p.format());

    p.mp3()->SetValue(true);
    d.Derive();
    EXPECT_EQ("MP3", p.format());
    EXPECT_TRUE(p.quality()->IsEnabled());
    EXPECT_EQ(256, p.bitrate());
}

TEST_F(Settings, FolderDialogOpensAtHomeAndOnlyOkChangesTheFolder) {
    const wxString first = wxString(Work("Rock & Roll"));
    const wxString second = wxString(Work("second"));
    ASSERT_TRUE(wxMkdir(first));
    ASSERT_TRUE(wxMkdir(second));
    MainWindow w;
    Probe p(*w);
    auto openedAt = std::make_shared<wxString>();
    auto click = [&] {
        wxCommandEvent event(wxEVT_BUTTON, p.outputFolderButton()->GetId());
        event.SetEventObject(p.outputFolderButton());
        p.outputFolderButton()->GetEventHandler()->ProcessEvent(event);
    };

    wxTEST_DIALOG(click(), ExpectFolderDialog(wxID_CANCEL, "", openedAt));
    EXPECT_EQ(wxString(Home()), *openedAt);
    EXPECT_EQ("", p.outputFolder());
    EXPECT_EQ("No Output Selected", p.outputFolderLabel()->GetLabel());

    wxTEST_DIALOG(click(), ExpectFolderDialog(wxID_OK, first, openedAt));
    EXPECT_EQ(first, p.outputFolder());
    // Shown as it is: the ampersand is not taken for a mnemonic.
    EXPECT_EQ(first, p.outputFolderLabel()->GetLabelText());

    wxTEST_DIALOG(click(), ExpectFolderDialog(wxID_CANCEL, "", openedAt));
    EXPECT_EQ(wxString(Home()), *openedAt);
    EXPECT_EQ(first, p.outputFolder());
    EXPECT_EQ(first, p.outputFolderLabel()->GetLabelText());

    wxTEST_DIALOG(click(), ExpectFolderDialog(wxID_OK, second, openedAt));
    EXPECT_EQ(wxString(Home()), *openedAt);
    EXPECT_EQ(second, p.outputFolder());
    EXPECT_EQ(second, p.outputFolderLabel()->GetLabelText());
}

} // namespace
