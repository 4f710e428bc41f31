// The recipients dialog's behaviour: the list typed or loaded, checked on OK.
#ifndef RECIPIENTSDLGIMP_H
#define RECIPIENTSDLGIMP_H

#include "Recipients.h"
#include "recipientsdlg.h"

#include <vector>

template <typename Tag> struct RecipientsDialogProbe;

// The recipients of a run as the user gives them: typed a line each or
// loaded from a CSV file, where their copies go, and the spoken tag.
class RecipientsDlgImp : public RecipientsDlg {
public:
    // Shows options. The spoken tag is off and disabled, with the reason as
    // its tip, where spoken tags cannot be made.
    RecipientsDlgImp(wxWindow* parent, const RecipientOptions& options);

    // What OK last accepted.
    const RecipientOptions& Options() const { return m_options; }
    // Run by OK: reads the typed list into Options(); false, after telling
    // the user why, when it cannot be used (the dialog then stays open).
    bool TransferDataFromWindow() override;

    template <typename Tag> friend struct RecipientsDialogProbe;

protected:
    void OnLoadCsv(wxCommandEvent& event) override;

private:
    RecipientOptions m_options;
};

// The list as the dialog's text shows it: "Name, ID" a line ("Name" alone
// without an ID), quoted as CSV where a field needs it.
wxString RecipientsText(const std::vector<Recipient>& list);
// What the main window shows beside its button: "No recipients",
// "1 recipient", "8 recipients".
wxString RecipientsSummary(const RecipientOptions& options);

#endif
