// Tracing a leaked copy to its recipient: the manifest, the tags, and the
// watermarks' places heard through re-encoding, a cut, a lower level and a
// changed speed.
#include "Envelope.h"
#include "LeakTrace.h"
#include "Manifest.h"
#include "Placement.h"
#include "Recipients.h"
#include "TagCopy.h"
#include "testutil.h"

#include <wx/filename.h>
#include <wx/stopwatch.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <sstream>

namespace {

const int kRecipients = 8;
const int kTracks = 3;
const uint32_t kRunSeed = 2024;
// The watermarks against the music's RMS: clearly heard, well under it.
const double kWatermarkDb = -10;
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

// The tracks, the watermarks, eight recipients' copies of every track and
// their manifest, made once for the process.
struct Fixture {
    TempDir dir;
    std::vector<std::string> tracks;
    std::vector<Recipient> recipients;
    Manifest manifest;
    std::string manifestPath;
    std::vector<double> soundSeconds;
    std::vector<double> gains; // each track's watermark volume factor
    std::vector<LoudnessProfile> music;
};
std::unique_ptr<Fixture> g_fixture;

// Where recipient's copies of track go in a run of seed.
std::vector<double> PlacesFor(const Fixture& f, size_t track, const Recipient& recipient,
                              uint32_t seed) {
    const LoudnessProfile& music = f.music[track];
    const double length = static_cast<double>(music.frames) / music.rate;
    const std::vector<int> regular =
        WatermarkPositions(static_cast<int>(length), kStart, kInterval);
    VaryRequest request;
    request.vary = kVary;
    request.seed = RecipientSeed(seed, recipient);
    for (size_t k = 0; k < regular.size(); ++k)
        request.soundSeconds.push_back(f.soundSeconds[WatermarkOfCopy(k, 2)]);
    request.music = &music;
    return VariedPositions(regular, length, request);
}

// Mixes the watermarks into track at places, as a run does, into output.
std::string MixCommand(const Fixture& f, size_t track, const std::vector<double>& places,
                       const std::string& output) {
    std::string command = "sox -V1 -m -v 1 " + ShellQuote(f.tracks[track]);
    for (size_t k = 0; k < places.size(); ++k)
        command += " -v " + Fixed(f.gains[track], 5) + " " +
                   ShellQuote("|sox " + f.manifest.watermarks[WatermarkOfCopy(k, 2)].utf8_string() +
                              " -p pad " + Fixed(places[k], 2));
    return command + " " + ShellQuote(output);
}

void MakeFixture() {
    auto f = std::make_unique<Fixture>();
    const double lengths[kTracks] = {64.3, 77.9, 88.6};
    for (int t = 0; t < kTracks; ++t) {
        const std::string name = "track" + std::to_string(t + 1) + ".wav";
        MakeMusic(f->dir.path(), name, lengths[t], 11 + t);
        f->tracks.push_back(f->dir / name);
    }
    // A chirp, and a pattern of two tones.
    const std::string chirp = f->dir / "chirp.wav", bursts = f->dir / "bursts.wav";
    MakeTone(chirp, 1.5, "sine 400:2500 fade q 0.01 1.5 0.05", kRate, 1);
    MakeTone(f->dir / "b1.wav", 0.25, "sine 1200 fade q 0.005 0.15 0.01", kRate, 1);
    MakeTone(f->dir / "b2.wav", 0.25, "sine 1800 fade q 0.005 0.15 0.01", kRate, 1);
    ASSERT_EQ(0, Shell("cd " + ShellQuote(f->dir.path()) +
                       " && sox b1.wav b2.wav b1.wav b2.wav b1.wav bursts.wav"));
    f->manifest.watermarks = Strings({Wx(chirp), Wx(bursts)});
    f->soundSeconds = {1.5, 1.25};
    const double watermarkRms = RmsIn(chirp, 0, -1), burstRms = RmsIn(bursts, 0, -1);
    ASSERT_NEAR(watermarkRms, burstRms, watermarkRms / 3);
    for (const std::string& track : f->tracks) {
        LoudnessProfile loudness;
        wxString failure;
        ASSERT_TRUE(AnalyseFile(Wx(track), "", nullptr, loudness, failure)) << failure;
        f->music.push_back(loudness);
        f->gains.push_back(RmsIn(track, 0, -1) * std::pow(10, kWatermarkDb / 20) / watermarkRms);
    }
    const char* names[kRecipients] = {"DJ Ana", "Bo Ek", "Radio Cé",  "Dan",
                                      "Eve",    "Zoë Ü", "Press Kit", "Hal"};
    for (int r = 0; r < kRecipients; ++r)
        f->recipients.push_back({Wx(names[r]), r == 3 ? wxString() : wxString::Format("A%d", r)});
    f->manifest.seed = kRunSeed;
    f->manifest.vary = kVary;
    std::string script = "set -e\n";
    int jobs = 0;
    for (size_t t = 0; t < f->tracks.size(); ++t) {
        for (const Recipient& recipient : f->recipients) {
            ManifestCopy copy;
            copy.recipient = recipient.name;
            copy.id = recipient.id;
            copy.track = Wx(f->tracks[t]);
            copy.output = Wx(f->dir / (RecipientFileName(recipient.name).utf8_string() + " " +
                                       std::to_string(t + 1) + ".wav"));
            copy.seed = RecipientSeed(kRunSeed, recipient);
            copy.positions = PlacesFor(*f, t, recipient, kRunSeed);
            for (size_t k = 0; k < copy.positions.size(); ++k)
                copy.sounds.push_back(static_cast<int>(WatermarkOfCopy(k, 2)));
            script += MixCommand(*f, t, copy.positions, copy.output.utf8_string()) + " &\n";
            if (++jobs % 2 == 0)
                script += "wait\n";
            f->manifest.copies.push_back(copy);
        }
    }
    std::string out;
    ASSERT_EQ(0, Shell(script + "wait", &out)) << out;
    for (ManifestCopy& copy : f->manifest.copies) {
        copy.sha256 = FileSha256(copy.output);
        ASSERT_EQ(64u, copy.sha256.length()) << copy.output;
    }
    f->manifestPath = f->dir / "manifest.json";
    wxString error;
    ASSERT_TRUE(WriteManifest(Wx(f->manifestPath), f->manifest, error)) << error;
    g_fixture = std::move(f);
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
    for (int i = 0; i < 4; ++i) {
        const ManifestCopy& copy = F().manifest.copies[random() % F().manifest.copies.size()];
        SCOPED_TRACE(copy.output.utf8_string());
        const std::string leak = Leak(copy.output.utf8_string(), "leak.mp3");
        wxStopWatch watch;
        const LeakAnswer answer = Trace(leak);
        EXPECT_LT(watch.Time(), 5000);
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
    const std::string otherRun = Work("other run.wav"), plain = Work("plain.wav");
    std::vector<int> regular = WatermarkPositions(77, kStart, kInterval);
    ASSERT_EQ(0, Shell(MixCommand(F(), 1, PlacesFor(F(), 1, F().recipients[0], 77), otherRun)));
    ASSERT_EQ(
        0, Shell(MixCommand(F(), 1, std::vector<double>(regular.begin(), regular.end()), plain)));
    for (const std::string& file : {Work("other.wav"), otherRun, plain}) {
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
                       " -metadata " + ShellQuote("comment=Watermarked preview for Radio Cé") +
                       " -metadata " + ShellQuote("RECIPIENT ID=" + named.id.utf8_string()) +
                       " -b:a 128k " + ShellQuote(tagged)));
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
                       " -t 20 -metadata " +
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

// Names and paths in any script come back as written; the old manifest is
// replaced whole.
TEST_F(Identify, AManifestReadsBackAsWritten) {
    const Manifest& written = F().manifest;
    Manifest read;
    wxString error;
    ASSERT_TRUE(ReadManifest(Wx(F().manifestPath), read, error)) << error;
    EXPECT_EQ(written.seed, read.seed);
    EXPECT_EQ(written.vary, read.vary);
    EXPECT_EQ(written.watermarks, read.watermarks);
    ASSERT_EQ(written.copies.size(), read.copies.size());
    for (size_t i = 0; i < read.copies.size(); ++i) {
        const ManifestCopy &a = written.copies[i], &b = read.copies[i];
        EXPECT_EQ(a.recipient, b.recipient);
        EXPECT_EQ(a.id, b.id);
        EXPECT_EQ(a.track, b.track);
        EXPECT_EQ(a.output, b.output);
        EXPECT_EQ(a.sha256, b.sha256);
        EXPECT_EQ(a.seed, b.seed);
        EXPECT_EQ(a.positions, b.positions);
        EXPECT_EQ(a.sounds, b.sounds);
    }
    EXPECT_NE(std::string::npos, Contents(F().manifestPath).find("\"recipient\": \"Zoë Ü\""));

    const std::string path = Work("out/manifest.json");
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
