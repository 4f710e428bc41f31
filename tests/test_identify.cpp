// Tracing a leaked copy to its recipient: the manifest, the tags, and the
// watermarks' places heard through re-encoding, a cut, a lower level and a
// changed speed.
#include "LeakTrace.h"
#include "Manifest.h"
#include "RenderRun.h"
#include "Recipients.h"
#include "TagCopy.h"
#include "testutil.h"

#include <wx/filename.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <sstream>

namespace {

const int kRecipients = 8;
const int kTracks = 3;
const uint32_t kRunSeed = 2024;
const int kStart = 5, kInterval = 10, kVary = 3;
const int kRate = 22050;

std::string Fixed(double value, int decimals = 3) {
    std::ostringstream text;
    text.setf(std::ios::fixed);
    text.precision(decimals);
    text << value;
    return text.str();
}

// A music-like track: chords of three or four tones changing every few
// seconds over three octaves, a kick and a hat, all from seed.
void MakeMusic(const std::string& folder, const std::string& name, double seconds, unsigned seed) {
    std::mt19937 random(seed);
    const double roots[] = {110, 123.5, 130.8, 146.8, 164.8, 174.6, 196, 220};
    const double chords[][4] = {
        {1, 1.26, 1.5, 2}, {1, 1.19, 1.5, 2}, {1, 1.26, 1.5, 1.78}, {1, 1.19, 1.5, 1.78}};
    const double chordSeconds = 1.5 + random() % 3 * 0.5;
    const std::string work = ShellQuote(folder + "/" + name + ".parts");
    std::string script = "set -e; mkdir -p " + work + "; cd " + work + "; ";
    std::string parts;
    for (int i = 0; i * chordSeconds < seconds; ++i) {
        const double root = roots[random() % 8];
        const auto& chord = chords[random() % 4];
        std::string tones;
        for (double ratio : chord)
            tones += " sine " + Fixed(root * ratio * (1 << random() % 3), 1);
        const std::string part = "c" + std::to_string(1000 + i) + ".wav";
        script += "sox -n -r " + std::to_string(kRate) + " -c 4 " + part + " synth " +
                  Fixed(chordSeconds) + tones + " fade q 0.02 " + Fixed(chordSeconds) + " 0.3; ";
        parts += " " + part;
    }
    const double beat = 0.4 + random() % 4 * 0.05;
    script += "sox" + parts + " chords.wav remix -; ";
    script += "sox -n -r " + std::to_string(kRate) +
              " -c 1 kick.wav synth 0.09 pinknoise fade q 0.002 0.09 0.08 pad 0 " +
              Fixed(beat - 0.09) + "; ";
    script += "sox -n -r " + std::to_string(kRate) +
              " -c 1 hat.wav synth 0.03 whitenoise fade q 0.001 0.03 0.02 vol 0.3 pad " +
              Fixed(beat / 2) + " " + Fixed(beat / 2 - 0.03) + "; ";
    script += "sox -m kick.wav hat.wav bar.wav; sox bar.wav drums.wav repeat " +
              std::to_string(static_cast<int>(seconds / beat) + 1) + "; ";
    script += "sox -m -v 1 chords.wav -v 0.6 drums.wav " + ShellQuote(folder + "/" + name) +
              " trim 0 " + Fixed(seconds) + " gain -n -6; cd ..; rm -rf " + work;
    std::string out;
    ASSERT_EQ(0, Shell(script, &out)) << out;
}

// The tracks, the watermarks, and a recipients run's copies of every track
// for eight recipients with their manifest, made once for the process.
struct Fixture {
    TempDir dir;
    std::vector<std::string> tracks;
    std::vector<Recipient> recipients;
    wxArrayString watermarks;
    Manifest manifest;
    std::string manifestPath;
};
std::unique_ptr<Fixture> g_fixture;

// The settings of the fixture's run, into folder: the watermarks 10 LU
// under the music around them, clearly heard and well under it.
RenderSettings RunInto(const std::string& folder) {
    RenderSettings settings;
    settings.start = kStart;
    settings.interval = kInterval;
    settings.vary = kVary;
    settings.seed = kRunSeed;
    settings.levelMode = LevelMode::AgainstMusicThere;
    settings.level = -10;
    settings.format = OutputFormat::Wav;
    settings.folder = Wx(folder);
    EXPECT_EQ(0, Shell("mkdir -p " + ShellQuote(folder)));
    return settings;
}

// Renders tracks with the fixture's watermarks as settings say; false when
// a track was not rendered.
bool Render(const RenderSettings& settings, const wxArrayString& tracks) {
    RenderRun run(settings, tracks, g_fixture->watermarks);
    const wxArrayString lines = run.Run();
    EXPECT_TRUE(run.Complete()) << wxJoin(lines, '\n');
    return run.Complete();
}

void MakeFixture() {
    auto f = std::make_unique<Fixture>();
    const double lengths[kTracks] = {64.3, 77.9, 88.6};
    wxArrayString tracks;
    for (int t = 0; t < kTracks; ++t) {
        const std::string name = "track" + std::to_string(t + 1) + ".wav";
        MakeMusic(f->dir.path(), name, lengths[t], 11 + t);
        f->tracks.push_back(f->dir / name);
        tracks.Add(Wx(f->tracks.back()));
    }
    // A chirp, and a pattern of two tones.
    const std::string chirp = f->dir / "chirp.wav", bursts = f->dir / "bursts.wav";
    MakeTone(chirp, 1.5, "sine 400:2500 fade q 0.01 1.5 0.05", kRate, 1);
    MakeTone(f->dir / "b1.wav", 0.25, "sine 1200 fade q 0.005 0.15 0.01", kRate, 1);
    MakeTone(f->dir / "b2.wav", 0.25, "sine 1800 fade q 0.005 0.15 0.01", kRate, 1);
    ASSERT_EQ(0, Shell("cd " + ShellQuote(f->dir.path()) +
                       " && sox b1.wav b2.wav b1.wav b2.wav b1.wav bursts.wav"));
    f->watermarks = Strings({Wx(chirp), Wx(bursts)});
    const char* names[kRecipients] = {"DJ Ana", "Bo Ek", "Radio Cé",  "Dan",
                                      "Eve",    "Zoë Ü", "Press Kit", "Hal"};
    for (int r = 0; r < kRecipients; ++r)
        f->recipients.push_back({Wx(names[r]), r == 3 ? wxString() : wxString::Format("A%d", r)});
    RenderSettings settings = RunInto(f->dir / "out");
    settings.recipients.list = f->recipients;
    g_fixture = std::move(f);
    ASSERT_TRUE(Render(settings, tracks));
    g_fixture->manifestPath = g_fixture->dir / "out/manifest.json";
    wxString error;
    ASSERT_TRUE(ReadManifest(Wx(g_fixture->manifestPath), g_fixture->manifest, error)) << error;
    ASSERT_EQ(static_cast<size_t>(kRecipients * kTracks), g_fixture->manifest.copies.size());
}

class Identify : public BundleTest {
protected:
    void SetUp() override {
        BundleTest::SetUp();
        if (!g_fixture && !HasFatalFailure())
            MakeFixture();
        ASSERT_TRUE(g_fixture);
    }
    const Fixture& F() const { return *g_fixture; }

    // A leak of file as it often goes: from cut seconds in, at speed, turned
    // down 3 dB, encoded again as MP3 at 128 kbit/s without any tags.
    std::string Leak(const std::string& file, const std::string& name, double cut = 7.3,
                     double speed = 1) {
        const std::string leak = Work(name);
        const std::string command = "sox -V1 " + ShellQuote(file) + " -t wav - trim " + Fixed(cut) +
                                    (speed != 1 ? " speed " + Fixed(speed) : "") +
                                    " gain -3 | ffmpeg -nostdin -v error -y -i - -map_metadata -1 "
                                    "-c:a libmp3lame -b:a 128k " +
                                    ShellQuote(leak);
        std::string out;
        EXPECT_EQ(0, Shell(command, &out)) << out;
        return leak;
    }

    LeakAnswer Trace(const std::string& file) const {
        return IdentifyCopy(Wx(file), Wx(F().manifestPath));
    }

    static std::string Who(const ManifestCopy& copy) {
        return (copy.recipient + (copy.id.empty() ? wxString() : " (ID " + copy.id + ")"))
            .utf8_string();
    }
};

TEST_F(Identify, TracesReencodedCutQuieterUntaggedCopiesToTheirRecipientAndTrack) {
    std::mt19937 random(7);
    for (int i = 0; i < 10; ++i) {
        const ManifestCopy& copy = F().manifest.copies[random() % F().manifest.copies.size()];
        SCOPED_TRACE(copy.output.utf8_string());
        const std::string leak = Leak(copy.output.utf8_string(), "leak.mp3");
        const LeakAnswer answer = Trace(leak);
        EXPECT_EQ(LeakAnswer::Kind::FromAudio, answer.kind) << answer.text;
        EXPECT_EQ(copy.recipient, answer.recipient);
        EXPECT_EQ(copy.id, answer.id);
        EXPECT_EQ(copy.output, answer.output);
        EXPECT_GE(answer.confidence, 0.99);
        const std::string text = answer.text.utf8_string();
        EXPECT_EQ(0u, text.find("leak.mp3: the copy of " + Who(copy) + " of " +
                                wxFileName(copy.track).GetFullName().utf8_string() + ": "))
            << text;
        EXPECT_NE(std::string::npos, text.find(" watermark copies found where they were placed "
                                               "(confidence "))
            << text;
    }
}

TEST_F(Identify, TracesACopyWhoseSpeedChangedByOnePercent) {
    for (const double speed : {1.01, 0.99}) {
        const ManifestCopy& copy = F().manifest.copies[speed > 1 ? 13 : 20];
        const LeakAnswer answer = Trace(Leak(copy.output.utf8_string(), "fast.mp3", 2.1, speed));
        EXPECT_EQ(LeakAnswer::Kind::FromAudio, answer.kind) << answer.text;
        EXPECT_EQ(copy.recipient, answer.recipient) << answer.text;
        EXPECT_EQ(copy.output, answer.output) << answer.text;
        EXPECT_GE(answer.confidence, 0.99);
    }
}

// Music without the watermarks, a copy another run placed with seeds of its
// own, and one an ordinary run placed on the regular seconds share the
// recipients' watermarks or their regular places, never their varied ones.
TEST_F(Identify, NoRecipientMatchesAnUnrelatedTrackOrAnotherRunsCopy) {
    MakeMusic(m_dir.path(), "other.wav", 70, 99);
    const wxArrayString track(1, Wx(F().tracks[1]));
    RenderSettings otherRun = RunInto(Work("other run"));
    otherRun.seed = 77;
    otherRun.recipients.list = {F().recipients[0]};
    ASSERT_TRUE(Render(otherRun, track));
    RenderSettings plain = RunInto(Work("plain"));
    plain.vary = 0;
    ASSERT_TRUE(Render(plain, track));
    for (const std::string& file :
         {Work("other.wav"), Work("other run/DJ Ana/track2.wav"), Work("plain/track2.wav")}) {
        SCOPED_TRACE(file);
        const LeakAnswer answer = Trace(Leak(file, "leak.mp3"));
        EXPECT_EQ(LeakAnswer::Kind::NoMatch, answer.kind) << answer.text;
        EXPECT_EQ(0u, answer.text.find("leak.mp3: no recipient matches")) << answer.text;
        EXPECT_EQ(0, answer.confidence);
        EXPECT_EQ("", answer.recipient);
    }
}

// Tags name the recipient whatever the sound says; the very file written is
// known by its bytes.
TEST_F(Identify, TagsOrTheFileItselfNameTheRecipient) {
    const ManifestCopy& copy = F().manifest.copies[kRecipients + 6]; // the second track's
    const ManifestCopy& named = F().manifest.copies[kRecipients + 2];
    const std::string tagged = Work("tagged.mp3");
    // Another recipient's sound, these tags.
    ASSERT_EQ(0, Shell("ffmpeg -nostdin -v error -i " + ShellQuote(copy.output.utf8_string()) +
                       " -map_metadata -1 -metadata " +
                       ShellQuote("comment=Watermarked preview for Radio Cé") + " -metadata " +
                       ShellQuote("RECIPIENT ID=" + named.id.utf8_string()) + " -b:a 128k " +
                       ShellQuote(tagged)));
    LeakAnswer answer = Trace(tagged);
    EXPECT_EQ(LeakAnswer::Kind::FromTags, answer.kind) << answer.text;
    EXPECT_EQ(named.recipient, answer.recipient);
    EXPECT_EQ(named.output, answer.output);
    EXPECT_EQ(1, answer.confidence);
    EXPECT_EQ("tagged.mp3: the copy of Radio Cé (ID A2) of track2.wav, from its tags.",
              answer.text.utf8_string());

    // A recipient without an ID is known by the name in its comment.
    const ManifestCopy& nameOnly = F().manifest.copies[3];
    ASSERT_EQ("", nameOnly.id);
    const std::string byName = Work("by name.ogg");
    ASSERT_EQ(0, Shell("ffmpeg -nostdin -v error -i " + ShellQuote(copy.output.utf8_string()) +
                       " -t 20 -map_metadata -1 -metadata " +
                       ShellQuote("comment=Watermarked preview for Dan; a lovely tune") + " " +
                       ShellQuote(byName)));
    answer = Trace(byName);
    EXPECT_EQ(LeakAnswer::Kind::FromTags, answer.kind) << answer.text;
    EXPECT_EQ("Dan", answer.recipient);
    // Twenty seconds of a track: which of the three it is cannot be told.
    EXPECT_EQ("by name.ogg: the copy of Dan, from its tags.", answer.text.utf8_string());

    const std::string same = Work("same.wav");
    ASSERT_EQ(0, Shell("cp " + ShellQuote(copy.output.utf8_string()) + " " + ShellQuote(same)));
    answer = Trace(same);
    EXPECT_EQ(LeakAnswer::Kind::FromTags, answer.kind) << answer.text;
    EXPECT_EQ(copy.output, answer.output);
    EXPECT_EQ(1, answer.confidence);
    EXPECT_EQ("same.wav: the copy of Press Kit (ID A6) of track2.wav: it is the file written for "
              "Press Kit, byte for byte.",
              answer.text.utf8_string());
}

TEST_F(Identify, UnreadableManifestsAndFilesFailWithTheirReason) {
    const std::string leak = F().manifest.copies[0].output.utf8_string();
    const std::string broken = Work("broken.json"), other = Work("other.json");
    ASSERT_EQ(0, Shell("printf '{\"program\": \"velisto\", \"copies\": [' > " + ShellQuote(broken) +
                       " && echo '{\"a\": 1}' > " + ShellQuote(other)));
    for (const std::string& manifest : {broken, other}) {
        const LeakAnswer answer = IdentifyCopy(Wx(leak), Wx(manifest));
        EXPECT_EQ(LeakAnswer::Kind::Failed, answer.kind);
        EXPECT_EQ(manifest + " is not a manifest of recipients' copies" +
                      (manifest == broken ? " (it is not JSON)." : "."),
                  answer.text.utf8_string());
    }
    LeakAnswer answer = IdentifyCopy(Wx(leak), Wx(Work("missing.json")));
    EXPECT_EQ(LeakAnswer::Kind::Failed, answer.kind);
    EXPECT_EQ("cannot read the manifest " + Work("missing.json") + ".", answer.text.utf8_string());

    Spoil(Work("noise.mp3"));
    answer = Trace(Work("noise.mp3"));
    EXPECT_EQ(LeakAnswer::Kind::Failed, answer.kind);
    EXPECT_EQ(0u, answer.text.find("noise.mp3: cannot be read as audio: ")) << answer.text;

    // Asked to stop, it does.
    answer = IdentifyCopy(Wx(Leak(leak, "leak.mp3")), Wx(F().manifestPath), [] { return true; });
    EXPECT_EQ(LeakAnswer::Kind::Failed, answer.kind);
    EXPECT_EQ("leak.mp3: identifying cancelled.", answer.text);
}

// Names in any script come back as written; written again the manifest
// reads the same, and an old one is replaced whole.
TEST_F(Identify, AManifestReadsBackAsWritten) {
    const Manifest& written = F().manifest;
    EXPECT_NE(std::string::npos, Contents(F().manifestPath).find("\"recipient\": \"Zoë Ü\""));

    const std::string path = Work("out/manifest.json");
    wxString error;
    Manifest small;
    small.copies.push_back(written.copies[5]);
    ASSERT_TRUE(WriteManifest(Wx(path), small, error)) << error;
    ASSERT_TRUE(WriteManifest(Wx(path), written, error)) << error;
    EXPECT_EQ("manifest.json\n", Listing(Work("out")));
    EXPECT_EQ(Contents(F().manifestPath), Contents(path));
    EXPECT_FALSE(WriteManifest(Wx(Work("none/manifest.json")), small, error));
    EXPECT_NE(wxNOT_FOUND, error.Find("cannot write the manifest")) << error;

    ASSERT_EQ(0, Shell("printf abc > " + ShellQuote(Work("abc"))));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
              FileSha256(Wx(Work("abc"))));
    EXPECT_EQ("", FileSha256(Wx(Work("missing"))));
}

} // namespace
