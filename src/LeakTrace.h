// Whose copy a file is: by its tags, else by where its watermarks sound,
// matched against a recipients run's manifest.
#ifndef LEAKTRACE_H
#define LEAKTRACE_H

#include <wx/string.h>

#include <functional>

struct LeakAnswer {
    enum class Kind {
        FromTags,  // its tags name a recipient of the manifest, or it is a file
                   // the run wrote, byte for byte
        FromAudio, // its watermarks sound where one recipient's do
        NoMatch,   // no recipient matches
        Failed     // the file or the manifest could not be read
    };
    Kind kind = Kind::Failed;
    wxString recipient;
    wxString id;
    wxString output;       // the manifest's file the copy was found to be
    double confidence = 0; // 0 to 1
    wxString text;         // the answer as a line for the user
};

// Identifies file against the manifest at manifestPath. Its tags decide
// when they name a recipient of the manifest; otherwise the file is decoded,
// the manifest's watermark sounds are found in it by correlation (FFTW), and
// their times are matched against each recipient's positions, allowing for
// a start cut off and a speed changed by up to 1%. A match only when one
// recipient stands clear of every other: never a guess shown as a fact.
// stop, asked now and then, ends the work early (Failed).
LeakAnswer IdentifyCopy(const wxString& file, const wxString& manifestPath,
                        const std::function<bool()>& stop = nullptr);

#endif
