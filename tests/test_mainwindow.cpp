// The main window as it opens, what its settings controls give a run, and
// start-up from the bundle (built or installed).
#include "testutil.h"

#include "VelistoGen.h"

namespace {

class MainWindowTest : public WindowTest {};

TEST_F(MainWindowTest, OpensAt929By670WithEveryControlInside) {
    EXPECT_EQ(wxSize(929, 670), w->GetSize());
    Pump(100);
    const wxSize client = w->GetClientSize();
    for (wxWindow* child : w->GetChildren()) {
        if (!child->IsShown() || child->GetId() == ID_MEDIA_CTRL)
            continue;
        const wxRect r = child->GetRect();
        SCOPED_TRACE(child->GetClassInfo()->GetClassName() + wxString(" ") + child->GetLabel());
        EXPECT_LE(r.GetRight(), client.GetWidth());
        EXPECT_LE(r.GetBottom(), client.GetHeight());
        // Not squeezed below what it needs to show its text.
        EXPECT_GE(r.GetWidth(), child->GetBestSize().GetWidth());
    }
}

// The labels come from the layout, the values from the settings tables: they must agree.
TEST_F(MainWindowTest, EverySettingControlGivesWhatItsLabelSays) {
    for (unsigned i = 0; i < p.startChoice()->GetCount(); ++i) {
        p.startChoice()->SetSelection(i);
        const wxString label = p.startChoice()->GetString(i);
        EXPECT_EQ(label == "Immediately" ? 0 : wxAtoi(label), p.preset().start) << label;
    }
    for (unsigned i = 0; i < p.repeatChoice()->GetCount(); ++i) {
        p.repeatChoice()->SetSelection(i);
        EXPECT_EQ(wxAtoi(p.repeatChoice()->GetString(i)), p.preset().interval);
    }
    for (int position = p.quality()->GetMin(); position <= p.quality()->GetMax(); ++position) {
        Slide(p.quality(), position);
        EXPECT_EQ(wxString::Format("%d kbits", p.preset().bitrate), p.qualityLabel()->GetLabel());
    }
    // Only MP3 uses the slider; the others leave its position for a return to MP3.
    Slide(p.quality(), 5);
    for (wxRadioButton* format : {p.wav(), p.aiff(), p.mp3()}) {
        format->SetValue(true);
        Send(format, wxEVT_RADIOBUTTON, 1);
        EXPECT_EQ(format->GetLabel().Lower(), FormatExtension(p.preset().format));
        EXPECT_EQ(format == p.mp3(), p.quality()->IsEnabled());
        EXPECT_EQ(160, p.preset().bitrate);
    }
    p.affixText()->SetValue("x_");
    for (int suffix : {0, 1}) {
        p.affixChoice()->SetSelection(suffix);
        const RenderSettings settings = SettingsFromPreset(p.preset());
        EXPECT_EQ(suffix ? "x_" : "", settings.suffix);
        EXPECT_EQ(suffix ? "" : "x_", settings.prefix);
    }
}

TEST(BundleStart, EntersTheFolderThatHoldsTheBundle) {
    TempDir dir;
    const wxString old = wxGetCwd();
    ASSERT_EQ(0, Shell("mkdir -p " + ShellQuote(dir / "a b/Velisto.app/Contents/MacOS")));
    EXPECT_TRUE(EnterBundleFolder(dir / "a b/Velisto.app/Contents/MacOS/velisto"));
    EXPECT_EQ(Wx(dir / "a b"), wxGetCwd());
    EXPECT_FALSE(EnterBundleFolder(dir / "bin/velisto"));
    EXPECT_EQ(Wx(dir / "a b"), wxGetCwd());

    // Installed: the program in PREFIX/bin, the bundle in PREFIX/share/velisto.
    ASSERT_EQ(0, Shell("mkdir -p " + ShellQuote(dir / "usr/bin") + " " +
                       ShellQuote(dir / "usr/share/velisto/Velisto.app")));
    EXPECT_TRUE(EnterBundleFolder(dir / "usr/bin/velisto"));
    EXPECT_EQ(Wx(dir / "usr/share/velisto"), wxGetCwd());
    wxSetWorkingDirectory(old);
}

} // namespace
