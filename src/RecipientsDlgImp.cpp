// The recipients dialog's behaviour: the list typed or loaded, checked on OK.
#include "RecipientsDlgImp.h"

#include "Prompts.h"

namespace {

// A field as CSV writes it: quoted when a comma, a quote, a line end or
// blanks at either end would change what is read back.
wxString CsvField(const wxString& field) {
    wxString trimmed = field;
    trimmed.Trim(true).Trim(false);
    if (field.find_first_of(",\"\r\n") == wxString::npos && trimmed == field)
        return field;
    wxString quoted = field;
    quoted.Replace("\"", "\"\"");
    return "\"" + quoted + "\"";
}

} // namespace

wxString RecipientsText(const std::vector<Recipient>& list) {
    wxString text;
    for (const Recipient& recipient : list) {
        text += CsvField(recipient.name);
        if (!recipient.id.empty())
            text += ", " + CsvField(recipient.id);
        text += "\n";
    }
    return text;
}

wxString RecipientsSummary(const RecipientOptions& options) {
    const size_t count = options.list.size();
    if (count == 0)
        return "No recipients";
    return wxString::Format(count == 1 ? "%zu recipient" : "%zu recipients", count);
}

RecipientsDlgImp::RecipientsDlgImp(wxWindow* parent, const RecipientOptions& options)
    : RecipientsDlg(parent, wxID_ANY, "Recipients"), m_options(options) {
    m_listText->ChangeValue(RecipientsText(options.list));
    m_folderRadio->SetValue(options.naming == RecipientNaming::Folder);
    m_fileNameRadio->SetValue(options.naming == RecipientNaming::FileName);
    const wxString missing = MissingSpeechReason();
    m_spokenCheckBox->SetValue(options.spoken && missing.empty());
    m_spokenCheckBox->Enable(missing.empty());
    // A disabled box still shows its tip: it says what to install.
    m_spokenCheckBox->SetToolTip(missing.empty() ? wxString("Each copy also says \"For\" and its "
                                                            "recipient's name, in turn with the "
                                                            "watermarks")
                                                 : missing);
}

bool RecipientsDlgImp::TransferDataFromWindow() {
    std::vector<Recipient> list;
    wxString error;
    if (!ParseRecipients(m_listText->GetValue(), list, error)) {
        Notice("The recipients cannot be used. " + error);
        m_listText->SetFocus();
        return false;
    }
    m_options.list = list;
    m_options.naming =
        m_fileNameRadio->GetValue() ? RecipientNaming::FileName : RecipientNaming::Folder;
    m_options.spoken = m_spokenCheckBox->IsEnabled() && m_spokenCheckBox->GetValue();
    return true;
}

void RecipientsDlgImp::OnLoadCsv(wxCommandEvent&) {
    wxString path;
    if (!ChooseFile(this, "Choose a recipients file", "CSV files (*.csv)|*.csv;*.CSV|All files|*",
                    wxEmptyString, wxEmptyString, path))
        return;
    std::vector<Recipient> list;
    wxString error;
    if (!ReadRecipients(path, list, error)) {
        Notice(error);
        return;
    }
    // The file's list replaces what was typed; OK keeps it.
    m_listText->ChangeValue(RecipientsText(list));
}
