// Recipients of a run: read from CSV, seeded, named for files, and spoken.
#include "Recipients.h"

#include "SoxCommand.h"
#include "SoxRunner.h"

#include <wx/ffile.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/utils.h>

#include <set>

namespace {

// One CSV record's fields from text at pos, which moves past it: quoted
// fields may hold commas, doubled quotes and line ends.
std::vector<wxString> NextRecord(const wxString& text, size_t& pos) {
    std::vector<wxString> fields(1);
    bool quoted = false;
    while (pos < text.length()) {
        const wxUniChar c = text[pos++];
        if (quoted) {
            if (c == '"' && pos < text.length() && text[pos] == '"') {
                fields.back() += '"';
                ++pos;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == '\n') {
            break;
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    for (wxString& field : fields)
        field.Trim(true).Trim(false);
    return fields;
}

} // namespace

wxString RecipientProblem(const Recipient& recipient) {
    if (recipient.name.empty())
        return "a recipient needs a name";
    if (RecipientFileName(recipient.name).find_first_not_of("._") == wxString::npos)
        return "\"" + recipient.name + "\" cannot name a folder or file";
    return wxString();
}

bool ParseRecipients(const wxString& text, std::vector<Recipient>& list, wxString& error) {
    list.clear();
    error.clear();
    std::set<wxString> names;
    size_t pos = 0;
    for (int line = 1; pos < text.length(); ++line) {
        const std::vector<wxString> fields = NextRecord(text, pos);
        if (fields.size() == 1 && fields[0].empty())
            continue;
        if (line == 1 && fields[0].IsSameAs("name", false) &&
            (fields.size() < 2 || fields[1].IsSameAs("id", false)))
            continue;
        Recipient recipient{fields[0], fields.size() > 1 ? fields[1] : wxString()};
        const wxString problem = RecipientProblem(recipient);
        if (!problem.empty()) {
            error = wxString::Format("Line %d: ", line) + problem + ".";
            return false;
        }
        if (!names.insert(recipient.name.Lower()).second) {
            error = wxString::Format("Line %d: ", line) + recipient.name + " is listed twice.";
            return false;
        }
        list.push_back(recipient);
    }
    return true;
}

bool ReadRecipients(const wxString& path, std::vector<Recipient>& list, wxString& error) {
    wxLogNull quiet; // the error says it, once
    wxFFile file(path, "rb");
    wxString text;
    if (!file.IsOpened() || !file.ReadAll(&text, wxConvUTF8)) {
        error = "The recipients file " + path + " cannot be read.";
        return false;
    }
    if (!ParseRecipients(text, list, error)) {
        error = "The recipients file " + path + " cannot be used. " + error;
        return false;
    }
    if (list.empty()) {
        error = "The recipients file " + path + " lists no recipient.";
        return false;
    }
    return true;
}

wxString RecipientFileName(const wxString& name) {
    wxString safe;
    for (wxUniChar c : name)
        safe += (c == '/' || c == '\\' || c < 32 ||
                 wxFileName::GetForbiddenChars().Find(c) != wxNOT_FOUND)
                    ? wxUniChar('_')
                    : c;
    return safe;
}

uint32_t RecipientSeed(uint32_t seed, const Recipient& recipient) {
    // FNV-1a over the seed and the UTF-8 of the name and ID.
    uint32_t hash = 2166136261u;
    auto add = [&hash](unsigned char byte) {
        hash ^= byte;
        hash *= 16777619u;
    };
    for (int i = 0; i < 4; ++i)
        add(static_cast<unsigned char>(seed >> (8 * i)));
    for (const wxString& part : {recipient.name, wxString("\x1f"), recipient.id}) {
        const wxScopedCharBuffer bytes = part.utf8_str();
        for (size_t i = 0; i < bytes.length(); ++i)
            add(static_cast<unsigned char>(bytes.data()[i]));
    }
    return hash;
}

wxString MissingSpeechReason() {
    if (OnPath("espeak-ng"))
        return wxString();
    return "Spoken tags are made with espeak-ng, which is not installed; install it with "
           "\"sudo apt install espeak-ng\".";
}

wxString MakeSpokenTag(const wxString& name, const wxString& folder, wxString& error) {
    error = MissingSpeechReason();
    if (!error.empty())
        return wxString();
    const wxString path =
        wxFileName(folder, "for-" + RecipientFileName(name) + ".wav").GetFullPath();
    // The text as one argument: a name starting with "-" is no option.
    const SoxOutput out = SoxQueue::RunNow("espeak-ng -s 150 -w " + SplitterWord(path) + " -- " +
                                           SplitterWord("For " + name));
    if (out.status != 0 || !wxFileExists(path)) {
        error = "espeak-ng could not speak \"For " + name + "\"" +
                (out.errors.empty() ? wxString(".") : ": " + out.errors[0]);
        return wxString();
    }
    return path;
}
