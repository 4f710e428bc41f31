// The results dialog: its layout, the order of its lines and its two buttons.
#include "testutil.h"

#include <wx/app.h>

#include <fstream>

namespace {

// Records the folders the dialog would open instead of opening them.
struct OpenedFolders {
    OpenedFolders() : saved(ProcessCompleteImp::s_openFolder) {
        ProcessCompleteImp::s_openFolder = [this](const wxString& f) { folders.Add(f); };
    }
    ~OpenedFolders() { ProcessCompleteImp::s_openFolder = saved; }
    wxArrayString folders;
    std::function<void(const wxString&)> saved;
};

TEST(ResultsDialog, ListsTheLastTrackFirstAndOpensTheFolderAsItIs) {
    OpenedFolders opened;
    {
        ProcessCompleteImp dialog(Strings({"first.mp3: Process completed successfully",
                                           "second.mp3: sox FAIL formats: can't open input file",
                                           "third.mp3: Process completed successfully"}),
                                  "/home/me/My Music/out 2", nullptr, wxID_ANY, "Process Completed",
                                  wxDefaultPosition, wxDefaultSize,
                                  wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
        ResultsProbe p(dialog);
        EXPECT_EQ(wxSize(756, 308), dialog.GetSize());
        EXPECT_EQ("Process completed with the following results :", p.label()->GetLabel());
        EXPECT_EQ("Go to output folder", p.goToFolder()->GetLabel());
        EXPECT_EQ("Close", p.close()->GetLabel());
        wxListItem column;
        column.SetMask(wxLIST_MASK_TEXT);
        ASSERT_TRUE(p.list()->GetColumn(0, column));
        EXPECT_EQ("Information", column.GetText());
        EXPECT_EQ(Strings({"third.mp3: Process completed successfully",
                           "second.mp3: sox FAIL formats: can't open input file",
                           "first.mp3: Process completed successfully"}),
                  p.lines());
        // The list takes the spare room; the buttons share the bottom row.
        dialog.Layout();
        EXPECT_GT(p.list()->GetSize().GetHeight(), 100);
        EXPECT_EQ(p.goToFolder()->GetPosition().y, p.close()->GetPosition().y);

        // The folder button leaves the dialog open; Close closes it.
        dialog.Show();
        Click(p.goToFolder());
        Click(p.goToFolder());
        EXPECT_EQ(Strings({"/home/me/My Music/out 2", "/home/me/My Music/out 2"}), opened.folders);
        EXPECT_TRUE(dialog.IsShown());
        Click(p.close());
        EXPECT_FALSE(dialog.IsShown());
    }
    wxTheApp->ProcessPendingEvents();
}

TEST(ResultsDialog, TheDesktopsOpenerGetsTheFolderAsOneArgument) {
    // A stand-in xdg-open, found first on PATH, writes down what it was given.
    TempDir dir;
    const std::string record = dir / "opened";
    ASSERT_EQ(0, Shell("mkdir " + ShellQuote(dir / "bin")));
    {
        std::ofstream script(dir / "bin/xdg-open");
        script << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > " << ShellQuote(record + ".part")
               << " && mv " << ShellQuote(record + ".part") << " " << ShellQuote(record) << "\n";
    }
    ASSERT_EQ(0, Shell("chmod +x " + ShellQuote(dir / "bin/xdg-open")));
    wxString oldPath;
    wxGetEnv("PATH", &oldPath);
    wxSetEnv("PATH", Wx(dir / "bin") + ":" + oldPath);

    const std::string folder = dir / "My Music/out 2";
    ASSERT_EQ(0, Shell("mkdir -p " + ShellQuote(folder)));
    ProcessCompleteImp::s_openFolder(Wx(folder));
    const bool ran = WaitUntil([&] { return wxFileExists(Wx(record)); }, 10000);
    wxSetEnv("PATH", oldPath);
    ASSERT_TRUE(ran);
    EXPECT_EQ("1\n" + folder + "\n", Contents(record));
}

} // namespace
