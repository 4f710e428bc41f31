// Loudness and peaks read with a track's envelope, held against the EBU's
// test signals, ffmpeg's meter and SoX's own statistics.
#include "Envelope.h"
#include "testutil.h"

#include <sys/resource.h>

#include <algorithm>
#include <cmath>

namespace {

struct Analysis {
    Envelope envelope;
    LoudnessProfile loudness;
    wxString failure;
};

// The analysis the window runs for its strip.
Analysis ByJob(const std::string& path) {
    Analysis analysis;
    SoxQueue queue(1);
    queue.Add(AnalysisJob(Wx(path), [&](const Envelope& envelope, const LoudnessProfile& loudness,
                                        const wxString& failure) {
        analysis = {envelope, loudness, failure};
    }));
    queue.Run();
    return analysis;
}

LoudnessProfile Measured(const std::string& path, const wxString& effects = wxString()) {
    LoudnessProfile loudness;
    wxString failure;
    EXPECT_TRUE(AnalyseFile(Wx(path), effects, nullptr, loudness, failure)) << failure;
    return loudness;
}

// Largest absolute sample of the envelope's stretches in [from, to) seconds.
float EnvelopePeak(const Envelope& envelope, int from, int to) {
    const auto perSecond = std::lround(1 / Envelope::kSecondsPerPeak);
    const auto begin = envelope.peaks.begin();
    return *std::max_element(begin + from * perSecond, begin + to * perSecond);
}

class Loudness : public BundleTest {};

TEST_F(Loudness, TheEbuTestSignalsMeasureAsTheStandardSays) {
    const std::string sine23 = Work("in/sine23.wav"), sine33 = Work("in/sine33.wav");
    MakeTone(sine23, 20, "sine 1000 gain -23", 48000);
    MakeTone(sine33, 20, "sine 1000 gain -33", 48000);
    const LoudnessProfile loud = Measured(sine23);
    EXPECT_NEAR(-23.0, loud.integrated, 0.1);
    EXPECT_NEAR(-23.0, loud.maxMomentary, 0.1);
    EXPECT_NEAR(PeakIn(sine23, 0, -1), loud.peak, 1e-4);
    EXPECT_EQ(200u, loud.blockLoudness.size());
    EXPECT_NEAR(-33.0, Measured(sine33).integrated, 0.1);

    // The relative gate leaves the quiet ends out.
    MakeTone(Work("in/quiet.wav"), 10, "sine 1000 gain -36", 48000);
    MakeTone(Work("in/loud.wav"), 60, "sine 1000 gain -23", 48000);
    const std::string gated = Work("in/gated.wav");
    ASSERT_EQ(0, Shell("sox " + ShellQuote(Work("in/quiet.wav")) + " " +
                       ShellQuote(Work("in/loud.wav")) + " " + ShellQuote(Work("in/quiet.wav")) +
                       " " + ShellQuote(gated)));
    EXPECT_NEAR(-23.0, Measured(gated).integrated, 0.1);
}

TEST_F(Loudness, AMusicLikeTrackMeasuresAsFfmpegDoesAndItsEnvelopeHoldsItsPeaks) {
    const std::string wav = Work("in/music.wav"), mp3 = Work("in/music.mp3");
    MakeTone(wav, 30,
             "pinknoise synth 30 sine mix 220 synth 30 sine mix 660 tremolo 0.1 60 gain -15");
    ASSERT_EQ(0, Shell("sox " + ShellQuote(wav) + " " + ShellQuote(mp3)));
    // The MP3 as its decoder (ffmpeg) gives it, for SoX to count its peaks.
    const std::string decoded = Work("in/music.mp3.wav");
    ASSERT_EQ(0, Shell("ffmpeg -nostdin -v error -i " + ShellQuote(mp3) + " -c:a pcm_f32le " +
                       ShellQuote(decoded)));
    for (const std::string& path : {wav, mp3}) {
        SCOPED_TRACE(path);
        const Analysis read = ByJob(path);
        ASSERT_EQ("", read.failure);
        EXPECT_NEAR(Ffmpeg(path).integrated, read.loudness.integrated, 0.2);
        EXPECT_NEAR(read.loudness.integrated, Measured(path).integrated, 1e-9);

        // Every sample counts, as in SoX's own peaks.
        EXPECT_NEAR(30, read.envelope.Seconds(), 0.1);
        EXPECT_NEAR(PeakIn(path == mp3 ? decoded : path, 0, -1), read.loudness.peak, 1e-4);
        EXPECT_EQ(*std::max_element(read.envelope.peaks.begin(), read.envelope.peaks.end()),
                  read.loudness.peak);
        if (path == wav) {
            // SoX's trim finds an MP3's seconds only roughly.
            for (int second : {0, 9, 21}) {
                EXPECT_NEAR(PeakIn(path, second, 1),
                            EnvelopePeak(read.envelope, second, second + 1), 1e-4)
                    << second;
            }
        }
    }
}

TEST_F(Loudness, TheMusicUnderACopyIsTheShortTermLoudnessAroundIt) {
    MakeTone(Work("in/quiet.wav"), 10, "pinknoise gain -26");
    MakeTone(Work("in/loud.wav"), 10, "pinknoise gain -6");
    const std::string track = Work("in/track.wav");
    ASSERT_EQ(0, Shell("sox " + ShellQuote(Work("in/quiet.wav")) + " " +
                       ShellQuote(Work("in/loud.wav")) + " " + ShellQuote(track)));
    const LoudnessProfile profile = Measured(track);
    const FfmpegMeter ffmpeg = Ffmpeg(track);

    // A one-second copy at 3 s hears 2 to 5 s, the 3 s ffmpeg's short-term
    // reading at 5 s covers; one at 15 s hears 14 to 17 s.
    const double quiet = profile.LoudnessBetween(3, 4), loud = profile.LoudnessBetween(15, 16);
    EXPECT_NEAR(ffmpeg.shortTerm.at(50), quiet, 1);
    EXPECT_NEAR(ffmpeg.shortTerm.at(170), loud, 1);
    EXPECT_NEAR(20, loud - quiet, 1);
    // At the ends, what there is of it.
    EXPECT_NEAR(quiet, profile.LoudnessBetween(0, 0.5), 0.5);
    EXPECT_NEAR(loud, profile.LoudnessBetween(19.5, 20), 0.5);
    // A long copy hears all it covers: half quiet, half loud.
    EXPECT_NEAR(loud - 10 * std::log10(2), profile.LoudnessBetween(5, 15), 0.5);
    EXPECT_EQ(-HUGE_VAL, profile.LoudnessBetween(23, 24));

    EXPECT_NEAR(PeakIn(track, 2, 3), profile.PeakBetween(2, 5), 1e-4);
    EXPECT_NEAR(PeakIn(track, 14, 3), profile.PeakBetween(14, 17), 1e-4);
    EXPECT_EQ(0, profile.PeakBetween(20, 21));
}

TEST_F(Loudness, AShortSoundIsMeasuredByItsLoudestMomentaryReading) {
    const std::string stereo = Work("wm/stereo.wav"), mono = Work("wm/mono.wav");
    MakeTone(stereo, 1, "sine 1000 gain -20");
    MakeTone(mono, 1, "sine 1000 gain -20", 44100, 1);
    const double loudest = Measured(stereo).maxMomentary;
    EXPECT_NEAR(Ffmpeg(stereo).LoudestMomentary(), loudest, 0.3);
    // Heard on both sides once mixed into a stereo track.
    EXPECT_NEAR(Ffmpeg(mono, "ebur128=dualmono=true").LoudestMomentary(),
                Measured(mono).maxMomentary, 0.3);
    // Measured after the effects that convert it for a track.
    EXPECT_NEAR(loudest - 6, Measured(stereo, "rate 48000 gain -6").maxMomentary, 0.05);

    // Too short for the 400 ms blocks integrated loudness gates.
    MakeTone(Work("wm/beep.wav"), 0.3, "sine 1000 gain -20");
    const LoudnessProfile beep = Measured(Work("wm/beep.wav"));
    EXPECT_EQ(-HUGE_VAL, beep.integrated);
    EXPECT_GT(beep.maxMomentary, -30);
}

TEST_F(Loudness, SilenceHasNoLoudnessAndAFileSoXCannotReadSaysWhy) {
    MakeSilence(Work("in/silence.wav"), 5);
    const LoudnessProfile silence = Measured(Work("in/silence.wav"));
    EXPECT_FALSE(silence.Empty());
    EXPECT_EQ(-HUGE_VAL, silence.integrated);
    EXPECT_EQ(-HUGE_VAL, silence.maxMomentary);
    EXPECT_EQ(-HUGE_VAL, silence.LoudnessBetween(1, 2));
    EXPECT_EQ(0, silence.peak);

    MakeSilence(Work("in/spoilt.wav"), 3);
    Spoil(Work("in/spoilt.wav"));
    Envelope envelope;
    envelope.peaks.assign(5, 1.0f);
    LoudnessProfile loudness = silence;
    wxString failure;
    EXPECT_FALSE(AnalyseFile(Wx(Work("in/spoilt.wav")), "", &envelope, loudness, failure));
    EXPECT_EQ("can't open input file `" + Wx(Work("in/spoilt.wav")) +
                  "': WAVE: RIFF header not found",
              failure);
    EXPECT_TRUE(envelope.peaks.empty());
    EXPECT_TRUE(loudness.Empty());
}

TEST_F(Loudness, ALongTrackIsReadWithoutHoldingItsSamples) {
    // 20 minutes of 44.1 kHz stereo, sparse on disk: an AU header of unknown
    // length, then zeros up to the size.
    const std::string track = Work("in/long.au");
    ASSERT_EQ(0,
              Shell("sox -n -r 44100 -c 2 -b 16 -e signed-integer -t au - trim 0 0 2>/dev/null > " +
                    ShellQuote(track)));
    const long long header = static_cast<long long>(Contents(track).size());
    ASSERT_EQ(0, Shell("truncate -s " + std::to_string(header + 1200LL * 44100 * 4) + " " +
                       ShellQuote(track)));

    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const Analysis read = ByJob(track);
    getrusage(RUSAGE_SELF, &after);
    ASSERT_EQ("", read.failure);
    EXPECT_NEAR(1200, read.envelope.Seconds(), 0.01);
    EXPECT_NEAR(1200, read.loudness.Seconds(), 0.01);
    // Its samples take 211 MB in the pipe.
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 30 * 1024);
}

} // namespace
