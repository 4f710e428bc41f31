// Tags, pictures and the output mark of the files the program writes, with TagLib.
#ifndef TAGCOPY_H
#define TAGCOPY_H

#include "Recipients.h"

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
// A recipient's copy says whose it is: its comment is g_previewComment + "
// for NAME", and its ID (when it has one) is a field of this name ("RECIPIENT
// ID": an ID3 TXXX frame, a Vorbis comment, an MP4 freeform item).
extern const wxString g_recipientIdKey;
// The output's own comment, for recipient's copy (none: an ordinary preview).
wxString PreviewComment(const Recipient* recipient = nullptr);

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
