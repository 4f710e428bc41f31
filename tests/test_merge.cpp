// Joining rendered files into one.
#include "testutil.h"

namespace {

class Merge : public BundleTest {};

TEST_F(Merge, FilesFollowEachOtherInListOrderWithMonoBitrateAndFailureLines) {
    // Loud, quiet, loud: the order shows in where the quiet part lies.
    MakeTone(Work("one.wav"), 1.0, "sine 440", 8000, 1);
    MakeSilence(Work("two.wav"), 2.0, 8000, 1);
    MakeTone(Work("three.wav"), 1.5, "sine 440", 8000, 1);
    const std::string joined = Work("joined.wav");
    CSoxHandler sox;
    ASSERT_EQ(0, sox.AppendFiles(Files({"one.wav", "two.wav", "three.wav"}), Wx(joined)));
    EXPECT_TRUE(sox.GetErrors().empty());
    EXPECT_NEAR(4.5, Inspect(joined).seconds, 0.001);
    EXPECT_GT(PeakIn(joined, 0.0, 1.0), 0.5);
    EXPECT_LT(PeakIn(joined, 1.05, 1.9), 0.001);
    EXPECT_GT(PeakIn(joined, 3.0, 1.5), 0.5);

    sox.SetMono(true);
    sox.SetBitrate(192);
    MakeTone(Work("stereo.wav"), 1.0);
    ASSERT_EQ(0, sox.AppendFiles(Files({"stereo.wav", "stereo.wav"}), Wx(Work("joined.mp3"))));
    const AudioInfo info = Inspect(Work("joined.mp3"));
    EXPECT_EQ(1, info.channels);
    EXPECT_EQ(192, info.kbits);

    // A failure leaves the joined file's name and SoX's first line; a later success no line.
    EXPECT_EQ(-1, sox.AppendFiles(Files({"one.wav", "missing.wav"}), Wx(Work("joined.wav"))));
    ASSERT_EQ(1u, sox.GetErrors().size());
    EXPECT_TRUE(FirstLine(sox).StartsWith("joined.wav: ")) << FirstLine(sox);
    EXPECT_TRUE(FirstLine(sox).Contains("missing.wav")) << FirstLine(sox);

    EXPECT_EQ(0, sox.AppendFiles(Files({"one.wav"}), Wx(Work("joined.mp3"))));
    EXPECT_TRUE(sox.GetErrors().empty());
}

} // namespace
