// Tags, pictures and the output mark of the files the program writes, with TagLib.
#include "TagCopy.h"

#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <cerrno>
#include <sys/xattr.h>
#include <vector>

const wxString g_previewComment = "Watermarked preview";

namespace {
// In the file's extended attributes, so that the file's bytes stay those of
// the render; the tag of that name only where the file system keeps none.
const char kOutputMark[] = "user.velisto.output";
const char kOutputTag[] = "VELISTOOUTPUT";
} // namespace

namespace {

struct Picture {
    TagLib::ByteVector data;
    TagLib::String mime;
    TagLib::String description;
    int type = 3; // front cover, in the numbering ID3v2 and FLAC share
};

struct Tags {
    TagLib::PropertyMap properties;
    std::vector<Picture> pictures;
    bool Empty() const { return properties.isEmpty() && pictures.empty(); }
};

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
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        ReadPictures(mpeg->ID3v2Tag(), tags.pictures);
    } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        // Its properties are the ID3 chunk's; a file with only RIFF INFO has those.
        if (tags.properties.isEmpty() && wav->hasInfoTag())
            tags.properties = wav->InfoTag()->properties();
        ReadPictures(wav->ID3v2Tag(), tags.pictures);
    } else if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
        ReadPictures(aiff->tag(), tags.pictures);
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        ReadPictures(flac->pictureList(), tags.pictures);
    } else if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
        ReadPictures(vorbis->tag()->pictureList(), tags.pictures);
    }
    return tags;
}

void KeepAlbumTags(Tags& tags) {
    TagLib::PropertyMap album;
    for (const char* key : kAlbumKeys) {
        if (tags.properties.contains(key))
            album.insert(key, tags.properties[key]);
    }
    tags.properties = album;
}

// Writes tags into the file, replacing whatever it held; false when it
// could not be saved.
bool WriteTags(const wxString& path, const Tags& tags) {
    TagLib::FileRef ref(path.fn_str());
    if (ref.isNull())
        return false;
    TagLib::File* file = ref.file();
    file->setProperties(tags.properties);
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        WritePictures(mpeg->ID3v2Tag(true), tags.pictures);
        return mpeg->save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers);
    }
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        // The ID3 chunk holds everything; RIFF INFO, which more players
        // read, what it can.
        WritePictures(wav->ID3v2Tag(), tags.pictures);
        wav->InfoTag()->setProperties(tags.properties);
        return wav->save(TagLib::RIFF::WAV::File::AllTags, TagLib::File::StripOthers);
    }
    if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
        WritePictures(aiff->tag(), tags.pictures);
        return aiff->save();
    }
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        flac->removePictures();
        for (const Picture& picture : tags.pictures)
            flac->addPicture(FlacPicture(picture));
        return flac->save();
    }
    if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
        vorbis->tag()->removeAllPictures();
        for (const Picture& picture : tags.pictures)
            vorbis->tag()->addPicture(FlacPicture(picture));
        return vorbis->save();
    }
    return file->save();
}

} // namespace

wxString CopyTags(const wxString& track, const wxString& output, TagScope scope, bool* wrote) {
    Tags tags = ReadTags(track);
    if (scope == TagScope::Album)
        KeepAlbumTags(tags);
    if (wrote)
        *wrote = !tags.Empty();
    if (tags.Empty())
        return wxString();
    // Beside the track's own comment, never over it.
    TagLib::StringList comments = tags.properties["COMMENT"];
    comments.append(TagLib::String(g_previewComment.utf8_str().data(), TagLib::String::UTF8));
    tags.properties.replace("COMMENT", comments);
    if (!WriteTags(output, tags))
        return "its tags and pictures could not be written.";
    return wxString();
}

double AudioSeconds(const wxString& path) {
    TagLib::FileRef ref(path.fn_str(), true, TagLib::AudioProperties::Accurate);
    if (ref.isNull() || !ref.file()->isValid() || !ref.audioProperties())
        return -1;
    const TagLib::AudioProperties* audio = ref.audioProperties();
    if (audio->sampleRate() <= 0 || audio->channels() <= 0)
        return -1;
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
    TagLib::PropertyMap properties = ref.file()->properties();
    properties.replace(kOutputTag, TagLib::StringList("1"));
    ref.file()->setProperties(properties);
    return ref.file()->save();
}

bool IsMarkedOutput(const wxString& path) {
    char value[8];
    if (getxattr(path.fn_str(), kOutputMark, value, sizeof value) >= 0)
        return true;
    if (errno != ENOTSUP)
        return false;
    TagLib::FileRef ref(path.fn_str(), false);
    return !ref.isNull() && ref.file()->properties().contains(kOutputTag);
}
