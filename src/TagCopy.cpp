// Tags, pictures and the output mark of the files the program writes, with TagLib.
#include "TagCopy.h"

#include <wx/filename.h>

#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <sys/xattr.h>
#include <vector>

const wxString g_previewComment = "Watermarked preview";
const wxString g_recipientCommentPrefix = g_previewComment + " for ";
const wxString g_recipientIdKey = "RECIPIENT ID";

wxString PreviewComment(const Recipient* recipient) {
    return recipient && !recipient->name.empty() ? g_recipientCommentPrefix + recipient->name
                                                 : g_previewComment;
}

namespace {
// In the file's extended attributes, so that the file's bytes stay those of
// the render; the tag of that name only where the file system keeps none.
const char kOutputMark[] = "user.velisto.output";
const char kOutputTag[] = "VELISTOOUTPUT";
// MP4 keeps a name of its own only in a freeform item, under iTunes' domain
// as the other taggers do.
const char kOutputItem[] = "----:com.apple.iTunes:VELISTOOUTPUT";
} // namespace

namespace {

struct Picture {
    TagLib::ByteVector data;
    TagLib::String mime;
    TagLib::String description;
    int type = 3; // front cover, in the numbering ID3v2 and FLAC share
};

// A plain comment of the track's own (no description), with the language
// its ID3 frame named.
struct Comment {
    TagLib::String text;
    TagLib::ByteVector language = "eng";
};

struct Tags {
    TagLib::PropertyMap properties; // everything but the plain comments
    std::vector<Comment> comments;
    std::vector<Picture> pictures;
    TagLib::String marker; // the output's own comment, before the track's
    bool Empty() const { return properties.isEmpty() && comments.empty() && pictures.empty(); }
};

// A player applies these to the sound they were measured on; the output's
// sound is another, so they would set it to a wrong level (or trim it
// wrongly, for the encoder's gapless note).
bool IsLoudnessKey(const TagLib::String& key) {
    for (const char* prefix : {"REPLAYGAIN_", "R128_", "MP3GAIN_"}) {
        if (key.startsWith(prefix))
            return true;
    }
    for (const char* name : {"ITUNNORM", "ITUNSMPB", "COMMENT:ITUNNORM", "COMMENT:ITUNSMPB"}) {
        if (key == name)
            return true;
    }
    return false;
}

// The software that encoded the track did not encode the output; a track
// whose file carries nothing else has no tags.
bool IsEncoderNote(const TagLib::String& key) {
    return key == "ENCODER" || key == "ENCODING";
}

// A COMM frame that players show as the comment: no description of its own.
bool IsPlainComment(const TagLib::ID3v2::CommentsFrame& frame) {
    const TagLib::String description = frame.description().upper();
    return description.isEmpty() || description == "COMMENT";
}

// What an album shares: a merged file of several tracks takes only these.
const char* const kAlbumKeys[] = {
    "ALBUM", "ALBUMSORT", "ALBUMARTIST",   "ALBUMARTISTSORT", "DATE",          "ORIGINALDATE",
    "GENRE", "LABEL",     "CATALOGNUMBER", "COPYRIGHT",       "RELEASECOUNTRY"};

void ReadPictures(TagLib::ID3v2::Tag* tag, std::vector<Picture>& pictures) {
    if (!tag)
        return;
    for (TagLib::ID3v2::Frame* frame : tag->frameList("APIC")) {
        const auto* apic = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
        if (apic)
            pictures.push_back({apic->picture(), apic->mimeType(), apic->description(),
                                static_cast<int>(apic->type())});
    }
}

void ReadPictures(const TagLib::List<TagLib::FLAC::Picture*>& list,
                  std::vector<Picture>& pictures) {
    for (const TagLib::FLAC::Picture* picture : list)
        pictures.push_back({picture->data(), picture->mimeType(), picture->description(),
                            static_cast<int>(picture->type())});
}

void WritePictures(TagLib::ID3v2::Tag* tag, const std::vector<Picture>& pictures) {
    tag->removeFrames("APIC");
    for (const Picture& picture : pictures) {
        auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
        frame->setPicture(picture.data);
        frame->setMimeType(picture.mime);
        frame->setDescription(picture.description);
        frame->setType(static_cast<TagLib::ID3v2::AttachedPictureFrame::Type>(picture.type));
        tag->addFrame(frame);
    }
}

// MP4 names an image's format, not its MIME type.
const struct {
    TagLib::MP4::CoverArt::Format format;
    const char* mime;
    const char* magic;
} kCoverFormats[] = {{TagLib::MP4::CoverArt::PNG, "image/png", "\x89PNG\r\n\x1a\n"},
                     {TagLib::MP4::CoverArt::JPEG, "image/jpeg", "\xff\xd8\xff"},
                     {TagLib::MP4::CoverArt::GIF, "image/gif", "GIF8"},
                     {TagLib::MP4::CoverArt::BMP, "image/bmp", "BM"}};

// MP4 has no picture types: its first cover is the one players show.
void ReadPictures(const TagLib::MP4::Tag* tag, std::vector<Picture>& pictures) {
    if (!tag || !tag->contains("covr"))
        return;
    bool first = true;
    for (const TagLib::MP4::CoverArt& cover : tag->item("covr").toCoverArtList()) {
        TagLib::String mime;
        for (const auto& known : kCoverFormats) {
            if (cover.format() == known.format)
                mime = known.mime;
        }
        pictures.push_back({cover.data(), mime, TagLib::String(), first ? 3 : 0});
        first = false;
    }
}

// The format the bytes show, since a tag's MIME type may be wrong or missing.
TagLib::MP4::CoverArt::Format CoverFormat(const Picture& picture) {
    for (const auto& known : kCoverFormats) {
        if (picture.data.startsWith(known.magic))
            return known.format;
    }
    for (const auto& known : kCoverFormats) {
        if (picture.mime.upper() == TagLib::String(known.mime).upper())
            return known.format;
    }
    return TagLib::MP4::CoverArt::Unknown;
}

// Front covers first, for the players that show MP4's first cover.
TagLib::MP4::CoverArtList Covers(std::vector<Picture> pictures) {
    std::stable_partition(pictures.begin(), pictures.end(),
                          [](const Picture& picture) { return picture.type == 3; });
    TagLib::MP4::CoverArtList covers;
    for (const Picture& picture : pictures)
        covers.append(TagLib::MP4::CoverArt(CoverFormat(picture), picture.data));
    return covers;
}

// Vorbis and Opus keep their tags and pictures in one Vorbis comment.
TagLib::Ogg::XiphComment* XiphOf(TagLib::File* file) {
    if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file))
        return vorbis->tag();
    if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file))
        return opus->tag();
    return nullptr;
}

TagLib::FLAC::Picture* FlacPicture(const Picture& picture) {
    auto* flac = new TagLib::FLAC::Picture;
    flac->setData(picture.data);
    flac->setMimeType(picture.mime);
    flac->setDescription(picture.description);
    flac->setType(static_cast<TagLib::FLAC::Picture::Type>(picture.type));
    return flac;
}

// The track's tags; empty when it has none or TagLib cannot read it.
Tags ReadTags(const wxString& path) {
    Tags tags;
    TagLib::FileRef ref(path.fn_str());
    if (ref.isNull())
        return tags;
    TagLib::File* file = ref.file();
    tags.properties = file->properties();
    TagLib::ID3v2::Tag* id3 = nullptr;
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        id3 = mpeg->ID3v2Tag();
        ReadPictures(id3, tags.pictures);
    } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        // Its properties are the ID3 chunk's; a file with only RIFF INFO has those.
        if (tags.properties.isEmpty() && wav->hasInfoTag())
            tags.properties = wav->InfoTag()->properties();
        else
            id3 = wav->ID3v2Tag();
        ReadPictures(wav->ID3v2Tag(), tags.pictures);
    } else if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
        id3 = aiff->tag();
        ReadPictures(id3, tags.pictures);
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        ReadPictures(flac->pictureList(), tags.pictures);
    } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        ReadPictures(mp4->tag(), tags.pictures);
        // TagLib's name for "©too", the encoding software.
        tags.properties.erase("ENCODEDBY");
    } else if (TagLib::Ogg::XiphComment* xiph = XiphOf(file)) {
        ReadPictures(xiph->pictureList(), tags.pictures);
    }
    // Kept apart, so that the output's own comment can go before them.
    for (const TagLib::String& text : tags.properties["COMMENT"]) {
        Comment comment{text};
        for (TagLib::ID3v2::Frame* frame :
             id3 ? id3->frameList("COMM") : TagLib::ID3v2::FrameList()) {
            const auto* comm = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(frame);
            if (comm && IsPlainComment(*comm) && comm->text() == text) {
                comment.language = comm->language();
                break;
            }
        }
        tags.comments.push_back(comment);
    }
    tags.properties.erase("COMMENT");
    TagLib::StringList dropped;
    for (const auto& [key, values] : tags.properties) {
        if (IsLoudnessKey(key) || IsEncoderNote(key))
            dropped.append(key);
    }
    for (const TagLib::String& key : dropped)
        tags.properties.erase(key);
    return tags;
}

void KeepAlbumTags(Tags& tags) {
    TagLib::PropertyMap album;
    for (const char* key : kAlbumKeys) {
        if (tags.properties.contains(key))
            album.insert(key, tags.properties[key]);
    }
    tags.properties = album;
    tags.comments.clear();
}

TagLib::String Utf8(const wxString& text) {
    return TagLib::String(text.utf8_str().data(), TagLib::String::UTF8);
}

// MP4 keeps the ID in a freeform item, as the output mark: TagLib maps none
// it does not know to a property.
TagLib::String RecipientIdItem() {
    return "----:com.apple.iTunes:" + Utf8(g_recipientIdKey);
}

// The output's comment first, then the track's own, as COMM frames: players
// show the first plain one, and a second text in one property would become a
// user frame (TXXX) that they do not show at all.
void WriteComments(TagLib::ID3v2::Tag* tag, const TagLib::String& marker,
                   const std::vector<Comment>& comments) {
    // Described comments (a program's notes) follow, as they came.
    TagLib::ID3v2::FrameList others = tag->frameList("COMM");
    for (TagLib::ID3v2::Frame* frame : others)
        tag->removeFrame(frame, false);
    auto add = [tag](const Comment& comment) {
        auto* frame = new TagLib::ID3v2::CommentsFrame(TagLib::String::UTF8);
        frame->setLanguage(comment.language.size() == 3 ? comment.language : "eng");
        frame->setText(comment.text);
        tag->addFrame(frame);
    };
    add({marker});
    for (const Comment& comment : comments)
        add(comment);
    for (TagLib::ID3v2::Frame* frame : others) {
        const auto* comm = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(frame);
        if (comm && IsPlainComment(*comm))
            delete frame;
        else
            tag->addFrame(frame);
    }
}

// Vorbis comments keep the order of one field's values.
TagLib::PropertyMap WithComments(TagLib::PropertyMap properties, const TagLib::String& marker,
                                 const std::vector<Comment>& comments) {
    TagLib::StringList texts(marker);
    for (const Comment& comment : comments)
        texts.append(comment.text);
    properties.replace("COMMENT", texts);
    return properties;
}

// RIFF INFO has room for one ICMT, and players show only the first text of
// MP4's one "©cmt".
TagLib::String JoinedComment(const TagLib::String& marker, const std::vector<Comment>& comments) {
    TagLib::String text = marker;
    for (const Comment& comment : comments)
        text += "; " + comment.text;
    return text;
}

// Writes tags into the file, replacing whatever it held; false when it
// could not be saved.
bool WriteTags(const wxString& path, const Tags& tags) {
    TagLib::FileRef ref(path.fn_str());
    if (ref.isNull())
        return false;
    TagLib::File* file = ref.file();
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        mpeg->setProperties(tags.properties);
        WriteComments(mpeg->ID3v2Tag(true), tags.marker, tags.comments);
        WritePictures(mpeg->ID3v2Tag(true), tags.pictures);
        return mpeg->save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers);
    }
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        // The ID3 chunk holds everything; RIFF INFO, which more players
        // read, what it can.
        wav->ID3v2Tag()->setProperties(tags.properties);
        WriteComments(wav->ID3v2Tag(), tags.marker, tags.comments);
        WritePictures(wav->ID3v2Tag(), tags.pictures);
        wav->InfoTag()->setProperties(tags.properties);
        wav->InfoTag()->setComment(JoinedComment(tags.marker, tags.comments));
        return wav->save(TagLib::RIFF::WAV::File::AllTags, TagLib::File::StripOthers);
    }
    if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
        aiff->tag()->setProperties(tags.properties);
        WriteComments(aiff->tag(), tags.marker, tags.comments);
        WritePictures(aiff->tag(), tags.pictures);
        return aiff->save();
    }
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        // The writer's own items (its encoder's name) go too.
        TagLib::MP4::Tag* tag = mp4->tag();
        TagLib::StringList held;
        for (const auto& [key, item] : tag->itemMap())
            held.append(key);
        for (const TagLib::String& key : held)
            tag->removeItem(key);
        TagLib::PropertyMap properties = tags.properties;
        properties.replace("COMMENT", JoinedComment(tags.marker, tags.comments));
        const TagLib::String idKey = Utf8(g_recipientIdKey);
        const TagLib::StringList id = properties[idKey];
        properties.erase(idKey);
        tag->setProperties(properties);
        if (!id.isEmpty())
            tag->setItem(RecipientIdItem(), id);
        if (!tags.pictures.empty())
            tag->setItem("covr", Covers(tags.pictures));
        return mp4->save();
    }
    file->setProperties(WithComments(tags.properties, tags.marker, tags.comments));
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        flac->removePictures();
        for (const Picture& picture : tags.pictures)
            flac->addPicture(FlacPicture(picture));
        return flac->save();
    }
    if (TagLib::Ogg::XiphComment* xiph = XiphOf(file)) {
        xiph->removeAllPictures();
        for (const Picture& picture : tags.pictures)
            xiph->addPicture(FlacPicture(picture));
    }
    return file->save();
}

} // namespace

wxString CopyTags(const wxString& track, const wxString& output, TagScope scope, bool* wrote,
                  const Recipient* recipient) {
    Tags tags = ReadTags(track);
    if (scope == TagScope::Album)
        KeepAlbumTags(tags);
    tags.marker = Utf8(PreviewComment(recipient));
    // A recipient's copy says whose it is, tagged track or not.
    const bool forRecipient = recipient && !recipient->name.empty();
    if (forRecipient && !recipient->id.empty())
        tags.properties.replace(Utf8(g_recipientIdKey), Utf8(recipient->id));
    if (wrote)
        *wrote = !tags.Empty() || forRecipient;
    if (tags.Empty() && !forRecipient) {
        // ffmpeg's Opus writer names itself in the comments whatever it is
        // told: an output of an untagged track carries nothing.
        if (wxFileName(output).GetExt().IsSameAs("opus", false)) {
            TagLib::Ogg::Opus::File opus(output.fn_str());
            if (opus.isValid() && opus.tag() && opus.tag()->contains("ENCODER")) {
                opus.tag()->removeFields("ENCODER");
                if (!opus.save())
                    return "its tags and pictures could not be written.";
            }
        }
        return wxString();
    }
    if (!WriteTags(output, tags))
        return "its tags and pictures could not be written.";
    return wxString();
}

IdentityTags ReadIdentityTags(const wxString& path) {
    IdentityTags tags;
    TagLib::FileRef ref(path.fn_str(), false);
    if (ref.isNull())
        return tags;
    TagLib::File* file = ref.file();
    const TagLib::PropertyMap properties = file->properties();
    auto add = [](wxArrayString& to, const TagLib::StringList& texts) {
        for (const TagLib::String& text : texts)
            to.Add(wxString::FromUTF8(text.to8Bit(true).c_str()));
    };
    add(tags.comments, properties["COMMENT"]);
    // ffmpeg turns a comment into a Vorbis DESCRIPTION on the way to Ogg.
    add(tags.comments, properties["DESCRIPTION"]);
    add(tags.ids, properties[Utf8(g_recipientIdKey)]);
    if (!properties["TITLE"].isEmpty())
        tags.title = wxString::FromUTF8(properties["TITLE"].front().to8Bit(true).c_str());
    // A WAV's properties are its ID3 chunk's; players read RIFF INFO.
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        if (wav->hasInfoTag() && !wav->InfoTag()->comment().isEmpty())
            add(tags.comments, TagLib::StringList(wav->InfoTag()->comment()));
    }
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        if (mp4->tag() && mp4->tag()->contains(RecipientIdItem()))
            add(tags.ids, mp4->tag()->item(RecipientIdItem()).toStringList());
    }
    return tags;
}

double AudioSeconds(const wxString& path) {
    TagLib::FileRef ref(path.fn_str(), true, TagLib::AudioProperties::Accurate);
    if (ref.isNull() || !ref.file()->isValid() || !ref.audioProperties())
        return -1;
    const TagLib::AudioProperties* audio = ref.audioProperties();
    if (audio->sampleRate() <= 0 || audio->channels() <= 0)
        return -1;
    // An AAC stream's length holds its encoder's priming samples (at most
    // two frames), as an MP3's its delay and padding: the read-back allows
    // for them.
    return audio->lengthInMilliseconds() / 1000.0;
}

bool MarkAsOutput(const wxString& path) {
    if (setxattr(path.fn_str(), kOutputMark, "1", 1, 0) == 0)
        return true;
    if (errno != ENOTSUP)
        return false;
    TagLib::FileRef ref(path.fn_str());
    if (ref.isNull())
        return false;
    TagLib::File* file = ref.file();
    // Added beside the tags, not through the whole property map, which would
    // fold the two comment frames into one user frame.
    auto addTo = [](TagLib::ID3v2::Tag* tag) {
        tag->addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(
            kOutputTag, TagLib::StringList("1"), TagLib::String::UTF8));
    };
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        addTo(mpeg->ID3v2Tag(true));
        return mpeg->save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone);
    }
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        addTo(wav->ID3v2Tag());
        return wav->save(TagLib::RIFF::WAV::File::ID3v2, TagLib::File::StripNone);
    }
    if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
        addTo(aiff->tag());
        return aiff->save();
    }
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file))
        flac->xiphComment(true)->addField(kOutputTag, "1");
    else if (TagLib::Ogg::XiphComment* xiph = XiphOf(file))
        xiph->addField(kOutputTag, "1");
    else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file))
        mp4->tag()->setItem(kOutputItem, TagLib::StringList("1"));
    else
        return false;
    return file->save();
}

bool IsMarkedOutput(const wxString& path) {
    char value[8];
    if (getxattr(path.fn_str(), kOutputMark, value, sizeof value) >= 0)
        return true;
    if (errno != ENOTSUP)
        return false;
    TagLib::FileRef ref(path.fn_str(), false);
    if (ref.isNull())
        return false;
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(ref.file()))
        return mp4->tag()->contains(kOutputItem);
    return ref.file()->properties().contains(kOutputTag);
}
