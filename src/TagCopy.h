// Tags, pictures and the output mark of the files the program writes, with TagLib.
#ifndef TAGCOPY_H
#define TAGCOPY_H

#include "Recipients.h"

#include <wx/arrstr.h>
#include <wx/string.h>

// What the program puts into the files it writes besides the sound: the
// track's tags and pictures, the mark that tells its outputs from other
// files, and the check that a file reads back as audio.
//
// Carries a track's tags and embedded pictures over to the file rendered
// from it, mapped between the formats as TagLib maps them: ID3v2 (MP3, and
// the ID3 chunk of WAV and AIFF), RIFF INFO, Vorbis comments (FLAC, Ogg
// Vorbis, Opus) with FLAC pictures, and MP4 items with their covers. SoX
// itself keeps only a few text fields, and none in WAV or AIFF.

// The comment every tagged output gets beside the track's own, so that a
// preview can be told from its master.
extern const wxString g_previewComment;
// The output's own comment, for a recipient's copy (none: an ordinary preview).
wxString PreviewComment(const Recipient* recipient = nullptr);

// A recipient's copy carries, as its first comment, this prefix and the
// recipient's name ("Watermarked preview for NAME"; in WAV and MP4 the
// track's own comment may follow after "; "), and the recipient's ID, when
// there is one, in a field of this name: a TXXX frame in ID3v2, a Vorbis
// comment field, an MP4 freeform item under iTunes' domain.
extern const wxString g_recipientCommentPrefix; // "Watermarked preview for "
extern const wxString g_recipientIdKey;         // "RECIPIENT ID"

// What a file's tags tell of whose copy it is.
struct IdentityTags {
    wxArrayString comments; // every comment, in order, RIFF INFO's and Vorbis descriptions too
    wxArrayString ids;      // the values of g_recipientIdKey
    wxString title;
};
// Read with TagLib; empty when the file has none or cannot be read.
IdentityTags ReadIdentityTags(const wxString& path);

enum class TagScope {
    Track, // every tag: the output is the track's preview
    Album  // the album's tags and pictures only: the output joins several tracks
};

// Writes the tags of track (those of scope) into output, with
// g_previewComment as the first comment, before the track's own (ID3 COMM
// frames, Vorbis COMMENT fields, one RIFF ICMT or MP4 "©cmt" holding both).
// Loudness figures measured on the track (ReplayGain, R128, iTunes'
// normalisation) and the name of the software that encoded it are left out.
// A track without tags leaves output without any. Empty on success, else the
// line's reason: the output is kept either way.
// *wrote (when given) tells whether output was written to at all.
// A recipient's copy (recipient given, with a name) is tagged even when the
// track has no tags: PreviewComment and its ID.
wxString CopyTags(const wxString& track, const wxString& output, TagScope scope = TagScope::Track,
                  bool* wrote = nullptr, const Recipient* recipient = nullptr);

// Seconds of audio in the file as its header or stream states them (to the
// millisecond; MP4's as its edit list does), read without decoding it; -1
// when it cannot be read as audio.
double AudioSeconds(const wxString& path);

// Marks path as an output of this program: an extended attribute, or where
// the file system keeps none, a tag inside the file. False when neither
// could be written.
bool MarkAsOutput(const wxString& path);
// True when path holds a file that MarkAsOutput marked.
bool IsMarkedOutput(const wxString& path);

#endif
