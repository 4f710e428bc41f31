// Where outputs go and what stands there: output names, file identity, the
// hidden partial names renders write under, and names as lines show them.
#include "OutputFiles.h"

#include "FfmpegCommand.h"

#include <wx/filename.h>
#include <wx/strconv.h>
#include <wx/utils.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>

const size_t g_maxNameBytes = 255;

bool IsNameTooLong(const wxString& name) {
    return std::strlen(name.fn_str()) > g_maxNameBytes;
}

wxString WatermarkOutputPath(const wxString& track, const wxString& folder, const wxString& prefix,
                             const wxString& suffix, const wxString& format) {
    wxFileName name(track);
    name.SetPath(folder);
    name.SetName(prefix + name.GetName() + suffix);
    name.SetExt(format.Lower());
    return name.GetFullPath();
}

wxString MergedOutputPath(const wxString& folder, const wxString& name, const wxString& format) {
    wxFileName path(folder, name);
    path.SetExt(format.Lower());
    return path.GetFullPath();
}

bool IsUsableMergeName(const wxString& name) {
    const wxString trimmed = wxString(name).Trim(true).Trim(false);
    // A leading dot would hide the file from the user.
    if (trimmed.empty() || trimmed.StartsWith("."))
        return false;
    if (name.find_first_of(wxFileName::GetPathSeparators()) != wxString::npos)
        return false;
    return !wxFileName(name).GetName().empty();
}

FileStamp StampOf(const wxString& path) {
    FileStamp stamp;
    struct stat st;
    if (::stat(path.fn_str(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modified = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return stamp;
}

namespace {

bool IsUtf8(const wxCharBuffer& bytes) {
    return bytes.data() && wxConvUTF8.ToWChar(nullptr, 0, bytes.data()) != wxCONV_FAILED;
}

// What a file that is not regular is, as a line names it.
wxString FileKind(mode_t mode) {
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a file";
}

} // namespace

wxString DisplayName(const wxString& path) {
    const wxString name = wxFileName(path).GetFullName();
    const wxCharBuffer bytes = name.fn_str();
    if (!bytes.data())
        return name;
    // Each UTF-8 sequence as it is, every other byte as \xHH; control
    // characters escaped too, so that the name stays on its line.
    const std::string raw(bytes.data());
    wxString shown;
    for (size_t at = 0; at < raw.size();) {
        const unsigned char lead = raw[at];
        if (lead < 0x20 || lead == 0x7f) {
            shown += lead == '\n'   ? wxString("\\n")
                     : lead == '\t' ? wxString("\\t")
                                    : wxString::Format("\\x%02x", lead);
            ++at;
            continue;
        }
        const size_t length = lead < 0x80                    ? 1
                              : lead >= 0xc2 && lead <= 0xdf ? 2
                              : lead >= 0xe0 && lead <= 0xef ? 3
                              : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                             : 0;
        const wxString sequence = length && at + length <= raw.size()
                                      ? wxString::FromUTF8(raw.data() + at, length)
                                      : wxString();
        if (!sequence.empty()) {
            shown += sequence;
            at += length;
        } else {
            shown += wxString::Format("\\x%02x", lead);
            ++at;
        }
    }
    return shown;
}

wxString UnreadableReason(const wxString& path) {
    if (!IsUtf8(wxFileName(path).GetFullName().fn_str()))
        return "Not processed: its name is not valid UTF-8; rename the file.";
    const wxCharBuffer bytes = path.fn_str();
    if (!IsUtf8(bytes))
        return "Not processed: the name of its folder is not valid UTF-8; rename the folder.";
    struct stat st;
    if (::stat(bytes.data(), &st) == 0 && !S_ISREG(st.st_mode))
        return "Not processed: it is not a regular file (" + FileKind(st.st_mode) + ").";
    return MissingDecoderReason(path);
}

wxString UnreadableFileLine(const wxString& path) {
    const wxString reason = UnreadableReason(path);
    return reason.empty() ? wxString() : DisplayName(path) + ": " + reason;
}

bool FileStamp::operator==(const FileStamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode &&
           size == other.size && modified == other.modified;
}

wxString FileIdentity(const wxString& path) {
    const FileStamp stamp = StampOf(path);
    if (stamp.exists)
        return wxString::Format("file %llu:%llu", stamp.device, stamp.inode);
    wxFileName name(path);
    name.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE);
    return "path " + name.GetFullPath();
}

wxString ForeignOutputText(const wxString& path) {
    return DisplayName(path) +
           " already exists and was not written by this program. Move or rename it, or choose "
           "another output folder, prefix or suffix, and run again.";
}

bool IsSameFile(const wxString& a, const wxString& b) {
    return FileIdentity(a) == FileIdentity(b);
}

// Where a render writes until SoX has succeeded: a hidden name beside its
// output, unique to this process and host, so that a render killed outright
// (a host that goes down, SIGKILL) never leaves a cut-short file under the
// output's name, and two hosts rendering one track never write one file.
// A long output name is cut to fit, with a hash of it to tell it apart.
wxString PartialPath(const wxString& output) {
    static unsigned long counter = 0;
    const wxFileName name(output);
    const wxString tail = wxString::Format(".partial-%s-%lu-%lu.%s", wxGetHostName(),
                                           wxGetProcessId(), ++counter, name.GetExt());
    wxString base = name.GetFullName();
    wxString partial = "." + base + tail;
    if (IsNameTooLong(partial)) {
        std::uint32_t hash = 2166136261u; // FNV-1a
        for (const char c : std::string(base.utf8_str()))
            hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
        const wxString mark = wxString::Format("~%08x", hash);
        while (!base.empty() && IsNameTooLong("." + base + mark + tail))
            base.RemoveLast();
        partial = "." + base + mark + tail;
    }
    return wxFileName(name.GetPath(), partial).GetFullPath();
}

// Under this much free space a write that failed is taken for a full disk.
const unsigned long long kFullDiskBytes = 1 << 20;

bool IsDiskFull(const wxString& folder) {
    struct statvfs fs;
    return ::statvfs(folder.fn_str(), &fs) == 0 &&
           static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize < kFullDiskBytes;
}
