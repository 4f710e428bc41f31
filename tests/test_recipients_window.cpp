// The recipients dialog behind step 3's button.
#include "testutil.h"

#include "RecipientsDlgImp.h"

#include <wx/filedlg.h>

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

// "name|id" of each recipient, one a line.
wxString Listed(const std::vector<Recipient>& list) {
    wxString text;
    for (const Recipient& recipient : list)
        text += recipient.name + "|" + recipient.id + "\n";
    return text;
}

class RecipientsWindow : public WindowTest {};

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
                      d.text()->SetValue("Ann\nann, 2\n");
                      EXPECT_FALSE(d.d->TransferDataFromWindow());
                      return static_cast<int>(wxID_CANCEL);
                  }),
                  MessageExpect("The recipients cannot be used. Line 2: a recipient needs a name."),
                  MessageExpect("The recipients cannot be used. Line 2: ann is listed twice."));
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
    EXPECT_TRUE(badError.Contains("Line 3")) << badError;

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

} // namespace
