// The people a run makes copies for: one copy of every track each, told
// apart by their placement, their tags and, if asked, a spoken tag.
#ifndef RECIPIENTS_H
#define RECIPIENTS_H

#include <wx/string.h>

#include <cstdint>
#include <vector>

struct Recipient {
    wxString name;
    wxString id; // short and optional
};

// Where a recipient's copies go.
enum class RecipientNaming {
    Folder,  // a folder per recipient in the output folder, named after them
    FileName // the output folder itself, " for NAME" ending each file's name
};

struct RecipientOptions {
    std::vector<Recipient> list; // empty: an ordinary run, one copy per track
    RecipientNaming naming = RecipientNaming::Folder;
    bool spoken = false; // a spoken "For NAME" takes its turn among the watermarks
};

// Seconds the copies vary by when recipients are given and "Vary by" is 0:
// copies placed alike could not be told apart.
constexpr int kRecipientVary = 3;

// Reads a recipients file: CSV (RFC 4180 quoting), a name and an optional
// ID per line, blank lines skipped, a first line "name,id" taken as a
// heading. False with the reason (naming the line) when it cannot be used:
// unreadable, a line without a name, a name given twice.
bool ReadRecipients(const wxString& path, std::vector<Recipient>& list, wxString& error);
// The same from text, as typed.
bool ParseRecipients(const wxString& text, std::vector<Recipient>& list, wxString& error);
// Why a recipient cannot be used (an empty name, a name no file name can
// hold), or empty.
wxString RecipientProblem(const Recipient& recipient);

// The recipient's name as a file or folder name: characters a file name
// cannot hold become "_".
wxString RecipientFileName(const wxString& name);

// The seed of a recipient's placement: the run's seed mixed with the
// recipient's name and ID, the same on every host.
uint32_t RecipientSeed(uint32_t seed, const Recipient& recipient);

// The spoken tag "For NAME", made with espeak-ng into a WAV file in folder:
// its path, or empty with the reason in error (espeak-ng missing, or it failed).
wxString MakeSpokenTag(const wxString& name, const wxString& folder, wxString& error);
// Why spoken tags cannot be made here (espeak-ng is not installed), or empty.
wxString MissingSpeechReason();

#endif
