// Copies placed apart from each other and copies per recipient: the varied
// places, the recipients' folders, names, tags and spoken tags, and the
// manifest. Tracing leaked copies is tested with the manifest's reader.
#include "FileFacts.h"
#include "Manifest.h"
#include "Placement.h"
#include "RenderRun.h"
#include "TagCopy.h"
#include "testutil.h"

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include <algorithm>

namespace {

class Recipients : public BundleTest {
protected:
    // A track of pink noise whose loudness wanders, silent from 40 s to 52 s.
    std::string MakeTrackWithGap() {
        const std::string track = Work("in/gap.wav");
        EXPECT_EQ(0, Shell("cd " + ShellQuote(Work("in")) +
                           " && sox -n -r 22050 -c 1 a.wav synth 40 pinknoise tremolo 1.5 40"
                           " && sox -n -r 22050 -c 1 b.wav trim 0 12"
                           " && sox -n -r 22050 -c 1 c.wav synth 38 pinknoise tremolo 2.5 40"
                           " && sox a.wav b.wav c.wav gap.wav && rm a.wav b.wav c.wav"));
        return track;
    }

    static std::shared_ptr<const LoudnessProfile> Music(const std::string& path) {
        wxString failure;
        auto music = FileFacts::TrackLoudness(Wx(path), failure);
        EXPECT_TRUE(music) << failure;
        return music;
    }

    // Tag values of a file, by key, as TagLib reads them.
    static TagLib::PropertyMap TagsOf(const std::string& path) {
        TagLib::FileRef ref(path.c_str());
        return ref.isNull() ? TagLib::PropertyMap() : ref.file()->properties();
    }
};

// Varied places come from the seed and the sound, not the file's name;
// they keep a second between copies, stay within the range and out of the
// silent stretch, and average out on the regular places.
TEST_F(Recipients, VariedPlacesFollowTheSeedAndTheSoundAndKeepTheirRules) {
    const std::string track = MakeTrackWithGap();
    auto music = Music(track);
    ASSERT_TRUE(music);
    const std::vector<int> regular = WatermarkPositions(90, 5, 10);
    VaryRequest request;
    request.vary = 5;
    request.seed = 7;
    request.soundSeconds.assign(regular.size(), 1.5);
    request.music = music.get();

    // The same sound under another name places alike.
    ASSERT_EQ(0, Shell("cp " + ShellQuote(track) + " " + ShellQuote(Work("in/other name.wav"))));
    auto again = Music(Work("in/other name.wav"));
    ASSERT_TRUE(again);
    const std::vector<double> placed = VariedPositions(regular, 90, request);
    request.music = again.get();
    EXPECT_EQ(placed, VariedPositions(regular, 90, request));

    request.seed = 8;
    const std::vector<double> other = VariedPositions(regular, 90, request);
    size_t moved = 0;
    for (size_t k = 0; k < std::min(placed.size(), other.size()); ++k)
        moved += std::fabs(placed[k] - other[k]) > 0.2;
    EXPECT_GE(moved, regular.size() / 2);

    double offsets = 0;
    size_t count = 0;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        request.seed = seed;
        const std::vector<double> at = VariedPositions(regular, 90, request);
        ASSERT_EQ(regular.size(), at.size()) << seed;
        for (size_t k = 0; k < at.size(); ++k) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", copy " << k);
            EXPECT_LE(std::fabs(at[k] - regular[k]), 5.0 + 1e-9);
            if (k > 0) {
                EXPECT_GE(at[k] - at[k - 1], 1.5 + 1 - 1e-9);
            }
            // Not in the silent stretch: the music where it lands is heard.
            EXPECT_GT(music->LoudnessBetween(at[k], at[k] + 1.5), music->integrated - 20);
            offsets += at[k] - regular[k];
            ++count;
        }
    }
    EXPECT_LT(std::fabs(offsets / count), 0.6);

    // No variation asked, or no room for it: the regular places.
    request.vary = 0;
    EXPECT_EQ(std::vector<double>(regular.begin(), regular.end()),
              VariedPositions(regular, 90, request));
    request.vary = 5;
    request.soundSeconds.assign(regular.size(), 9.5);
    EXPECT_EQ(std::vector<double>(regular.begin(), regular.end()),
              VariedPositions(regular, 90, request));
}

// A render sounds its copies where it placed them, and nowhere else; the
// same settings write the same file, another seed other places.
TEST_F(Recipients, AVariedRenderSoundsWhereItPlacedAndRepeatsItself) {
    MakeTone(Work("in/song.wav"), 61, "sine 200 vol 0.01", 8000, 1);
    MakeTone(Work("wm/beep.wav"), 0.5, "sine 1000", 8000, 1);
    auto render = [&](uint32_t seed, const std::string& folder) {
        MakeFolders({folder});
        CSoxHandler sox;
        PrepareWatermarking(sox, Work("in/song.wav"), {Work("wm/beep.wav")}, Work(folder), 5, 10);
        sox.SetVary(4);
        sox.SetSeed(seed);
        EXPECT_TRUE(sox.Run()) << FirstLine(sox);
        return sox.GetPositions();
    };
    const std::vector<double> at = render(11, "a");
    const std::string out = Work("a/song.wav");
    ASSERT_EQ(6u, at.size());
    EXPECT_NE(std::vector<double>({5, 15, 25, 35, 45, 55}), at);
    double from = 0;
    for (double start : at) {
        EXPECT_GT(PeakIn(out, start + 0.01, 0.48), 0.5) << start;
        EXPECT_LT(PeakIn(out, from, start - from - 0.01), 0.02) << from;
        from = start + 0.51;
    }
    EXPECT_LT(PeakIn(out, from, 61 - from), 0.02);

    EXPECT_EQ(at, render(11, "b"));
    EXPECT_EQ(Contents(out), Contents(Work("b/song.wav")));
    EXPECT_NE(at, render(12, "c"));
}

// Each recipient gets every track in a folder of their own (or with their
// name in the file's), tagged with their name and ID even where the track
// had no tags, placed by a seed of their own, their spoken tag among the
// watermarks; the manifest tells it all, and keeps an earlier run's copies.
TEST_F(Recipients, EveryRecipientGetsTheirOwnTaggedCopiesAndTheManifestListsThem) {
    MakeSilence(Work("in/quiet.wav"), 45, 22050, 1);
    MakeTone(Work("in/tagged.wav"), 45, "sine 300 vol 0.01", 22050, 1);
    {
        TagLib::FileRef ref(Work("in/tagged.wav").c_str());
        TagLib::PropertyMap tags;
        tags.insert("TITLE", TagLib::String("Tagged"));
        tags.insert("COMMENT", TagLib::String("Master"));
        ref.file()->setProperties(tags);
        ASSERT_TRUE(ref.save());
    }
    MakeTone(Work("wm/beep.wav"), 0.5, "sine 1000", 22050, 1);
    RenderSettings settings = RunSettings(OutputFormat::Mp3);
    settings.start = 5;
    settings.interval = 8;
    settings.recipients.list = {{"DJ Ana", "A1"}, {"Bob/Smith", ""}};
    settings.recipients.spoken = true;
    const wxArrayString tracks = Files({"in/quiet.wav", "in/tagged.wav"});
    const wxArrayString watermarks = Files({"wm/beep.wav"});
    RenderRun run(settings, tracks, watermarks);
    ASSERT_EQ("", run.InputProblem());
    const wxArrayString lines = run.Run();
    EXPECT_TRUE(run.Complete()) << lines[0];
    EXPECT_EQ(Strings({"quiet.wav for DJ Ana: Process completed successfully",
                       "quiet.wav for Bob/Smith: Process completed successfully",
                       "tagged.wav for DJ Ana: Process completed successfully",
                       "tagged.wav for Bob/Smith: Process completed successfully",
                       "manifest.json: lists 4 copies written for 2 recipients."}),
              lines);
    EXPECT_EQ("Bob_Smith\nDJ Ana\nmanifest.json\n", Listing(Work("out")));

    for (const std::string file : {"DJ Ana/quiet.mp3", "DJ Ana/tagged.mp3"}) {
        const TagLib::PropertyMap tags = TagsOf(Work("out/" + file));
        ASSERT_TRUE(tags.contains("COMMENT")) << file;
        EXPECT_EQ("Watermarked preview for DJ Ana", tags["COMMENT"].front().to8Bit(true)) << file;
        EXPECT_EQ("A1", tags["RECIPIENT ID"].toString().to8Bit(true)) << file;
    }
    EXPECT_EQ("Tagged", TagsOf(Work("out/Bob_Smith/tagged.mp3"))["TITLE"].toString().to8Bit());
    EXPECT_FALSE(TagsOf(Work("out/Bob_Smith/quiet.mp3")).contains("RECIPIENT ID"));

    Manifest manifest;
    wxString error;
    ASSERT_TRUE(ReadManifest(Wx(Work("out/manifest.json")), manifest, error)) << error;
    EXPECT_EQ(Strings({Wx(Work("wm/beep.wav"))}), manifest.watermarks);
    ASSERT_EQ(4u, manifest.copies.size());
    std::vector<double> ana, bob;
    for (const ManifestCopy& copy : manifest.copies) {
        SCOPED_TRACE(copy.output.ToStdString());
        EXPECT_EQ(FileSha256(copy.output), copy.sha256);
        EXPECT_EQ(copy.recipient == "DJ Ana" ? "A1" : "", copy.id);
        EXPECT_EQ(RecipientSeed(settings.seed, {copy.recipient, copy.id}), copy.seed);
        ASSERT_EQ(copy.positions.size(), copy.sounds.size());
        ASSERT_EQ(5u, copy.positions.size());
        // The beep and the spoken tag in turn: something sounds at every
        // place, even over the silent track.
        EXPECT_EQ(std::vector<int>({0, -1, 0, -1, 0}), copy.sounds);
        if (copy.track.EndsWith("quiet.wav")) {
            for (double at : copy.positions)
                EXPECT_GT(PeakIn(copy.output.ToStdString(), at, 0.5), 0.1) << at;
            (copy.recipient == "DJ Ana" ? ana : bob) = copy.positions;
        }
    }
    EXPECT_NE(ana, bob);

    // A second run, names in the files, keeps the first run's copies listed.
    settings.recipients.naming = RecipientNaming::FileName;
    settings.recipients.spoken = false;
    settings.recipients.list = {{"Cy", "C3"}};
    RenderRun second(settings, Files({"in/quiet.wav"}), watermarks);
    EXPECT_EQ(Strings({"quiet.wav for Cy: Process completed successfully",
                       "manifest.json: lists 1 copy written for 1 recipient, and 4 copies of "
                       "earlier runs."}),
              second.Run());
    EXPECT_TRUE(wxFileExists(Wx(Work("out/quiet for Cy.mp3"))));
    ASSERT_TRUE(ReadManifest(Wx(Work("out/manifest.json")), manifest, error)) << error;
    EXPECT_EQ(5u, manifest.copies.size());

    // A manifest.json that is not one is left as it was, and the run says so.
    ASSERT_EQ(0, Shell("echo 'my notes' > " + ShellQuote(Work("out/manifest.json"))));
    RenderRun third(settings, Files({"in/quiet.wav"}), watermarks);
    const wxArrayString refused = third.Run();
    EXPECT_FALSE(third.Complete());
    ASSERT_EQ(2u, refused.size());
    EXPECT_TRUE(refused[1].StartsWith("manifest.json: Not written: ")) << refused[1];
    EXPECT_EQ("my notes\n", Contents(Work("out/manifest.json")));
}

TEST(RecipientList, CsvWithQuotesHeadingAndItsRefusals) {
    std::vector<Recipient> list;
    wxString error;
    ASSERT_TRUE(ParseRecipients("Name,ID\r\nDJ Ana, A1\n\n\"Smith, Bob\",\"B \"\"2\"\"\"\nCy\n",
                                list, error))
        << error;
    ASSERT_EQ(3u, list.size());
    EXPECT_EQ("DJ Ana", list[0].name);
    EXPECT_EQ("A1", list[0].id);
    EXPECT_EQ("Smith, Bob", list[1].name);
    EXPECT_EQ("B \"2\"", list[1].id);
    EXPECT_EQ("", list[2].id);
    EXPECT_FALSE(ParseRecipients("Ana\n,X9\n", list, error));
    EXPECT_EQ("Line 2: a recipient needs a name.", error);
    EXPECT_FALSE(ParseRecipients("Ana\nana\n", list, error));
    EXPECT_EQ("Line 2: ana is listed twice.", error);
    EXPECT_NE(RecipientSeed(1, {"Ana", ""}), RecipientSeed(2, {"Ana", ""}));
    EXPECT_NE(RecipientSeed(1, {"Ana", ""}), RecipientSeed(1, {"Ana", "1"}));
    EXPECT_EQ("a_b", RecipientFileName("a/b"));
}

} // namespace
