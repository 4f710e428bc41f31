// The recipients dialog behind step 3's button, and identifying a leaked
// copy from the Tools menu.
#include "testutil.h"

#include "RecipientsDlgImp.h"

#include <wx/filedlg.h>
#include <wx/progdlg.h>
#include <wx/weakref.h>

#include <atomic>
#include <fstream>

template <> struct RecipientsDialogProbe<void> {
    RecipientsDlgImp* d;
    wxTextCtrl* text() const { return d->m_listText; }
    wxButton* load() const { return d->m_loadButton; }
    wxRadioButton* folder() const { return d->m_folderRadio; }
    wxRadioButton* fileName() const { return d->m_fileNameRadio; }
    wxCheckBox* spoken() const { return d->m_spokenCheckBox; }
};

namespace {

using DialogProbe = RecipientsDialogProbe<void>;

// The recipients dialog, opened by the window's button: answer acts on it
// and returns what ShowModal would.
Answer<RecipientsDlgImp> RecipientsExpect(std::function<int(const DialogProbe&)> answer) {
    return Answer<RecipientsDlgImp>(
        [answer](RecipientsDlgImp* dialog) { return answer(DialogProbe{dialog}); });
}

// A file dialog with this message, answered with path (Cancel when empty).
Answer<wxFileDialog> FileExpect(const wxString& message, const wxString& path) {
    return Answer<wxFileDialog>([=](wxFileDialog* dialog) {
        EXPECT_EQ(message, dialog->GetMessage());
        if (path.empty())
            return static_cast<int>(wxID_CANCEL);
        dialog->SetPath(path);
        // GTK's chooser selects the file once it has read its folder.
        EXPECT_TRUE(WaitUntil([&] { return dialog->GetPath() == path; }, 5000));
        return static_cast<int>(wxID_OK);
    });
}

// A message box with this text and icon.
Answer<wxMessageDialog> BoxExpect(const wxString& text, long icon) {
    return Answer<wxMessageDialog>([=](wxMessageDialog* dialog) {
        EXPECT_EQ(text, dialog->GetMessage());
        EXPECT_EQ(icon, dialog->GetMessageDialogStyle() & wxICON_MASK);
        return static_cast<int>(wxID_OK);
    });
}

// "name|id" of each recipient, one a line.
wxString Listed(const std::vector<Recipient>& list) {
    wxString text;
    for (const Recipient& recipient : list)
        text += recipient.name + "|" + recipient.id + "\n";
    return text;
}

class RecipientsWindow : public WindowTest {};

// GO! with recipients: each gets the track in a folder of their own, and
// the results end with the manifest; merging is refused with them.
TEST_F(RecipientsWindow, GoMakesEveryRecipientTheirCopyAndTheManifest) {
    MakeTone(Work("beep.wav"), 0.5, "sine 1000 vol 0.5", 8000, 1);
    MakeTone(Work("in/song.wav"), 20, "sine 220 vol 0.3", 8000, 1);
    w->OnFileListDropFiles(Files({"in/song.wav"}));
    w->OnWatermarkListDropFiles(Files({"beep.wav"}));
    ASSERT_TRUE(Measured(p));
    p.setFolder(Work("out"));
    p.wav()->SetValue(true);
    wxTEST_DIALOG(Click(p.recipients()), RecipientsExpect([](const DialogProbe& d) {
                      d.text()->SetValue("Ann, A1\nBo\n");
                      EXPECT_TRUE(d.d->TransferDataFromWindow());
                      return static_cast<int>(wxID_OK);
                  }));
    p.merge()->SetValue(true);
    wxTEST_DIALOG(Click(p.go()),
                  MessageExpect("Recipients get a copy of every track each: turn off merging to "
                                "make their copies."));
    p.merge()->SetValue(false);
    wxArrayString results;
    wxTEST_DIALOG(Click(p.go()), ResultsExpect(&results));
    // Newest first, as the results list shows every run.
    EXPECT_EQ(Strings({"Process Completed", Wx(Work("out")),
                       "manifest.json: lists 2 copies written for 2 recipients.",
                       "song.wav for Bo: Process completed successfully",
                       "song.wav for Ann: Process completed successfully"}),
              results);
    EXPECT_EQ("Ann\nBo\nmanifest.json\n", Listing(Work("out")));
}

TEST_F(RecipientsWindow, TypedRecipientsGoIntoTheRunAndShowAgainAsTyped) {
    EXPECT_EQ("No recipients", p.recipientsLabel()->GetLabel());
    EXPECT_TRUE(p.runSettings().recipients.list.empty());
    // A name holding a comma is quoted, as CSV reads it back.
    const wxString typed = Wx("Ann Smith, A1\n\n\"Lee, Jr.\" , B2\nZoë\n");
    wxTEST_DIALOG(Click(p.recipients()), RecipientsExpect([&](const DialogProbe& d) {
                      EXPECT_EQ("", d.text()->GetValue());
                      EXPECT_TRUE(d.folder()->GetValue());
                      d.text()->SetValue(typed);
                      d.fileName()->SetValue(true);
                      EXPECT_TRUE(d.d->TransferDataFromWindow());
                      return static_cast<int>(wxID_OK);
                  }));
    EXPECT_EQ("3 recipients", p.recipientsLabel()->GetLabel());
    const RecipientOptions chosen = p.runSettings().recipients;
    EXPECT_EQ(Wx("Ann Smith|A1\nLee, Jr.|B2\nZoë|\n"), Listed(chosen.list));
    EXPECT_EQ(RecipientNaming::FileName, chosen.naming);
    EXPECT_FALSE(chosen.spoken);

    // Opened again it shows what was chosen; Cancel keeps it.
    wxTEST_DIALOG(Click(p.recipients()), RecipientsExpect([](const DialogProbe& d) {
                      EXPECT_EQ(Wx("Ann Smith, A1\n\"Lee, Jr.\", B2\nZoë\n"), d.text()->GetValue());
                      EXPECT_TRUE(d.fileName()->GetValue());
                      d.text()->SetValue("");
                      return static_cast<int>(wxID_CANCEL);
                  }));
    EXPECT_EQ("3 recipients", p.recipientsLabel()->GetLabel());

    // A list that cannot be used is refused with the line that is wrong, and
    // the dialog stays open: nothing changes.
    wxTEST_DIALOG(Click(p.recipients()), RecipientsExpect([](const DialogProbe& d) {
                      d.text()->SetValue("Ann\n, X9\n");
                      EXPECT_FALSE(d.d->TransferDataFromWindow());
                      return static_cast<int>(wxID_CANCEL);
                  }),
                  MessageExpect("The recipients cannot be used. Line 2: a recipient needs a name."));
    EXPECT_EQ(3u, p.runSettings().recipients.list.size());

    // An empty list is an ordinary run again.
    wxTEST_DIALOG(Click(p.recipients()), RecipientsExpect([](const DialogProbe& d) {
                      d.text()->SetValue("");
                      EXPECT_TRUE(d.d->TransferDataFromWindow());
                      return static_cast<int>(wxID_OK);
                  }));
    EXPECT_EQ("No recipients", p.recipientsLabel()->GetLabel());
    EXPECT_TRUE(p.runSettings().recipients.list.empty());
}

TEST_F(RecipientsWindow, ACsvFileFillsTheListAndOneThatCannotBeUsedSaysWhy) {
    const std::string good = Work("in/clients list.csv"), bad = Work("in/twice.csv");
    std::ofstream(good) << "name,id\r\nAnn Smith,A1\r\n\"O'Neil, Pat\",\"B \"\"2\"\"\"\r\n";
    std::ofstream(bad) << "Ann\nBo,7\nAnn,9\n";
    std::vector<Recipient> unused;
    wxString badError;
    ASSERT_FALSE(ReadRecipients(Wx(bad), unused, badError));

    wxTEST_DIALOG(Click(p.recipients()), RecipientsExpect([&](const DialogProbe& d) {
                      d.text()->SetValue("Someone typed\n");
                      // Refused: what was typed stays.
                      Click(d.load());
                      EXPECT_EQ("Someone typed\n", d.text()->GetValue());
                      Click(d.load());
                      EXPECT_EQ("Ann Smith, A1\n\"O'Neil, Pat\", \"B \"\"2\"\"\"\n",
                                d.text()->GetValue());
                      // Cancelled: the file's list stays.
                      Click(d.load());
                      EXPECT_TRUE(d.d->TransferDataFromWindow());
                      return static_cast<int>(wxID_OK);
                  }),
                  FileExpect("Choose a recipients file", Wx(bad)), MessageExpect(badError),
                  FileExpect("Choose a recipients file", Wx(good)),
                  FileExpect("Choose a recipients file", ""));
    EXPECT_EQ("2 recipients", p.recipientsLabel()->GetLabel());
    EXPECT_EQ("Ann Smith|A1\nO'Neil, Pat|B \"2\"\n", Listed(p.runSettings().recipients.list));
}

// Without espeak-ng the spoken tag cannot be asked for, and its tip says
// what to install; with it, it can.
TEST_F(RecipientsWindow, TheSpokenTagNeedsEspeak) {
    wxString path;
    wxGetEnv("PATH", &path);
    wxSetEnv("PATH", Wx(Work("in")));
    const wxString missing = MissingSpeechReason();
    wxTEST_DIALOG(Click(p.recipients()), RecipientsExpect([&](const DialogProbe& d) {
                      EXPECT_FALSE(d.spoken()->IsEnabled());
                      EXPECT_EQ(missing, d.spoken()->GetToolTipText());
                      d.text()->SetValue("Ann");
                      EXPECT_TRUE(d.d->TransferDataFromWindow());
                      return static_cast<int>(wxID_OK);
                  }));
    wxSetEnv("PATH", path);
    EXPECT_FALSE(missing.empty());
    EXPECT_FALSE(p.runSettings().recipients.spoken);
    if (!MissingSpeechReason().empty())
        GTEST_SKIP() << "espeak-ng is not installed";
    wxTEST_DIALOG(Click(p.recipients()), RecipientsExpect([&](const DialogProbe& d) {
                      EXPECT_TRUE(d.spoken()->IsEnabled());
                      d.spoken()->SetValue(true);
                      EXPECT_TRUE(d.d->TransferDataFromWindow());
                      return static_cast<int>(wxID_OK);
                  }));
    EXPECT_TRUE(p.runSettings().recipients.spoken);
    EXPECT_EQ("1 recipient", p.recipientsLabel()->GetLabel());
}

// Tools > Identify a leaked copy: the copy, then the manifest, and the
// answer told once the worker has it.
class LeakWindow : public WindowTest {
protected:
    void TearDown() override {
        LeakCheck::s_identify = IdentifyCopy;
        WindowTest::TearDown();
    }
    void ChooseIdentify() {
        const int id = w->GetMenuBar()->FindMenuItem("&Tools", "Identify a leaked copy...");
        ASSERT_NE(wxNOT_FOUND, id);
        EXPECT_TRUE(w->ProcessCommand(id));
    }
    // The progress dialog shown while it works, or null.
    static wxGenericProgressDialog* Progress() {
        for (wxWindow* window : wxTopLevelWindows) {
            if (auto* dialog = dynamic_cast<wxGenericProgressDialog*>(window))
                return dialog->IsShown() ? dialog : nullptr;
        }
        return nullptr;
    }
};

TEST_F(LeakWindow, ACopyCheckedAgainstAManifestThatCannotBeReadSaysWhy) {
    MakeTone(Work("in/leaked copy.wav"), 2);
    std::ofstream(Work("out/manifest.json")) << "this is no manifest\n";
    const wxString copy = Wx(Work("in/leaked copy.wav")), manifest = Wx(Work("out/manifest.json"));
    const LeakAnswer expected = IdentifyCopy(copy, manifest);
    ASSERT_EQ(LeakAnswer::Kind::Failed, expected.kind);

    // Cancelled at either question, nothing starts.
    wxTEST_DIALOG(ChooseIdentify(), FileExpect("Choose the copy to identify", ""));
    wxTEST_DIALOG(ChooseIdentify(), FileExpect("Choose the copy to identify", copy),
                  FileExpect("Choose the manifest of the run that made it", ""));
    EXPECT_FALSE(p.identifying());

    wxTEST_DIALOG(
        {
            ChooseIdentify();
            EXPECT_TRUE(WaitUntil([&] { return !p.identifying(); }, 30000));
        },
        FileExpect("Choose the copy to identify", copy),
        FileExpect("Choose the manifest of the run that made it", manifest),
        BoxExpect(expected.text, wxICON_WARNING));
    EXPECT_EQ(nullptr, Progress());
    EXPECT_TRUE(w->IsEnabled());
}

// The work goes on beside the window, its Cancel stops it without an
// answer, and a window closed meanwhile stops and waits for it.
TEST_F(LeakWindow, CancelAndClosingStopTheWorkerAndAMatchIsTold) {
    std::atomic<int> stopped{0};
    std::atomic<bool> release{false};
    LeakCheck::s_identify = [&](const wxString& file, const wxString&,
                                const std::function<bool()>& stop) {
        LeakAnswer answer;
        for (int i = 0; i < 3000 && !release; ++i) {
            if (stop()) {
                ++stopped;
                return answer;
            }
            wxMilliSleep(5);
        }
        answer.kind = LeakAnswer::Kind::FromAudio;
        answer.recipient = "Ann";
        answer.text = file + ": Ann's copy.";
        return answer;
    };
    const wxString copy = Wx(Work("in/a.wav")), manifest = Wx(Work("out/manifest.json"));
    ASSERT_TRUE(w->IsEnabled());

    // A match is told with the information icon.
    ASSERT_TRUE(p.leakCheck().Start(copy, manifest));
    ASSERT_TRUE(WaitUntil([&] { return Progress() != nullptr; }, 5000));
    Pump(300);
    EXPECT_TRUE(p.identifying());
    EXPECT_FALSE(p.leakCheck().Start(copy, manifest));
    release = true;
    wxTEST_DIALOG(EXPECT_TRUE(WaitUntil([&] { return !p.identifying(); }, 10000)),
                  BoxExpect(copy + ": Ann's copy.", wxICON_INFORMATION));
    release = false;

    ASSERT_TRUE(p.leakCheck().Start(copy, manifest));
    ASSERT_TRUE(WaitUntil([&] { return Progress() != nullptr; }, 5000));
    wxWindow* cancel = Progress()->FindWindow(wxID_CANCEL);
    ASSERT_NE(nullptr, cancel);
    Click(cancel);
    EXPECT_TRUE(WaitUntil([&] { return !p.identifying(); }, 10000));
    EXPECT_EQ(1, stopped);
    EXPECT_EQ(nullptr, Progress());
    EXPECT_TRUE(w->IsEnabled());

    ASSERT_TRUE(p.leakCheck().Start(copy, manifest));
    Pump(200);
    wxWeakRef<CMainFormImp> closing(w.release());
    closing->Close();
    EXPECT_TRUE(WaitUntil([&] { return !closing; }, 10000));
    EXPECT_EQ(2, stopped);
    EXPECT_EQ(nullptr, Progress());
}

} // namespace
