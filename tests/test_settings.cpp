// The output settings: what each control gives the working settings a run
// uses, and the output folder dialog.
#include "testutil.h"

#include <wx/dirdlg.h>

#include <dlfcn.h>

namespace {

class Settings : public WindowTest {};

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
    ExpectFolderDialog(int button, const wxString& choice, wxString* openedAt)
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
    wxString* m_openedAt;
};

// Every entry gives the seconds its label names; an event naming no entry changes nothing.
TEST_F(Settings, StartAfterAndRepeatEveryGiveTheSecondsOfTheirEntries) {
    ASSERT_EQ(13u, p.startChoice()->GetCount());
    for (int i = 0; i < 13; ++i) {
        const wxString entry = p.startChoice()->GetString(i);
        p.startChoice()->SetSelection(i);
        Send(p.startChoice(), wxEVT_CHOICE, i);
        EXPECT_EQ(entry == "Immediately" ? 0 : wxAtoi(entry), p.start()) << entry;
    }
    ASSERT_EQ(3u, p.repeatChoice()->GetCount());
    for (int i : {1, 2, 0}) {
        p.repeatChoice()->SetSelection(i);
        Send(p.repeatChoice(), wxEVT_RADIOBOX, i);
        EXPECT_EQ(wxAtoi(p.repeatChoice()->GetString(i)), p.repeatEvery()) << i;
    }
    EXPECT_EQ(5, p.repeatEvery());

    Send(p.startChoice(), wxEVT_CHOICE, wxNOT_FOUND);
    Send(p.repeatChoice(), wxEVT_RADIOBOX, 3);
    EXPECT_EQ(40, p.start());
    EXPECT_EQ(5, p.repeatEvery());
}

TEST_F(Settings, QualitySliderSetsLabelAndBitrateAndOnlyMp3UsesIt) {
    // A drag, its final event and a click on the track all count.
    const struct {
        int position;
        wxEventType event;
        const char* label;
        int kbits;
    } steps[] = {{0, wxEVT_SCROLL_THUMBTRACK, "64 kbits", 64},
                 {9, wxEVT_SCROLL_PAGEUP, "320 kbits", 320},
                 {5, wxEVT_SCROLL_CHANGED, "160 kbits", 160}};
    for (const auto& step : steps) {
        Slide(p.quality(), step.position, step.event);
        EXPECT_EQ(step.label, p.qualityLabel()->GetLabel());
        EXPECT_EQ(step.kbits, p.bitrate());
    }
    // WAV and AIFF disable the slider and leave its position, label and bitrate.
    for (wxRadioButton* button : {p.wav(), p.aiff(), p.mp3()}) {
        button->SetValue(true);
        Send(button, wxEVT_RADIOBUTTON, 1);
        EXPECT_EQ(button->GetLabel().Upper(), p.format());
        EXPECT_EQ(button == p.mp3(), p.quality()->IsEnabled());
        EXPECT_EQ(5, p.quality()->GetValue());
        EXPECT_EQ("160 kbits", p.qualityLabel()->GetLabel());
        EXPECT_EQ(160, p.bitrate());
    }
}

TEST_F(Settings, FolderDialogOpensAtHomeEachTimeAndOnlyOkChangesTheFolder) {
    const wxString chosen = Wx(Work("Rock & Roll"));
    ASSERT_TRUE(wxMkdir(chosen));
    wxString openedAt;

    wxTEST_DIALOG(Click(p.outputFolderButton()), ExpectFolderDialog(wxID_CANCEL, "", &openedAt));
    EXPECT_EQ(Wx(Home()), openedAt);
    EXPECT_EQ("", p.outputFolder());
    EXPECT_EQ("No Output Selected", p.outputFolderLabel()->GetLabel());

    wxTEST_DIALOG(Click(p.outputFolderButton()), ExpectFolderDialog(wxID_OK, chosen, &openedAt));
    EXPECT_EQ(chosen, p.outputFolder());
    // Shown as it is: the ampersand is not taken for a mnemonic.
    EXPECT_EQ(chosen, p.outputFolderLabel()->GetLabelText());

    wxTEST_DIALOG(Click(p.outputFolderButton()), ExpectFolderDialog(wxID_CANCEL, "", &openedAt));
    EXPECT_EQ(Wx(Home()), openedAt);
    EXPECT_EQ(chosen, p.outputFolder());
    EXPECT_EQ(chosen, p.outputFolderLabel()->GetLabelText());
}

} // namespace
