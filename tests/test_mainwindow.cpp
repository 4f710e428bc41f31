// The main window as it opens, what its settings controls give a run, and
// start-up from the bundle (built or installed).
#include "testutil.h"

#include "VelistoGen.h"
#include "WaveformStrip.h"

#include <wx/statbox.h>

#include <vector>

namespace {

// Every shown control lies inside the window's client area, at no less
// than the size its sizer must give it, and none covers another.
void ExpectEveryControlWhole(wxFrame* frame) {
    const wxSize client = frame->GetClientSize();
    std::vector<wxWindow*> controls;
    for (wxWindow* child : frame->GetChildren()) {
        if (!child->IsShown() || child->GetId() == ID_MEDIA_CTRL || dynamic_cast<wxMenuBar*>(child))
            continue;
        const wxRect r = child->GetRect();
        SCOPED_TRACE(child->GetClassInfo()->GetClassName() + wxString(" ") + child->GetLabel());
        EXPECT_GE(r.x, 0);
        EXPECT_GE(r.y, 0);
        EXPECT_LT(r.GetRight(), client.x);
        EXPECT_LT(r.GetBottom(), client.y);
        // Not squeezed below what it needs to show its text.
        EXPECT_GE(r.width, child->GetEffectiveMinSize().x);
        EXPECT_GE(r.height, child->GetEffectiveMinSize().y);
        // A group box surrounds its controls.
        if (!dynamic_cast<wxStaticBox*>(child))
            controls.push_back(child);
    }
    for (size_t i = 0; i < controls.size(); ++i) {
        for (size_t j = i + 1; j < controls.size(); ++j)
            EXPECT_FALSE(controls[i]->GetRect().Intersects(controls[j]->GetRect()))
                << controls[i]->GetLabel() << " / " << controls[j]->GetLabel();
    }
}

// Runs openbox on the test's display while it exists, unless a window
// manager runs there already (make test starts one for all the tests).
class WindowManager {
public:
    WindowManager() {
        const std::string display = "id=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | "
                                    "sed -n 's/.*window id # //p') && [ -n \"$id\" ] && "
                                    "xprop -id \"$id\" >/dev/null 2>&1";
        if (Shell(display) == 0)
            return;
        const std::string ready = m_dir / "ready";
        std::string pid;
        if (Shell("openbox --sm-disable --startup 'touch " + ready + "' >" +
                      ShellQuote(m_dir / "log") + " 2>&1 & echo $!",
                  &pid) != 0)
            return;
        m_pid = std::stoi(pid);
        WaitUntil([&] { return wxFileExists(Wx(ready)); }, 10000);
    }
    ~WindowManager() {
        if (m_pid > 0)
            Shell("kill " + std::to_string(m_pid) + " && while kill -0 " + std::to_string(m_pid) +
                  " 2>/dev/null; do sleep 0.05; done");
    }

private:
    TempDir m_dir;
    int m_pid = 0;
};

class UnderAWindowManager : public BundleTest {
protected:
    // Waits for the window manager to take its title bar out of the window.
    static bool Framed(CMainFormImp& w) {
        const int menu = w.GetMenuBar()->GetSize().y;
        return WaitUntil([&] { return w.GetSize().y - w.GetClientSize().y > menu; }, 10000);
    }
};

// A window manager takes the title bar and borders out of the opening size:
// the window must still fit in what is left, without a complaint from the
// toolkit, and give what it gains when enlarged to the lists and the strip.
TEST_F(UnderAWindowManager, TheWindowFitsItsFrameAndGivesExtraSizeToTheListsAndTheStrip) {
    WindowManager manager;
    MainWindow w;
    Probe p(*w);
    ASSERT_TRUE(Framed(*w)) << "no window manager framed the window";
    Pump(200);
    EXPECT_EQ(wxSize(929, 670), w->GetSize());
    EXPECT_EQ(wxSize(929, 670), w->GetMinSize());
    EXPECT_FALSE(w->GetIcons().IsEmpty());
    {
        SCOPED_TRACE("opening size");
        ExpectEveryControlWhole(w.get());
    }

    const wxSize client = w->GetClientSize();
    const wxRect tracks = p.tracks()->GetRect(), marks = p.watermarks()->GetRect(),
                 strip = p.strip()->GetRect(), go = p.go()->GetRect(),
                 quality = p.quality()->GetRect();
    w->SetSize(1250, 960);
    ASSERT_TRUE(WaitUntil([&] { return w->GetSize() == wxSize(1250, 960); }, 10000));
    Pump(200);
    {
        SCOPED_TRACE("enlarged");
        ExpectEveryControlWhole(w.get());
    }
    const wxSize grown = w->GetClientSize() - client;
    ASSERT_EQ(wxSize(1250 - 929, 960 - 670), grown);
    // The track list starts where it did: no band opens above it.
    EXPECT_EQ(tracks.y, p.tracks()->GetRect().y);
    EXPECT_EQ(tracks.width + grown.x, p.tracks()->GetRect().width);
    EXPECT_GE(p.tracks()->GetRect().height, tracks.height + grown.y / 3);
    EXPECT_GE(p.watermarks()->GetRect().height, marks.height + grown.y / 4);
    EXPECT_GT(p.strip()->GetRect().height, strip.height);
    EXPECT_EQ(strip.width + grown.x, p.strip()->GetRect().width);
    // Step 2 and step 3 both widen, GO! staying at the right edge.
    EXPECT_GT(p.watermarks()->GetRect().width, marks.width + grown.x / 4);
    EXPECT_GT(p.quality()->GetRect().width, quality.width + grown.x / 4);
    EXPECT_EQ(client.x - go.GetRight(), w->GetClientSize().x - p.go()->GetRect().GetRight());

    // A long output folder is shortened in its label, not given more width;
    // the window goes no smaller than it opened.
    w->SetSize(87, 170);
    ASSERT_TRUE(WaitUntil([&] { return w->GetSize() == wxSize(929, 670); }, 10000));
    p.setFolder("/home/me/" + std::string(200, 'x') + "/previews");
    Pump(200);
    SCOPED_TRACE("long folder");
    ExpectEveryControlWhole(w.get());
}

// While added files are measured, their count and its Stop button join the
// track list's buttons at the right: the window keeps its size, every
// control whole.
TEST_F(UnderAWindowManager, TheMeasuringCountAndStopFitBesideTheTrackButtons) {
    WindowManager manager;
    MainWindow w;
    Probe p(*w);
    ASSERT_TRUE(Framed(*w)) << "no window manager framed the window";
    // Near a whole second, so that each is decoded to be measured: a while to measure.
    MakeTone(Work("slow.mp3"), 4, "sine 440", 44100, 1);
    CopyFile(Work("slow.mp3"), Work("in"), "slow", 40);
    wxArrayString paths;
    for (int i = 1; i <= 40; ++i)
        paths.Add(Wx(Work("in/slow" + std::to_string(i) + ".mp3")));
    w->OnFileListDropFiles(paths);
    Pump(100);
    ASSERT_TRUE(p.measureLabel()->IsShown());
    EXPECT_EQ(wxSize(929, 670), w->GetSize());
    ExpectEveryControlWhole(w.get());
    const wxRect label = p.measureLabel()->GetRect(), stop = p.measureStop()->GetRect(),
                 clear = p.trackClear()->GetRect();
    EXPECT_GT(label.x, clear.GetRight());
    EXPECT_GT(stop.x, label.GetRight());
    EXPECT_EQ(clear.y, stop.y);
    EXPECT_TRUE(label.Intersects(wxRect(0, clear.y, w->GetClientSize().x, clear.height)));
    // Room for any count a user would add.
    EXPECT_LT(p.measureLabel()->GetTextExtent("Measuring 99999 of 99999").x,
              stop.x - clear.GetRight() - 10);
    EXPECT_TRUE(Measured(p));
    EXPECT_FALSE(p.measureLabel()->IsShown());
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
