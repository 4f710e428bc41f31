// Output names and what stands at a path: identity, partial names, names in lines.
#ifndef OUTPUTFILES_H
#define OUTPUTFILES_H

#include <wx/string.h>

#include <cstddef>

// What stands at a path, to tell a file apart from one written or replaced
// since: device, inode, size and modification time, or nothing.
struct FileStamp {
    bool exists = false;
    unsigned long long device = 0, inode = 0, size = 0;
    long long modified = 0; // nanoseconds
    bool operator==(const FileStamp& other) const;
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

FileStamp StampOf(const wxString& path);

// Longest file name, in bytes, that the file systems take.
extern const size_t g_maxNameBytes;

// True when a file name (no folders) is longer than that.
bool IsNameTooLong(const wxString& name);

// Why the file at path must not be read as a track or a watermark, as its
// whole line ("b.wav: Not processed: it is not a regular file (a FIFO)."), or
// empty. SoX would wait forever on a FIFO or a device, and a name that is not
// UTF-8 cannot reach it intact; a file only ffmpeg reads needs it installed.
// A missing file is SoX's to report.
wxString UnreadableFileLine(const wxString& path);
// The same line's reason, without the name; empty when the file may be read.
wxString UnreadableReason(const wxString& path);

// A file's name as a result line shows it: without its folders, bytes that
// are not UTF-8 and control characters (a newline would split the line)
// escaped ("caf\xe9.wav", "a\nb.wav").
wxString DisplayName(const wxString& path);

// Path of a track's watermarked output: folder, prefix + base name + suffix,
// and the format in lower case as extension ("/in/a.b.wav" -> "/out/x_a.b.aiff").
wxString WatermarkOutputPath(const wxString& track, const wxString& folder, const wxString& prefix,
                             const wxString& suffix, const wxString& format);

// Path of the merged file: name in folder, its extension replaced by the
// format in lower case ("Mix.wav", "MP3" -> "folder/Mix.mp3").
wxString MergedOutputPath(const wxString& folder, const wxString& name, const wxString& format);

// True when name can name the merged file: not blank, no folder part, and
// not hidden (no leading dot).
bool IsUsableMergeName(const wxString& name);

// The reason a file at path, which this program did not write, stands where
// an output goes: "<name> already exists and ...", saying how to go on.
wxString ForeignOutputText(const wxString& path);

// True when both paths name one file: the same file on disk (also through
// links) when both exist, otherwise the same absolute path once "." and ".."
// are resolved.
bool IsSameFile(const wxString& a, const wxString& b);

// A key that two paths share exactly when IsSameFile holds for them now, so
// that a long list is checked against a set instead of pair by pair.
wxString FileIdentity(const wxString& path);

// Where a render writes until it has succeeded: a hidden name beside its
// output, unique to this process and host, cut to fit the file system.
wxString PartialPath(const wxString& output);
// True when the folder's file system has (almost) no space left.
bool IsDiskFull(const wxString& folder);

#endif
