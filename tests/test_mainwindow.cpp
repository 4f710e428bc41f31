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
    // It cannot be made smaller than that, and it carries the program's icon.
    w->SetSize(87, 170);
    EXPECT_EQ(wxSize(929, 670), w->GetSize());
    EXPECT_FALSE(w->GetIcons().IsEmpty());
}

class BundleStart : public BundleTest {};

TEST_F(BundleStart, EntersTheFolderThatHoldsTheBundle) {
    MakeFolders({"a b/Velisto.app/Contents/MacOS", "usr/bin", "usr/share/velisto/Velisto.app"});
    EXPECT_TRUE(EnterBundleFolder(Work("a b/Velisto.app/Contents/MacOS/velisto")));
    EXPECT_EQ(Wx(Work("a b")), wxGetCwd());
    EXPECT_FALSE(EnterBundleFolder(Work("bin/velisto")));
    EXPECT_EQ(Wx(Work("a b")), wxGetCwd());
    // Installed: the program in PREFIX/bin, the bundle in PREFIX/share/velisto.
    EXPECT_TRUE(EnterBundleFolder(Work("usr/bin/velisto")));
    EXPECT_EQ(Wx(Work("usr/share/velisto")), wxGetCwd());
}

// Asked for its usage where there is no display (over SSH, in a script),
// the program answers instead of failing to start the toolkit.
TEST(CommandLine, HelpIsAnsweredWithoutADisplay) {
    const std::string program = ShellQuote(VELISTO_BUNDLE_DIR "/Contents/MacOS/velisto");
    for (const char* ask : {"--help", "-h", "--verbose --help"}) {
        SCOPED_TRACE(ask);
        std::string out;
        EXPECT_EQ(0, Shell("env -u DISPLAY -u WAYLAND_DISPLAY " + program + " " + ask, &out));
        EXPECT_EQ(0u, out.find("Usage: velisto [-h] [--verbose]\n")) << out;
        EXPECT_NE(std::string::npos, out.find("--verbose \tgenerate verbose log messages"));
    }
    // Anything else still needs one, and says so.
    std::string out;
    EXPECT_NE(0, Shell("env -u DISPLAY -u WAYLAND_DISPLAY " + program, &out));
    EXPECT_NE(std::string::npos, out.find("Unable to initialize GTK+")) << out;
}

} // namespace
