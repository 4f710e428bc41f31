// velisto-batch's command line: its options and help, and the settings and
// tracks they give.
#ifndef BATCHOPTIONS_H
#define BATCHOPTIONS_H

#include "PresetStore.h"
#include "Recipients.h"

#include <wx/arrstr.h>
#include <wx/cmdline.h>
#include <wx/string.h>

// Most renders at once per processor core, and on this machine.
extern const int kJobsPerCore;
int MaxJobs();

class BatchOptions {
public:
    BatchOptions(int argc, wxChar** argv);

    // wxCmdLineParser's complaint about the command line, or empty.
    wxString Parse();
    bool Has(const wxString& name) const { return m_parser.Found(name); }
    wxString Option(const wxString& name) const {
        wxString value;
        m_parser.Found(name, &value);
        return value;
    }
    size_t TrackCount() const { return m_parser.GetParamCount(); }
    // The text --help prints.
    static wxString HelpText();

    // Paths given are taken from this folder.
    void SetStartFolder(const wxString& folder) { m_startFolder = folder; }
    // The options' changes to preset; false with the usage problem.
    bool ApplyOptions(Preset& preset, wxString& problem) const;
    // The recipients given (none without --recipients); false with the
    // problem (an unusable file, an option without --recipients).
    bool ApplyRecipients(RecipientOptions& recipients, wxString& problem) const;
    // The tracks given, a folder's audio files in its place; notes names
    // each folder that held none.
    wxArrayString Tracks(wxArrayString& notes) const;

private:
    // Sets value from option name when given, a whole number from low to
    // high; false with the problem when it is not one.
    bool RangedValue(const wxString& name, int low, int high, int& value, wxString& problem) const;

    wxCmdLineParser m_parser;
    wxString m_startFolder;
};

#endif
