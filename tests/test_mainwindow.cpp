// The main window as it opens, its layout when resized, and start-up from the bundle
// (built or installed).
#include "testutil.h"

#include "VelistoGen.h"

namespace {

class MainWindowTest : public WindowTest {};

TEST_F(MainWindowTest, OpensWithEveryControlInItsInitialState) {
    EXPECT_EQ("Fenwaro Watermark Generator V1.01", w->GetTitle());
    EXPECT_EQ(wxSize(929, 670), w->GetSize());
    EXPECT_EQ(170, w->GetMinSize().GetHeight());
    EXPECT_TRUE(p.logo()->GetBitmap().IsOk());

    for (wxListCtrl* list : {p.tracks(), p.watermarks()}) {
        EXPECT_EQ(0, list->GetItemCount());
        ASSERT_EQ(4, list->GetColumnCount());
        const char* titles[] = {"", "FileName", "Size", "Length"};
        for (int c = 0; c < 4; ++c) {
            wxListItem column;
            column.SetMask(wxLIST_MASK_TEXT);
            list->GetColumn(c, column);
            EXPECT_EQ(titles[c], column.GetText());
        }
    }
    EXPECT_EQ(500, p.tracks()->GetColumnWidth(1));
    EXPECT_EQ(200, p.watermarks()->GetColumnWidth(1));

    EXPECT_EQ("5 Seconds", p.startChoice()->GetStringSelection());
    EXPECT_EQ("5 Sec", p.repeatChoice()->GetStringSelection());
    EXPECT_TRUE(p.mp3()->GetValue());
    EXPECT_FALSE(p.mono()->GetValue() || p.merge()->GetValue());
    EXPECT_EQ(9, p.quality()->GetMax());
    EXPECT_EQ(9, p.quality()->GetValue());
    EXPECT_TRUE(p.quality()->IsEnabled());
    EXPECT_EQ("320 kbits", p.qualityLabel()->GetLabel());
    EXPECT_EQ("No Output Selected", p.outputFolderLabel()->GetLabel());
    EXPECT_EQ("Choose Suffix", p.affixChoice()->GetStringSelection());
    EXPECT_EQ("", p.affixText()->GetValue());
    EXPECT_EQ(100, p.volume()->GetValue());
    EXPECT_EQ(wxMEDIASTATE_STOPPED, p.media()->GetState());
    EXPECT_EQ("GO!", p.go()->GetLabel());

    // What a run would use before any control is touched.
    EXPECT_EQ(5, p.start());
    EXPECT_EQ(5, p.repeatEvery());
    EXPECT_EQ(320, p.bitrate());
    EXPECT_EQ("MP3", p.format());
    EXPECT_EQ("", p.outputFolder());
}

TEST_F(MainWindowTest, EveryControlFitsAndExtraHeightGoesToTheTrackList) {
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

    const int logoTop = p.logo()->GetPosition().y;
    const int trackHeight = p.tracks()->GetSize().GetHeight();
    EXPECT_EQ(85, p.watermarks()->GetSize().GetHeight());
    w->SetSize(wxSize(929, 900));
    w->Layout();
    Pump(50);
    EXPECT_EQ(logoTop, p.logo()->GetPosition().y);
    EXPECT_GT(p.tracks()->GetSize().GetHeight(), trackHeight);
    EXPECT_EQ(85, p.watermarks()->GetSize().GetHeight());
    EXPECT_LE(p.go()->GetRect().GetBottom(), w->GetClientSize().GetHeight());
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
