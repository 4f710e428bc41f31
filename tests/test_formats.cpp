// Formats and tags: FLAC, Ogg and WavPack in and out, tags and pictures
// carried from every kind of track to every kind of output (MP4 and Opus
// too), read back with TagLib.
#include "testutil.h"

#include "TagCopy.h"

#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/relativevolumeframe.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <unistd.h>

namespace {

using TagLib::String;

// Bytes no encoder would make up: a picture is carried byte for byte.
TagLib::ByteVector CoverBytes() {
    std::string bytes = "\x89PNG\r\n\x1a\n";
    for (int i = 0; i < 3000; ++i)
        bytes += static_cast<char>(i * 7 % 251);
    return TagLib::ByteVector(bytes.data(), static_cast<unsigned>(bytes.size()));
}

// The Vorbis comment of an Ogg Vorbis or Opus file; null for other files.
TagLib::Ogg::XiphComment* XiphOf(TagLib::File* file) {
    if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file))
        return vorbis->tag();
    if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file))
        return opus->tag();
    return nullptr;
}

// What a player shows of a file: its properties and its pictures' bytes and types.
struct ReadBack {
    TagLib::PropertyMap properties;
    std::vector<std::pair<TagLib::ByteVector, int>> pictures;
    String infoTitle; // WAV's RIFF INFO
};

ReadBack ReadFile(const std::string& path) {
    ReadBack back;
    TagLib::FileRef ref(path.c_str());
    if (ref.isNull())
        return back;
    back.properties = ref.file()->properties();
    auto id3 = [&](TagLib::ID3v2::Tag* tag) {
        for (auto* frame : tag ? tag->frameList("APIC") : TagLib::ID3v2::FrameList()) {
            auto* apic = static_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
            back.pictures.push_back({apic->picture(), apic->type()});
        }
    };
    auto flac = [&](const TagLib::List<TagLib::FLAC::Picture*>& list) {
        for (const auto* picture : list)
            back.pictures.push_back({picture->data(), picture->type()});
    };
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(ref.file()))
        id3(mpeg->ID3v2Tag());
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(ref.file())) {
        id3(wav->ID3v2Tag());
        back.infoTitle = wav->InfoTag()->title();
    }
    if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(ref.file()))
        id3(aiff->tag());
    if (auto* file = dynamic_cast<TagLib::FLAC::File*>(ref.file()))
        flac(file->pictureList());
    if (TagLib::Ogg::XiphComment* xiph = XiphOf(ref.file()))
        flac(xiph->pictureList());
    // MP4 keeps no picture types: its covers are front covers.
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(ref.file())) {
        for (const auto& cover : mp4->tag()->item("covr").toCoverArtList())
            back.pictures.push_back({cover.data(), 3});
    }
    return back;
}

// A master's tags, as a label's catalogue holds them.
TagLib::PropertyMap MasterTags() {
    TagLib::PropertyMap tags;
    tags.insert("TITLE", String("Nachtflug (Extended Mix)", String::UTF8));
    tags.insert("ARTIST", String("Élodie & The Quiet Ones", String::UTF8));
    tags.insert("ALBUM", String("Night Flights"));
    tags.insert("BPM", String("124"));
    tags.insert("ISRC", String("GBXYZ2600017"));
    tags.insert("COMPOSER", String("E. Marchand"));
    tags.insert("DATE", String("2026"));
    tags.insert("COMMENT", String("Master, do not send"));
    return tags;
}

// Writes the tags and a front cover into a file SoX made, as a tagger would.
void TagMaster(const std::string& path) {
    TagLib::FileRef ref(path.c_str());
    ASSERT_FALSE(ref.isNull()) << path;
    ref.file()->setProperties(MasterTags());
    auto apic = [](TagLib::ID3v2::Tag* tag) {
        auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
        frame->setPicture(CoverBytes());
        frame->setMimeType("image/png");
        frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        tag->addFrame(frame);
    };
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(ref.file())) {
        apic(mpeg->ID3v2Tag(true));
    } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(ref.file())) {
        apic(wav->ID3v2Tag());
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(ref.file())) {
        auto* picture = new TagLib::FLAC::Picture;
        picture->setData(CoverBytes());
        picture->setMimeType("image/png");
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        flac->addPicture(picture);
    } else if (TagLib::Ogg::XiphComment* xiph = XiphOf(ref.file())) {
        auto* picture = new TagLib::FLAC::Picture;
        picture->setData(CoverBytes());
        picture->setMimeType("image/png");
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        xiph->addPicture(picture);
    } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(ref.file())) {
        mp4->tag()->setItem("covr", TagLib::MP4::CoverArtList().append(TagLib::MP4::CoverArt(
                                        TagLib::MP4::CoverArt::PNG, CoverBytes())));
    }
    ASSERT_TRUE(ref.file()->save()) << path;
}

// A tone of seconds made as ffmpeg's encoders make MP4 (aac, alac) and Opus
// (libopus) files, their encoder's note included.
void Encode(const std::string& path, const std::string& codec, double seconds = 3, int rate = 44100,
            int channels = 2) {
    std::string log;
    ASSERT_EQ(
        0, Shell("ffmpeg -v error -nostdin -y -f lavfi -i sine=f=330:d=" + std::to_string(seconds) +
                     ":sample_rate=" + std::to_string(rate) + " -ac " + std::to_string(channels) +
                     " -c:a " + codec + " " + ShellQuote(path),
                 &log))
        << log;
}

class Formats : public BundleTest {
protected:
    void SetUp() override {
        BundleTest::SetUp();
        MakeTone(Work("wm/beep.wav"), 0.5, "sine 1000 vol 0.5", 8000, 1);
    }
    // Renders tracks with settings; the run's lines.
    wxArrayString Render(const wxArrayString& tracks, const RenderSettings& settings) {
        RenderRun run(settings, tracks, Files({"wm/beep.wav"}));
        EXPECT_EQ("", run.InputProblem() + run.MergeProblem());
        return run.Run();
    }
    std::string Output(const std::string& base, OutputFormat format) const {
        return Work("out/" + base + "." + FormatExtension(format).utf8_string());
    }
};

const OutputFormat kOutputs[] = {OutputFormat::Mp3, OutputFormat::Flac, OutputFormat::Ogg,
                                 OutputFormat::Wav, OutputFormat::Aiff, OutputFormat::Opus,
                                 OutputFormat::M4a};

TEST_F(Formats, EveryTagAndTheCoverGoFromEachKindOfTrackToEachKindOfOutput) {
    for (const char* track : {"in/a.mp3", "in/b.flac", "in/c.wav"})
        MakeTone(Work(track), 3, "sine 330 vol 0.3", 44100, 2);
    Encode(Work("in/d.m4a"), "aac");
    Encode(Work("in/e.opus"), "libopus");
    const wxArrayString tracks =
        Files({"in/a.mp3", "in/b.flac", "in/c.wav", "in/d.m4a", "in/e.opus"});
    for (const wxString& track : tracks)
        TagMaster(track.utf8_string());
    for (OutputFormat format : kOutputs) {
        EXPECT_EQ(Strings({"a.mp3: Process completed successfully",
                           "b.flac: Process completed successfully",
                           "c.wav: Process completed successfully",
                           "d.m4a: Process completed successfully",
                           "e.opus: Process completed successfully"}),
                  Render(tracks, RunSettings(format)));
        for (const char* base : {"a", "b", "c", "d", "e"}) {
            const std::string out = Output(base, format);
            SCOPED_TRACE(out);
            const ReadBack back = ReadFile(out);
            TagLib::PropertyMap expected = MasterTags();
            // Before the master's own comment; in one text where players show one.
            const String marker(g_previewComment.utf8_str().data(), String::UTF8);
            if (format == OutputFormat::M4a)
                expected.replace("COMMENT", marker + "; Master, do not send");
            else
                expected["COMMENT"].prepend(marker);
            for (const auto& [key, values] : expected) {
                EXPECT_EQ(values.toString(" | ").to8Bit(true),
                          back.properties[key].toString(" | ").to8Bit(true))
                    << key.to8Bit();
            }
            ASSERT_EQ(1u, back.pictures.size());
            EXPECT_TRUE(back.pictures[0].first == CoverBytes());
            EXPECT_EQ(3, back.pictures[0].second); // front cover
            if (format == OutputFormat::Wav) {
                EXPECT_EQ("Nachtflug (Extended Mix)", back.infoTitle.to8Bit(true));
            } else if (format == OutputFormat::M4a) {
                TagLib::MP4::File file(out.c_str());
                EXPECT_EQ(TagLib::MP4::CoverArt::PNG,
                          file.tag()->item("covr").toCoverArtList().front().format());
            }
        }
    }
}

// The ID3 tag of an MP3, WAV or AIFF file; null for other files.
TagLib::ID3v2::Tag* Id3Of(TagLib::File* file) {
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file))
        return mpeg->ID3v2Tag();
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file))
        return wav->ID3v2Tag();
    if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file))
        return aiff->tag();
    return nullptr;
}

// How often text stands in the file's bytes, upper and lower case alike.
size_t Occurrences(const std::string& path, std::string text) {
    std::string bytes = Contents(path);
    for (std::string* s : {&bytes, &text})
        std::transform(s->begin(), s->end(), s->begin(), ::tolower);
    size_t count = 0;
    for (size_t at = bytes.find(text); at != std::string::npos; at = bytes.find(text, at + 1))
        ++count;
    return count;
}

// A track carrying a comment of its own and the loudness figures of a
// ReplayGain scanner, an R128 scanner and iTunes, in each kind of tag.
void TagWithCommentAndLoudness(const std::string& path) {
    TagLib::FileRef ref(path.c_str());
    ASSERT_FALSE(ref.isNull()) << path;
    TagLib::PropertyMap tags;
    tags.insert("TITLE", String("Nachtflug"));
    ref.file()->setProperties(tags);
    TagLib::ID3v2::Tag* id3 = Id3Of(ref.file());
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(ref.file()))
        id3 = mpeg->ID3v2Tag(true);
    if (id3) {
        auto comment = [id3](const char* description, const char* text) {
            auto* frame = new TagLib::ID3v2::CommentsFrame;
            frame->setLanguage("eng");
            frame->setDescription(description);
            frame->setText(text);
            id3->addFrame(frame);
        };
        comment("", "Lease only");
        comment("iTunNORM", " 000002A1 00000295 00001C0E 00001BFA 0001F8E5");
        const std::pair<const char*, const char*> figures[] = {
            {"replaygain_track_gain", "-6.20 dB"}, {"replaygain_track_peak", "0.988"}};
        for (const auto& [name, value] : figures)
            id3->addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(
                name, TagLib::StringList(value), String::Latin1));
        auto* rva2 = new TagLib::ID3v2::RelativeVolumeFrame;
        rva2->setIdentification("track");
        rva2->setVolumeAdjustment(-6.2f);
        id3->addFrame(rva2);
    } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(ref.file())) {
        // Where iTunes and the ReplayGain scanners put them; TagLib has no
        // property names for these.
        TagLib::MP4::Tag* tag = mp4->tag();
        tag->setItem("\251cmt", TagLib::StringList("Lease only"));
        const std::pair<const char*, const char*> figures[] = {
            {"replaygain_track_gain", "-6.20 dB"},
            {"iTunNORM", " 000002A1 00000295 00001C0E 00001BFA 0001F8E5"},
            {"iTunSMPB", " 00000000 00000840 000001C0 0000000000020E00"}};
        for (const auto& [name, value] : figures)
            tag->setItem(String("----:com.apple.iTunes:") + name, TagLib::StringList(value));
    } else {
        tags.insert("COMMENT", String("Lease only"));
        tags.insert("REPLAYGAIN_TRACK_GAIN", String("-6.20 dB"));
        tags.insert("REPLAYGAIN_ALBUM_GAIN", String("-5.90 dB"));
        tags.insert("R128_TRACK_GAIN", String("-1587"));
        ref.file()->setProperties(tags);
    }
    ASSERT_TRUE(ref.file()->save()) << path;
}

// The output's comment is the first a player finds, the track's own stays
// beside it, and no figure measured on the track's sound is carried over
// to the output's, which is another.
TEST_F(Formats, TheOutputsCommentComesFirstBesideTheTracksOwnAndNoLoudnessFiguresFollow) {
    for (const char* track : {"in/a.mp3", "in/b.flac", "in/c.wav"})
        MakeTone(Work(track), 3, "sine 330 vol 0.3", 44100, 2);
    // ffmpeg's files name their encoder: no note of the output's own.
    Encode(Work("in/d.m4a"), "aac");
    Encode(Work("in/e.opus"), "libopus");
    const wxArrayString tracks =
        Files({"in/a.mp3", "in/b.flac", "in/c.wav", "in/d.m4a", "in/e.opus"});
    for (const wxString& track : tracks)
        TagWithCommentAndLoudness(track.utf8_string());
    const String marker(g_previewComment.utf8_str().data(), String::UTF8);
    for (OutputFormat format : kOutputs) {
        EXPECT_EQ(5u, Render(tracks, RunSettings(format)).size());
        for (const char* base : {"a", "b", "c", "d", "e"}) {
            const std::string out = Output(base, format);
            SCOPED_TRACE(out);
            for (const char* figure : {"replaygain", "r128", "itunnorm", "itunsmpb", "RVA2"})
                EXPECT_EQ(0u, Occurrences(out, figure)) << figure;
            const TagLib::PropertyMap properties = ReadFile(out).properties;
            for (const char* note : {"ENCODER", "ENCODEDBY", "ENCODING"})
                EXPECT_FALSE(properties.contains(note)) << note;
            TagLib::FileRef ref(out.c_str());
            ASSERT_FALSE(ref.isNull());
            EXPECT_EQ("Nachtflug", ref.file()->properties()["TITLE"].toString().to8Bit());
            if (TagLib::ID3v2::Tag* id3 = Id3Of(ref.file())) {
                const TagLib::ID3v2::FrameList comments = id3->frameList("COMM");
                ASSERT_EQ(2u, comments.size());
                const String texts[] = {marker, "Lease only"};
                for (size_t i = 0; i < 2; ++i) {
                    const auto* comm = static_cast<TagLib::ID3v2::CommentsFrame*>(comments[i]);
                    EXPECT_EQ(texts[i], comm->text()) << i;
                    EXPECT_EQ(TagLib::ByteVector("eng"), comm->language()) << i;
                    EXPECT_EQ(String(), comm->description()) << i;
                }
                EXPECT_TRUE(id3->frameList("TXXX").isEmpty());
            } else {
                TagLib::Ogg::XiphComment* xiph = nullptr;
                if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(ref.file()))
                    xiph = flac->xiphComment();
                else if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(ref.file()))
                    xiph = vorbis->tag();
                else if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(ref.file()))
                    xiph = opus->tag();
                if (format == OutputFormat::M4a) {
                    EXPECT_EQ(marker + "; Lease only",
                              ref.file()->properties()["COMMENT"].toString(" | "));
                    continue;
                }
                ASSERT_NE(nullptr, xiph);
                EXPECT_EQ(marker + " | Lease only",
                          xiph->fieldListMap()["COMMENT"].toString(" | "));
            }
            if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(ref.file())) {
                EXPECT_EQ(marker + "; Lease only", wav->InfoTag()->comment());
                EXPECT_EQ(1u, Occurrences(out, "ICMT"));
            }
        }
    }
}

// Where the file system keeps no extended attributes (ramfs), the output's
// mark goes into its tags, beside the comments, not over them.
TEST_F(Formats, AMarkInTheTagsLeavesTheCommentsAsTheyWere) {
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a ramfs needs root";
    MakeTone(Work("in/a.mp3"), 3, "sine 330 vol 0.3", 44100, 2);
    TagWithCommentAndLoudness(Work("in/a.mp3"));
    const std::string folder = Work("plain");
    ASSERT_EQ(
        0, Shell("mkdir " + ShellQuote(folder) + " && mount -t ramfs ramfs " + ShellQuote(folder)));
    RenderSettings settings = RunSettings(OutputFormat::Mp3);
    settings.folder = Wx(folder);
    Render(Files({"in/a.mp3"}), settings);
    // Rendered again: the first output is known for this program's own.
    const wxArrayString lines = Render(Files({"in/a.mp3"}), settings);
    const std::string out = folder + "/a.mp3";
    EXPECT_TRUE(IsMarkedOutput(Wx(out)));
    TagLib::StringList comments;
    {
        TagLib::MPEG::File file(out.c_str());
        for (auto* frame :
             file.ID3v2Tag() ? file.ID3v2Tag()->frameList("COMM") : TagLib::ID3v2::FrameList())
            comments.append(frame->toString());
    }
    EXPECT_EQ(0, Shell("umount " + ShellQuote(folder)));
    EXPECT_EQ(Strings({"a.mp3: Process completed successfully"}), lines);
    EXPECT_EQ(String(g_previewComment.utf8_str().data(), String::UTF8) + " | Lease only",
              comments.toString(" | "));
}

TEST_F(Formats, ATrackWithoutTagsGivesOutputsWithoutTagsAndAMergedFileTakesTheAlbumsTags) {
    MakeTone(Work("in/plain.wav"), 3, "sine 330 vol 0.3", 44100, 2);
    // With only their encoder's note.
    Encode(Work("in/plain-aac.m4a"), "aac");
    Encode(Work("in/plain-opus.opus"), "libopus");
    MakeTone(Work("in/first.flac"), 3, "sine 330 vol 0.3", 44100, 2);
    TagMaster(Work("in/first.flac"));
    for (OutputFormat format : kOutputs)
        Render(Files({"in/plain.wav", "in/plain-aac.m4a", "in/plain-opus.opus"}),
               RunSettings(format));
    for (OutputFormat format : kOutputs)
        for (const char* base : {"plain", "plain-aac", "plain-opus"}) {
            const std::string out = Output(base, format);
            const ReadBack back = ReadFile(out);
            EXPECT_TRUE(back.properties.isEmpty())
                << out << ": " << back.properties.toString().to8Bit(true);
            EXPECT_TRUE(back.pictures.empty()) << out;
            // Nor the converter's own note (looked for where no sound of
            // ffmpeg's could hold the bytes by chance).
            if (std::string(base) == "plain") {
                EXPECT_EQ(std::string::npos, Contents(out).find("SoX")) << out;
            }
        }

    RenderSettings settings = RunSettings(OutputFormat::Mp3);
    settings.merge = true;
    settings.mergeName = "Album preview";
    EXPECT_EQ(2u, Render(Files({"in/first.flac", "in/plain.wav"}), settings).size());
    const ReadBack merged = ReadFile(Work("out/Album preview.mp3"));
    EXPECT_EQ("Night Flights", merged.properties["ALBUM"].toString().to8Bit());
    EXPECT_EQ("2026", merged.properties["DATE"].toString().to8Bit());
    // The first track's own title, artist and BPM are not the whole file's.
    for (const char* key : {"TITLE", "ARTIST", "BPM", "ISRC"})
        EXPECT_FALSE(merged.properties.contains(key)) << key;
    EXPECT_EQ(g_previewComment.utf8_string(), merged.properties["COMMENT"].toString().to8Bit());
    ASSERT_EQ(1u, merged.pictures.size());
    EXPECT_TRUE(merged.pictures[0].first == CoverBytes());
}

TEST_F(Formats, ATagThatCannotBeWrittenIsReportedAndTheOutputKept) {
    MakeTone(Work("in/a.flac"), 2, "sine 330 vol 0.3", 44100, 2);
    TagMaster(Work("in/a.flac"));
    // A finished output that cannot be rewritten: on a read-only mount for
    // root, read-only for anyone else.
    const std::string locked = Work("locked");
    const bool root = geteuid() == 0;
    const std::string quoted = ShellQuote(locked), file = ShellQuote(locked + "/a.mp3");
    ASSERT_EQ(0, Shell("mkdir " + quoted +
                       (root ? " && mount -t tmpfs -o size=4m tmpfs " + quoted : "") +
                       " && sox -n -r 44100 " + file + " synth 1 sine 300 && " +
                       (root ? "mount -o remount,ro " + quoted : "chmod 444 " + file)));
    const std::string before = Contents(locked + "/a.mp3");
    EXPECT_EQ("its tags and pictures could not be written.",
              CopyTags(Wx(Work("in/a.flac")), Wx(locked + "/a.mp3")));
    EXPECT_EQ(before, Contents(locked + "/a.mp3"));
    Shell(root ? "umount " + quoted : "chmod 644 " + file);
}

TEST_F(Formats, FlacOggAndWavPackTracksRenderAndFlacAndOggOutputsDecodeAsTheTrack) {
    MakeTone(Work("in/a.flac"), 6.5, "sine 330 vol 0.3", 48000, 2);
    MakeTone(Work("in/b.ogg"), 5.5, "sine 330 vol 0.3", 44100, 1);
    MakeTone(Work("in/c.wv"), 4.5, "sine 330 vol 0.3", 22050, 2);
    const wxArrayString tracks = Files({"in/a.flac", "in/b.ogg", "in/c.wv"});
    const struct {
        const char* base;
        int rate, channels;
        double seconds;
    } expected[] = {{"a", 48000, 2, 6.5}, {"b", 44100, 1, 5.5}, {"c", 22050, 2, 4.5}};
    for (OutputFormat format : {OutputFormat::Flac, OutputFormat::Ogg, OutputFormat::Wav}) {
        EXPECT_EQ(3u, Render(tracks, RunSettings(format)).size());
        for (const auto& e : expected) {
            const std::string out = Output(e.base, format);
            const AudioInfo info = Inspect(out);
            EXPECT_EQ(e.rate, info.rate) << out;
            EXPECT_EQ(e.channels, info.channels) << out;
            EXPECT_NEAR(e.seconds, info.seconds, format == OutputFormat::Ogg ? 0.02 : 0.0001)
                << out;
            // The first watermark at 1 s.
            EXPECT_GT(PeakIn(out, 1.05, 0.3), 0.5) << out;
        }
    }
    // FLAC and WAV keep the track's sample size.
    std::string bits, trackBits;
    Shell("soxi -b " + ShellQuote(Work("in/a.flac")), &trackBits);
    Shell("soxi -b " + ShellQuote(Output("a", OutputFormat::Flac)) + " " +
              ShellQuote(Output("a", OutputFormat::Wav)),
          &bits);
    EXPECT_EQ(trackBits + trackBits, bits);

    // Ogg takes the slider's bitrate as its nominal one.
    RenderSettings settings = RunSettings(OutputFormat::Ogg);
    std::vector<size_t> sizes;
    for (int kbits : {64, 320}) {
        settings.bitrate = kbits;
        Render(Files({"in/a.flac"}), settings);
        sizes.push_back(Contents(Output("a", OutputFormat::Ogg)).size());
    }
    EXPECT_GT(sizes[1], 2 * sizes[0]);
}

// The MD5 sum of the file's sound as ffmpeg decodes it; empty when it cannot.
std::string DecodedSum(const std::string& path) {
    std::string sum;
    if (Shell("ffmpeg -v quiet -nostdin -i " + ShellQuote(path) + " -map 0:a -f md5 -", &sum) != 0)
        return std::string();
    return sum;
}

// An output as its writer left it, ready for its tags: out/NAME.
std::string BlankOutput(const std::string& blank, const std::string& name,
                        const std::string& folder) {
    const std::string out = folder + "/" + name;
    EXPECT_EQ(0, Shell("cp " + ShellQuote(blank) + " " + ShellQuote(out)));
    return out;
}

class FormatsMp4AndOpus : public Formats {
protected:
    void SetUp() override {
        Formats::SetUp();
        MakeFolders({"blank"});
        Encode(Work("blank/o.m4a"), "aac");
        Encode(Work("blank/o.opus"), "libopus");
        MakeTone(Work("blank/o.flac"), 3, "sine 330 vol 0.3", 44100, 2);
    }
    // A copy of the blank output of that extension, named for the track.
    std::string OutputFor(const std::string& track, const std::string& extension) const {
        std::string base = track.substr(track.rfind('/') + 1);
        std::replace(base.begin(), base.end(), '.', '-');
        return BlankOutput(Work("blank/o." + extension), base + "." + extension, Work("out"));
    }
    // Tags track's copy into an output of each extension; the outputs.
    std::vector<std::string> CopyToEach(const std::string& track,
                                        const std::vector<const char*>& extensions,
                                        TagScope scope = TagScope::Track) {
        std::vector<std::string> outputs;
        for (const char* extension : extensions) {
            outputs.push_back(OutputFor(track, extension));
            bool wrote = false;
            EXPECT_EQ("", CopyTags(Wx(Work(track)), Wx(outputs.back()), scope, &wrote))
                << outputs.back();
            EXPECT_TRUE(wrote) << outputs.back();
        }
        return outputs;
    }
};

// A merged file of MP4 or Opus takes the album's tags, from an ALAC track too.
TEST_F(FormatsMp4AndOpus, AMergedFileTakesTheAlbumsTags) {
    Encode(Work("in/first.m4a"), "alac");
    MakeTone(Work("in/first.mp3"), 3, "sine 330 vol 0.3", 44100, 2);
    const std::string marker = g_previewComment.utf8_string();
    for (const char* track : {"in/first.m4a", "in/first.mp3"}) {
        TagMaster(Work(track));
        for (const std::string& out : CopyToEach(track, {"m4a", "opus", "flac"}, TagScope::Album)) {
            const ReadBack merged = ReadFile(out);
            EXPECT_EQ("Night Flights", merged.properties["ALBUM"].toString().to8Bit()) << out;
            EXPECT_EQ("2026", merged.properties["DATE"].toString().to8Bit()) << out;
            for (const char* key : {"TITLE", "ARTIST", "BPM", "ISRC"})
                EXPECT_FALSE(merged.properties.contains(key)) << out << ": " << key;
            EXPECT_EQ(TagLib::StringList(String(marker, String::UTF8)),
                      merged.properties["COMMENT"])
                << out;
            ASSERT_EQ(1u, merged.pictures.size()) << out;
            EXPECT_TRUE(merged.pictures[0].first == CoverBytes()) << out;
        }
    }
}

// Where the file system keeps no extended attributes (ramfs), the mark goes
// into the tags of MP4 and Opus outputs too, and leaves the rest as it was.
TEST_F(FormatsMp4AndOpus, AMarkInTheTagsOfMp4AndOpusOutputsLeavesTheirTagsAndSound) {
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a ramfs needs root";
    MakeTone(Work("in/a.flac"), 3, "sine 330 vol 0.3", 44100, 2);
    TagMaster(Work("in/a.flac"));
    const std::string folder = Work("plain");
    ASSERT_EQ(
        0, Shell("mkdir " + ShellQuote(folder) + " && mount -t ramfs ramfs " + ShellQuote(folder)));
    for (const char* extension : {"m4a", "opus"}) {
        const std::string out = BlankOutput(Work("blank/o." + std::string(extension)),
                                            std::string("a.") + extension, folder);
        SCOPED_TRACE(out);
        EXPECT_EQ("", CopyTags(Wx(Work("in/a.flac")), Wx(out)));
        const ReadBack before = ReadFile(out);
        const double seconds = AudioSeconds(Wx(out));
        const std::string sum = DecodedSum(out);
        EXPECT_NE("", sum);
        EXPECT_FALSE(IsMarkedOutput(Wx(out)));
        EXPECT_TRUE(MarkAsOutput(Wx(out)));
        EXPECT_TRUE(IsMarkedOutput(Wx(out)));
        const ReadBack after = ReadFile(out);
        for (const auto& [key, values] : before.properties)
            EXPECT_EQ(values, after.properties[key]) << key.to8Bit();
        EXPECT_TRUE(before.pictures == after.pictures);
        EXPECT_EQ(seconds, AudioSeconds(Wx(out)));
        EXPECT_EQ(sum, DecodedSum(out));
    }
    EXPECT_EQ(0, Shell("umount " + ShellQuote(folder)));
}

TEST(AudioFileNames, TheListsAndFoldersTakeEveryFormatSoxOrFfmpegReadsForUs) {
    for (const char* name : {"a.mp3", "b.WAV", "c.aif", "d.aiff", "e.flac", "f.Ogg", "g.oga",
                             "h.wv", "i.m4a", "j.MP4", "k.opus", "l.wma"})
        EXPECT_TRUE(IsAudioFileName(name)) << name;
    for (const char* name : {"a.txt", "flac", "b.mp3.part", "c.m4v", ".wav.bak", "d.aac"})
        EXPECT_FALSE(IsAudioFileName(name)) << name;
    // Upper-case names too: the file dialog's filter is case-sensitive.
    EXPECT_NE(wxNOT_FOUND, AudioFileWildcard().Find("*.FLAC"));
}

} // namespace
