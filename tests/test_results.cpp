// The results dialog: its layout, the order of its lines and its two buttons.
#include "testutil.h"

#include <wx/app.h>

#include <fstream>

namespace {

class ResultsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedOpener = ProcessCompleteImp::s_openFolder;
        ProcessCompleteImp::s_openFolder = [this](const wxString& f) { m_opened.Add(f); };
    }
    void TearDown() override {
        ProcessCompleteImp::s_openFolder = m_savedOpener;
        wxTheApp->ProcessPendingEvents();
    }

    static void Click(wxButton* button) {
        wxCommandEvent click(wxEVT_BUTTON, button->GetId());
        click.SetEventObject(button);
        button->ProcessWindowEvent(click);
    }

    wxArrayString m_opened;
    std::function<void(const wxString&)> m_savedOpener;
};

wxArrayString Lines(std::initializer_list<const char*> texts) {
    wxArrayString lines;
    for (const char* t : texts)
        lines.Add(t);
    return lines;
}

TEST_F(ResultsDialog, ListsTheLastProcessedTrackFirst) {
    ProcessCompleteImp dialog(Lines({"first.mp3: Process completed successfully",
                                     "second.mp3: sox FAIL formats: can't open input file",
                                     "third.mp3: Process completed successfully"}),
                              "/out", nullptr, wxID_ANY, "Process Completed", wxDefaultPosition,
                              wxDefaultSize, wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    ResultsProbe p(dialog);
    EXPECT_EQ("Process Completed", dialog.GetTitle());
    EXPECT_EQ(wxSize(756, 308), dialog.GetSize());
    EXPECT_EQ("Process completed with the following results :", p.label()->GetLabel());
    EXPECT_EQ("Go to output folder", p.goToFolder()->GetLabel());
    EXPECT_EQ("Close", p.close()->GetLabel());
    EXPECT_TRUE(p.list()->HasFlag(wxLC_REPORT));
    ASSERT_EQ(1, p.list()->GetColumnCount());
    wxListItem column;
    column.SetMask(wxLIST_MASK_TEXT);
    p.list()->GetColumn(0, column);
    EXPECT_EQ("Information", column.GetText());
    EXPECT_EQ(500, p.list()->GetColumnWidth(0));
    EXPECT_EQ(Lines({"third.mp3: Process completed successfully",
                     "second.mp3: sox FAIL formats: can't open input file",
                     "first.mp3: Process completed successfully"}),
              p.lines());

    // The list takes the spare room; the buttons share the bottom row.
    dialog.Layout();
    EXPECT_GT(p.list()->GetSize().GetHeight(), 100);
    EXPECT_EQ(p.goToFolder()->GetPosition().y, p.close()->GetPosition().y);
    EXPECT_GT(p.goToFolder()->GetSize().GetWidth(), p.close()->GetSize().GetWidth());
}

TEST_F(ResultsDialog, NoResultsShowOnlyTheHeading) {
    ProcessCompleteImp dialog(wxArrayString(), "/out", nullptr, wxID_ANY, "Process Completed",
                              wxDefaultPosition, wxDefaultSize,
                              wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    ResultsProbe p(dialog);
    EXPECT_EQ(0, p.list()->GetItemCount());
    EXPECT_EQ(1, p.list()->GetColumnCount());
}

TEST_F(ResultsDialog, GoToOutputFolderOpensTheFolderAsItIsAndStaysOpen) {
    ProcessCompleteImp dialog(Lines({"a.mp3: Process completed successfully"}),
                              "/home/me/My Music/out 2", nullptr, wxID_ANY, "Process Completed",
                              wxDefaultPosition, wxDefaultSize,
                              wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    dialog.Show();
    ResultsProbe p(dialog);
    Click(p.goToFolder());
    Click(p.goToFolder());
    EXPECT_EQ(Lines({"/home/me/My Music/out 2", "/home/me/My Music/out 2"}), m_opened);
    EXPECT_TRUE(dialog.IsShown());
    EXPECT_EQ(1, p.list()->GetItemCount());

    Click(p.close());
    EXPECT_FALSE(dialog.IsShown());
}

TEST(ResultsDialogOpener, TheDesktopsOpenerGetsTheFolderAsOneArgument) {
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
    wxSetEnv("PATH", wxString::FromUTF8(dir / "bin") + ":" + oldPath);

    const std::string folder = dir / "My Music/out 2";
    ASSERT_EQ(0, Shell("mkdir -p " + ShellQuote(folder)));
    ProcessCompleteImp::s_openFolder(wxString::FromUTF8(folder));
    const bool ran = WaitUntil([&] { return wxFileExists(wxString::FromUTF8(record)); }, 10000);
    wxSetEnv("PATH", oldPath);
    ASSERT_TRUE(ran);
    std::string text;
    ASSERT_EQ(0, Shell("cat " + ShellQuote(record), &text));
    EXPECT_EQ("1\n" + folder + "\n", text);
}

} // namespace
