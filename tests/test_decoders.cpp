// What ffmpeg reads and writes for the engine: M4A (AAC, ALAC), Opus and
// MP3 tracks and watermarks line up with their masters to the sample, MP3s
// merge without gaps, Opus and M4A outputs decode as asked, and without
// ffmpeg the files it would read are refused with what to install.
#include "Formats.h"
#include "RenderRun.h"
#include "testutil.h"

#include <cstring>
#include <vector>

namespace {

const int kRate = 44100;
const double kSeconds = 12;

// A file's sound as ffmpeg decodes it (honouring the encoder's delay and
// padding, as players do), mixed to one channel of 32-bit floats at rate.
std::vector<float> Decoded(const std::string& path, int rate) {
    const std::string raw = path + ".raw";
    std::string log;
    EXPECT_EQ(0, Shell("ffmpeg -nostdin -v error -y -i " + ShellQuote(path) + " -ac 1 -ar " +
                           std::to_string(rate) + " -f f32le " + ShellQuote(raw),
                       &log))
        << log;
    const std::string bytes = Contents(raw);
    std::vector<float> samples(bytes.size() / sizeof(float));
    if (!samples.empty())
        std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    Shell("rm -f " + ShellQuote(raw));
    return samples;
}

double Rms(const std::vector<float>& s, double from, double seconds, int rate) {
    const size_t begin = static_cast<size_t>(from * rate);
    const size_t end = std::min(s.size(), begin + static_cast<size_t>(seconds * rate));
    double sum = 0;
    for (size_t i = begin; i < end; ++i)
        sum += static_cast<double>(s[i]) * s[i];
    return end > begin ? std::sqrt(sum / static_cast<double>(end - begin)) : -1;
}

// The lag (in samples, within reach) at which b best matches a over a
// second from second from.
int BestLag(const std::vector<float>& a, const std::vector<float>& b, double from, int rate,
            int reach) {
    const size_t begin = static_cast<size_t>(from * rate), length = static_cast<size_t>(rate);
    int best = 0;
    double bestSum = -1e300;
    for (int lag = -reach; lag <= reach; ++lag) {
        double sum = 0;
        for (size_t i = begin; i < begin + length && i + lag < b.size() && i < a.size(); ++i)
            sum += static_cast<double>(a[i]) * b[i + lag];
        if (sum > bestSum) {
            bestSum = sum;
            best = lag;
        }
    }
    return best;
}

class Decoders : public BundleTest {
protected:
    void SetUp() override {
        BundleTest::SetUp();
        // Band-limited noise: every lossy codec keeps it, and it matches
        // itself at one lag only.
        MakeTone(Work("master.wav"), kSeconds, "whitenoise vol 0.3 lowpass 4000", kRate, 2);
        MakeTone(Work("beep.wav"), 0.5, "sine 1000 vol 0.8", kRate, 1);
    }
    void Encode(const std::string& from, const std::string& to, const std::string& codec) {
        std::string log;
        ASSERT_EQ(0, Shell("ffmpeg -nostdin -v error -y -i " + ShellQuote(Work(from)) + " " +
                               codec + " " + ShellQuote(Work(to)),
                           &log))
            << log;
    }
    wxArrayString Render(const wxArrayString& tracks, const RenderSettings& settings,
                         const wxArrayString& watermarks) {
        RenderRun run(settings, tracks, watermarks);
        EXPECT_EQ("", run.InputProblem() + run.MergeProblem());
        return run.Run();
    }
    // What the output added to the master: the copies, where they sound,
    // and nothing but the codec's noise elsewhere.
    void ExpectCopiesOnTheMaster(const std::string& out, int rate, double seconds) {
        SCOPED_TRACE(out);
        const std::vector<float> master = Decoded(Work("master.wav"), rate);
        const std::vector<float> made = Decoded(out, rate);
        ASSERT_GE(made.size(), master.size());
        std::vector<float> added(master.size());
        for (size_t i = 0; i < master.size(); ++i)
            added[i] = made[i] - master[i];
        const double music = Rms(master, 2, 3, rate);
        for (double at = 1; at < seconds; at += 5) {
            // Before the copy only the codec's noise; from its first
            // hundredth of a second the beep (a 50 ms late start shows).
            EXPECT_LT(Rms(added, at - 0.08, 0.07, rate), 0.3 * music) << at;
            EXPECT_GT(Rms(added, at + 0.002, 0.02, rate), 0.3) << at;
            EXPECT_LT(Rms(added, at + 0.6, 3, rate), 0.3 * music) << at;
        }
        EXPECT_EQ(0, BestLag(master, made, 2.5, rate, 64));
    }

    RenderSettings Settings(OutputFormat format) const {
        RenderSettings settings = RunSettings(format);
        settings.bitrate = 192;
        return settings;
    }
};

TEST_F(Decoders, EveryFormatReadRendersAtItsMastersLengthWithTheCopiesOnTheSecond) {
    Encode("master.wav", "in/a.mp3", "-c:a libmp3lame -b:a 192k");
    Encode("master.wav", "in/b.m4a", "-c:a aac -b:a 192k");
    Encode("master.wav", "in/c.m4a", "-c:a alac");
    Encode("master.wav", "in/d.opus", "-c:a libopus -b:a 160k");
    Encode("master.wav", "in/e.flac", "");
    // The watermark itself an MP3: decoded without its delay too.
    Encode("beep.wav", "wm/beep.mp3", "-c:a libmp3lame -b:a 192k");
    const wxArrayString tracks =
        Files({"in/a.mp3", "in/b.m4a", "in/c.m4a", "in/d.opus", "in/e.flac"});
    EXPECT_EQ(
        Strings({"a.mp3: Process completed successfully", "b.m4a: Process completed successfully",
                 "c.m4a: Process completed successfully", "d.opus: Process completed successfully",
                 "e.flac: Process completed successfully"}),
        Render(tracks, Settings(OutputFormat::Wav), Files({"wm/beep.mp3"})));
    for (const char* base : {"a", "b", "c", "d", "e"}) {
        const std::string out = Work("out/" + std::string(base) + ".wav");
        // Opus decodes at 48 kHz, whatever it was made from.
        const int rate = std::string(base) == "d" ? 48000 : kRate;
        EXPECT_EQ(static_cast<long long>(kSeconds * rate), Inspect(out).frames) << out;
        EXPECT_EQ(2, Inspect(out).channels) << out;
        ExpectCopiesOnTheMaster(out, rate, kSeconds);
    }
}

TEST_F(Decoders, OpusM4aAndMp3OutputsDecodeAtTheMastersLengthRateAndChannels) {
    Encode("master.wav", "in/a.mp3", "-c:a libmp3lame -b:a 192k");
    MakeTone(Work("in/mono.wav"), 4, "sine 440 vol 0.3", 22050, 1);
    const struct {
        OutputFormat format;
        int rate; // of the stereo track's output
    } outputs[] = {
        {OutputFormat::Opus, 48000}, {OutputFormat::M4a, kRate}, {OutputFormat::Mp3, kRate}};
    for (const auto& o : outputs) {
        const std::string ext = FormatExtension(o.format).utf8_string();
        SCOPED_TRACE(ext);
        EXPECT_EQ(
            Strings({"a.mp3: Process completed successfully",
                     "mono.wav: Process completed successfully"}),
            Render(Files({"in/a.mp3", "in/mono.wav"}), Settings(o.format), Files({"beep.wav"})));
        const std::string out = Work("out/a." + ext);
        std::string probe;
        Shell("ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate,channels "
              "-of csv=p=0 " +
                  ShellQuote(out),
              &probe);
        EXPECT_EQ(std::to_string(o.rate) + ",2\n", probe);
        // Gapless: MP3's header states its delay and padding, Opus its
        // pre-skip and end, and MP4's edit list where the sound starts.
        const size_t frames = Decoded(out, o.rate).size();
        if (o.format == OutputFormat::M4a)
            EXPECT_NEAR(kSeconds * o.rate, frames, 1024) << "one AAC frame's padding at most";
        else
            EXPECT_EQ(kSeconds * o.rate, frames);
        ExpectCopiesOnTheMaster(out, o.rate, kSeconds);
        probe.clear();
        Shell("ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate,channels "
              "-of csv=p=0 " +
                  ShellQuote(Work("out/mono." + ext)),
              &probe);
        EXPECT_EQ(o.format == OutputFormat::Opus ? "48000,1\n" : "22050,1\n", probe);
    }
}

// An album cut in tracks plays on at every seam: no encoder's silence there.
TEST_F(Decoders, FourMp3TracksMergeWithoutAGap) {
    MakeTone(Work("whole.wav"), 13.2, "pinknoise vol 0.3", kRate, 2);
    wxArrayString tracks;
    for (int i = 0; i < 4; ++i) {
        const std::string part = "in/" + std::to_string(i + 1) + ".wav";
        ASSERT_EQ(0, Shell("sox " + ShellQuote(Work("whole.wav")) + " " + ShellQuote(Work(part)) +
                           " trim " + std::to_string(3.3 * i) + " 3.3"));
        Encode(part, "in/" + std::to_string(i + 1) + ".mp3", "-c:a libmp3lame -b:a 192k");
        tracks.Add(Wx(Work("in/" + std::to_string(i + 1) + ".mp3")));
    }
    RenderSettings settings = Settings(OutputFormat::Wav);
    settings.merge = true;
    settings.mergeName = "album";
    settings.start = 2;
    const wxArrayString lines = Render(tracks, settings, Files({"beep.wav"}));
    ASSERT_FALSE(lines.empty());
    const std::string out = Work("out/album.wav");
    EXPECT_EQ(static_cast<long long>(4 * 3.3 * kRate + 0.5), Inspect(out).frames);
    // No 10 ms quieter than the quietest of the whole.
    auto quietest = [](const std::vector<float>& s) {
        double least = 1;
        for (double at = 0; at + 0.01 <= 13.2; at += 0.005)
            least = std::min(least, Rms(s, at, 0.01, kRate));
        return least;
    };
    const std::vector<float> merged = Decoded(out, kRate);
    EXPECT_GT(quietest(merged), 0.5 * quietest(Decoded(Work("whole.wav"), kRate)));
    // The merged file is the whole, watermarked: the same sound between copies.
    EXPECT_EQ(0, BestLag(Decoded(Work("whole.wav"), kRate), merged, 4.5, kRate, 64));
}

// A clip stops reading its track early: the decoder's end is no failure.
TEST_F(Decoders, ClipsOfDecodedTracksEndWhereAsked) {
    Encode("master.wav", "in/a.mp3", "-c:a libmp3lame -b:a 192k");
    Encode("master.wav", "in/b.m4a", "-c:a aac -b:a 192k");
    RenderSettings settings = Settings(OutputFormat::Wav);
    settings.clipLength = 5;
    settings.clipStart = 3;
    settings.clipFade = 0;
    EXPECT_EQ(
        Strings({"a.mp3: Process completed successfully", "b.m4a: Process completed successfully"}),
        Render(Files({"in/a.mp3", "in/b.m4a"}), settings, Files({"beep.wav"})));
    for (const char* out : {"out/a.wav", "out/b.wav"})
        EXPECT_EQ(5 * kRate, Inspect(Work(out)).frames) << out;
}

// Its length is what the music's measure decoded: no decode of its own.
TEST_F(Decoders, ARunDecodesAnMp3WithoutAFrameCountOnlyToMeasureAndToMix) {
    MakeTone(Work("in/plain.mp3"), 7.5, "pinknoise vol 0.2");
    CommandLog log;
    EXPECT_EQ(Strings({"plain.mp3: Process completed successfully"}),
              Render(Files({"in/plain.mp3"}), Settings(OutputFormat::Wav), Files({"beep.wav"})));
    wxArrayString decodes;
    for (const wxString& command : log.commands) {
        if (command.Contains("plain.mp3"))
            decodes.Add(command);
    }
    ASSERT_EQ(2u, decodes.size()) << wxJoin(decodes, '\n');
    EXPECT_TRUE(decodes[0].Contains(" -t au ")) << decodes[0];
}

TEST_F(Decoders, WithoutFfmpegItsFilesAreRefusedSayingWhatToInstall) {
    Encode("master.wav", "in/a.m4a", "-c:a aac");
    MakeTone(Work("in/b.wav"), 3, "sine 440 vol 0.3");
    const wxString path = wxGetenv("PATH");
    wxSetEnv("PATH", Wx(Work("nowhere")));
    RenderRun opus(Settings(OutputFormat::Opus), Files({"in/b.wav"}), Files({"beep.wav"}));
    EXPECT_EQ("Opus files are written with ffmpeg, which is not installed; install it with "
              "\"sudo apt install ffmpeg\".",
              opus.InputProblem());
    const wxArrayString lines =
        Render(Files({"in/a.m4a", "in/b.wav"}), Settings(OutputFormat::Wav), Files({"beep.wav"}));
    wxSetEnv("PATH", path);
    EXPECT_EQ(Strings({"a.m4a: Not processed: M4A files are read with ffmpeg, which is not "
                       "installed; install it with \"sudo apt install ffmpeg\".",
                       "b.wav: Process completed successfully"}),
              lines);
    EXPECT_EQ("b.wav\n", Listing(Work("out")));
}

TEST(DecodedFormats, AFolderGivesItsM4aMp4OpusAndWmaFilesInNameOrder) {
    TempDir dir;
    for (const char* name : {"b.opus", "a.M4A", "c.wma", "d.mp4", "e.txt", "f.m4v"})
        Shell("touch " + ShellQuote(dir / name));
    const wxArrayString files = AudioFilesIn(Wx(dir.path()));
    ASSERT_EQ(4u, files.size());
    EXPECT_EQ(Wx(dir / "a.M4A"), files[0]);
    EXPECT_EQ(Wx(dir / "d.mp4"), files[3]);
}

} // namespace
