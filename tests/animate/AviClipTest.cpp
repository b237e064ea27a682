#include "tests/animate/AviFixtures.h"
#include "animate/AviClip.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <filesystem>
#include <functional>

using namespace avitest;

namespace {

constexpr uint32_t K = 0x000000, R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, W = 0xFFFFFF;

// The pictures of rle8.avi: every run-length code, delta frames on the ones before.
const TPicture Rle1 = {{R, G, B, W, G, K}, {B, B, K, K, K, K}, {G, B, G, W, W, W}, {R, R, R, R, R, R}};
const TPicture Rle2 = {{R, G, B, W, B, K}, {B, B, K, K, K, K}, {G, B, W, W, W, W}, {R, R, R, R, R, R}};
const TPicture Rle3 = {{G, G, G, G, G, G}, {B, B, B, B, K, K}, {G, B, W, W, W, W}, {R, R, R, R, R, R}};

const TPicture Rgb24a = {{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000},
                         {0x123456, 0x789ABC, 0xDEF012, 0x345678, 0x9ABCDE},
                         {0x808080, 0xFF8000, 0x0080FF, 0x80FF00, 0xFF0080}};
const TPicture Rgb24b = {{0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000},
                         {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F},
                         {0xF0E0D0, 0xC0B0A0, 0x908070, 0x605040, 0x302010}};

TEST(AviClip, RunLengthFramesApplyEveryCode) {
  TAviClip C;
  ASSERT_TRUE(C.LoadFromData(Clip("rle8.avi"))) << C.Error();
  EXPECT_EQ(C.Error(), "");
  EXPECT_EQ(C.Width(), 6);
  EXPECT_EQ(C.Height(), 4);
  EXPECT_EQ(C.BitCount(), 8);
  EXPECT_TRUE(C.Compressed());
  EXPECT_EQ(C.FrameTime(), 80000);  // scale 2 / rate 25, not the main header's 50000
  ASSERT_EQ(C.FrameCount(), 4);
  EXPECT_TRUE(SamePicture(C.Frame(1), Rle1));
  EXPECT_TRUE(SamePicture(C.Frame(2), Rle2));
  EXPECT_TRUE(SamePicture(C.Frame(3), Rle3));
  EXPECT_TRUE(SamePicture(C.Frame(4), Rle3));  // dropped frame
  // Backwards: decoded again from the first frame, not on top of the last.
  EXPECT_TRUE(SamePicture(C.Frame(2), Rle2));
  EXPECT_TRUE(SamePicture(C.Frame(1), Rle1));
  EXPECT_TRUE(SamePicture(C.Frame(3), Rle3));
  EXPECT_TRUE(C.Frame(0).isNull());
  EXPECT_TRUE(C.Frame(5).isNull());
}

struct TGoodClip {
  const char *Name;
  const char *File;
  bool HasIndex;
  int Width, Height, Bits;
  bool TopDown;
  int64_t FrameTime;
  std::vector<TPicture> Frames;
};

void PrintTo(const TGoodClip &C, std::ostream *Os) { *Os << C.Name; }

class AviClipDepths : public ::testing::TestWithParam<TGoodClip> {};

TEST_P(AviClipDepths, FramesAreTheEncodedPixels) {
  const TGoodClip &P = GetParam();
  const std::string Bytes = Clip(P.File);
  // The clip really has (or lacks) the index, so both ways of finding frames run.
  EXPECT_EQ(Bytes.find("idx1") != std::string::npos, P.HasIndex);
  TAviClip C;
  ASSERT_TRUE(C.LoadFromData(Bytes)) << C.Error();
  EXPECT_EQ(C.Width(), P.Width);
  EXPECT_EQ(C.Height(), P.Height);
  EXPECT_EQ(C.BitCount(), P.Bits);
  EXPECT_FALSE(C.Compressed());
  EXPECT_EQ(C.TopDown(), P.TopDown);
  EXPECT_EQ(C.FrameTime(), P.FrameTime);
  ASSERT_EQ(C.FrameCount(), int(P.Frames.size()));
  for (size_t I = 0; I < P.Frames.size(); ++I)
    EXPECT_TRUE(SamePicture(C.Frame(int(I + 1)), P.Frames[I])) << "frame " << I + 1;
  EXPECT_TRUE(C.Frame(int(P.Frames.size()) + 1).isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Clips, AviClipDepths,
    ::testing::Values(
        TGoodClip{"rgb24_index", "rgb24.avi", true, 5, 3, 24, false, 100000, {Rgb24a, Rgb24b}},
        // No index: the frames sit in 'rec ' lists behind a 'JUNK' chunk.
        TGoodClip{"rgb24_no_index", "rgb24_noidx.avi", false, 5, 3, 24, false, 100000, {Rgb24a, Rgb24b}},
        // An audio stream comes first, so the video chunks are '01db'; index
        // 200 lies past the 4-colour palette and shows black.
        TGoodClip{"rgb8_palette",
                  "rgb8.avi",
                  true,
                  3,
                  2,
                  8,
                  false,
                  66667,
                  {{{R, G, 0x2040C0}, {K, K, R}}, {{0x2040C0, 0x2040C0, G}, {R, K, K}}}},
        // 5-5-5 with the top bit ignored; no rate in the stream header, so
        // the main header's time; the second frame is dropped (empty).
        TGoodClip{"rgb16_555",
                  "rgb16.avi",
                  true,
                  3,
                  2,
                  16,
                  false,
                  125000,
                  {{{R, G, B}, {0x848484, W, 0x181818}}, {{R, G, B}, {0x848484, W, 0x181818}}}},
        TGoodClip{"rgb32_top_down",
                  "rgb32.avi",
                  true,
                  2,
                  2,
                  32,
                  true,
                  33333,
                  {{{0x102030, 0x405060}, {0x708090, 0xA0B0C0}}, {{W, K}, {G, 0xFF00FF}}}}),
    [](const ::testing::TestParamInfo<TGoodClip> &I) { return std::string(I.param.Name); });

// Header claims the reader does not go by, and an index counting from the
// file's start: the clip plays as written.
struct TPatch {
  const char *Name;
  const char *File;
  std::function<void(std::string &)> Apply;
  const char *Reason;  // a word of the failure; nullptr: still plays
};

void PrintTo(const TPatch &P, std::ostream *Os) { *Os << P.Name; }

void IndexFromFileStart(std::string &S) {
  const size_t Idx = Find(S, "idx1"), Movi = Find(S, "movi");
  for (size_t E = Idx + 8; E + 16 <= Idx + 8 + Get32(S, Idx + 4); E += 16)
    Put32(S, E + 8, Get32(S, E + 8) + uint32_t(Movi));
}

class AviClipPatched : public ::testing::TestWithParam<TPatch> {};

TEST_P(AviClipPatched, StillPlays) {
  std::string S = Clip(GetParam().File);
  GetParam().Apply(S);
  TAviClip C;
  ASSERT_TRUE(C.LoadFromData(S)) << C.Error();
  ASSERT_EQ(C.FrameCount(), 2);
  EXPECT_TRUE(SamePicture(C.Frame(1), Rgb24a));
  EXPECT_TRUE(SamePicture(C.Frame(2), Rgb24b));
}

INSTANTIATE_TEST_SUITE_P(
    Claims, AviClipPatched,
    ::testing::Values(TPatch{"index_from_file_start", "rgb24.avi", IndexFromFileStart, nullptr},
                      TPatch{"absurd_frame_counts", "rgb24.avi",
                             [](std::string &S) {
                               Put32(S, Find(S, "avih") + 8 + 16, 0xFFFFFFFF);  // total frames
                               Put32(S, Find(S, "avih") + 8 + 28, 0xFFFFFFFF);  // buffer size
                               Put32(S, Find(S, "vids") + 32, 0xFFFFFFFF);  // stream length
                             },
                             nullptr},
                      TPatch{"main_header_size", "rgb24.avi",
                             [](std::string &S) {
                               Put32(S, Find(S, "avih") + 8 + 32, 0x7FFFFFFF);
                               Put32(S, Find(S, "avih") + 8 + 36, 0x7FFFFFFF);
                             },
                             nullptr}),
    [](const ::testing::TestParamInfo<TPatch> &I) { return std::string(I.param.Name); });

TEST(AviClip, DroppedFramesBeforeAnyPictureAreBlack) {
  std::string S = Clip("rgb24.avi");
  Put32(S, Find(S, "00db") + 4, 0);
  Put32(S, Find(S, "idx1") + 8 + 12, 0);
  TAviClip C;
  ASSERT_TRUE(C.LoadFromData(S)) << C.Error();
  ASSERT_EQ(C.FrameCount(), 2);
  EXPECT_TRUE(SamePicture(C.Frame(1), TPicture(3, std::vector<uint32_t>(5, K))));
  EXPECT_TRUE(SamePicture(C.Frame(2), Rgb24b));
}

// Files that must not play: the reason says why, and nothing of the clip stays.
class AviClipBad : public ::testing::TestWithParam<TPatch> {};

TEST_P(AviClipBad, NothingPlays) {
  std::string S = Clip(GetParam().File);
  GetParam().Apply(S);
  TAviClip C;
  ASSERT_TRUE(C.LoadFromData(Clip("rle8.avi")));  // a clip loaded before goes
  EXPECT_FALSE(C.LoadFromData(S));
  EXPECT_FALSE(C.Valid());
  EXPECT_NE(C.Error().find(GetParam().Reason), std::string::npos) << C.Error();
  EXPECT_EQ(C.FrameCount(), 0);
  EXPECT_EQ(C.Width(), 0);
  EXPECT_TRUE(C.Frame(1).isNull());
}

void SetBitmap(std::string &S, size_t Offset, uint32_t V) { Put32(S, BitmapHeader(S) + Offset, V); }

INSTANTIATE_TEST_SUITE_P(
    Files, AviClipBad,
    ::testing::Values(
        TPatch{"empty", "rgb24.avi", [](std::string &S) { S.clear(); }, "not an AVI"},
        TPatch{"not_riff", "rgb24.avi", [](std::string &S) { S[3] = 'X'; }, "not an AVI"},
        TPatch{"wave_form", "rgb24.avi", [](std::string &S) { S.replace(8, 4, "WAVE"); }, "not an AVI"},
        TPatch{"truncated_half", "rgb24.avi", [](std::string &S) { S.resize(S.size() / 2); }, "truncated"},
        TPatch{"truncated_last_byte", "rle8.avi", [](std::string &S) { S.pop_back(); }, "truncated"},
        TPatch{"riff_size_lies", "rgb24.avi", [](std::string &S) { Put32(S, 4, 0xFFFFFFF0); }, "truncated"},
        TPatch{"riff_size_zero", "rgb24.avi", [](std::string &S) { Put32(S, 4, 0); }, "not an AVI"},
        TPatch{"riff_form_only", "rgb24.avi", [](std::string &S) { Put32(S, 4, 4); }, "no header list"},
        TPatch{"list_size_lies", "rgb24.avi", [](std::string &S) { Put32(S, Find(S, "movi") - 4, 0x10000); },
               "claims"},
        TPatch{"chunk_size_lies", "rgb24_noidx.avi",
               [](std::string &S) { Put32(S, Find(S, "00db") + 4, 0x7FFFFFF0); }, "claims"},
        TPatch{"chunk_size_disagrees_with_index", "rgb24.avi",
               [](std::string &S) { Put32(S, Find(S, "00db") + 4, 0x7FFFFFF0); }, "index entry 1"},
        TPatch{"index_points_elsewhere", "rgb24.avi",
               [](std::string &S) {
                 const size_t Entry2 = Find(S, "idx1") + 8 + 16;
                 Put32(S, Entry2 + 8, Get32(S, Entry2 + 8) + 2);
               },
               "index entry 2"},
        TPatch{"index_points_outside", "rgb24.avi",
               [](std::string &S) { Put32(S, Find(S, "idx1") + 8 + 8, 0xFFFFFF00); }, "index does not match"},
        TPatch{"frame_too_short", "rgb24.avi",
               [](std::string &S) {
                 Put32(S, Find(S, "00db") + 4, 40);
                 Put32(S, Find(S, "idx1") + 8 + 12, 40);
               },
               "a picture needs 48"},
        TPatch{"codec_cvid", "rgb24.avi", [](std::string &S) { S.replace(BitmapHeader(S) + 16, 4, "cvid"); },
               "codec 'cvid'"},
        TPatch{"codec_bitfields", "rgb32.avi", [](std::string &S) { SetBitmap(S, 16, 3); }, "codec"},
        TPatch{"codec_rle4", "rle8.avi", [](std::string &S) { SetBitmap(S, 16, 2); }, "codec"},
        TPatch{"run_length_24_bits", "rgb24.avi", [](std::string &S) { SetBitmap(S, 16, 1); }, "run-length"},
        TPatch{"four_bits", "rgb8.avi", [](std::string &S) { S[BitmapHeader(S) + 14] = 4; }, "4 bits"},
        TPatch{"run_length_top_down", "rle8.avi", [](std::string &S) { SetBitmap(S, 8, uint32_t(-4)); },
               "top-down"},
        TPatch{"width_huge", "rgb24.avi", [](std::string &S) { SetBitmap(S, 4, 100000); }, "absurd"},
        TPatch{"width_zero", "rgb24.avi", [](std::string &S) { SetBitmap(S, 4, 0); }, "absurd"},
        TPatch{"width_negative", "rgb24.avi", [](std::string &S) { SetBitmap(S, 4, uint32_t(-5)); }, "absurd"},
        TPatch{"height_huge_top_down", "rgb24.avi", [](std::string &S) { SetBitmap(S, 8, uint32_t(-100000)); },
               "absurd"},
        TPatch{"height_most_negative", "rgb24.avi", [](std::string &S) { SetBitmap(S, 8, 0x80000000); },
               "absurd"},
        TPatch{"run_length_huge", "rle8.avi",
               [](std::string &S) {
                 SetBitmap(S, 4, 0x7FFFFFFF);
                 SetBitmap(S, 8, 0x7FFFFFFF);
               },
               "absurd"},
        TPatch{"bitmap_header_size_lies", "rgb24.avi", [](std::string &S) { SetBitmap(S, 0, 4000); },
               "bitmap header"},
        TPatch{"palette_of_300", "rgb8.avi", [](std::string &S) { SetBitmap(S, 32, 300); }, "palette of 300"},
        TPatch{"palette_past_format", "rgb8.avi", [](std::string &S) { SetBitmap(S, 32, 200); },
               "palette runs past"},
        TPatch{"no_video_stream", "rgb24.avi", [](std::string &S) { S.replace(Find(S, "vids"), 4, "txts"); },
               "no video stream"},
        TPatch{"no_frame_rate", "rgb16.avi", [](std::string &S) { Put32(S, Find(S, "avih") + 8, 0); },
               "no frame rate"},
        TPatch{"no_movie_data", "rgb24.avi", [](std::string &S) { S.replace(Find(S, "movi"), 4, "movx"); },
               "no movie data"},
        TPatch{"no_header_list", "rgb24.avi", [](std::string &S) { S.replace(Find(S, "hdrl"), 4, "hdrx"); },
               "no header list"},
        TPatch{"no_frames", "rgb24_noidx.avi",
               [](std::string &S) {
                 for (size_t P; (P = S.find("00db")) != std::string::npos;)
                   S.replace(P, 4, "00zz");
               },
               "no frames"},
        TPatch{"run_length_cut_off", "rle8.avi",
               // The first frame's literal run of 3 now claims 250 bytes.
               [](std::string &S) { S[Find(S, "00dc") + 8 + 5] = char(250); }, "cut off"},
        TPatch{"run_length_move_cut_off", "rle8.avi",
               // The second frame's end code becomes a move with no distances.
               [](std::string &S) { S[Find(S, "00dc", 2) + 8 + 13] = 2; },
               "frame 2"}),
    [](const ::testing::TestParamInfo<TPatch> &I) { return std::string(I.param.Name); });

TEST(AviClip, FilesThatCannotBeRead) {
  kvtest::TempDir Dir;
  TAviClip C;
  EXPECT_FALSE(C.LoadFromFile(Dir / "missing.avi"));
  EXPECT_NE(C.Error().find("does not exist"), std::string::npos) << C.Error();
  // Far larger than a clip can be: refused before a byte is read (the file is sparse).
  const std::string Big = Dir / "big.avi";
  kvtest::WriteFile(Big, Clip("rgb24.avi"));
  std::filesystem::resize_file(Big, uint64_t(TAviClip::MaxFileSize) + 1);
  EXPECT_FALSE(C.LoadFromFile(Big));
  EXPECT_NE(C.Error().find("larger"), std::string::npos) << C.Error();
  EXPECT_EQ(C.FrameCount(), 0);
}

TEST(AviClip, WindowsPathWithOtherCase) {
  kvtest::TempDir Dir;
  kvtest::WriteFile(Dir / "syscrt.avi", Clip("rle8.avi"));
  TAviClip C;
  // The form names its folder, a backslash and the file.
  ASSERT_TRUE(C.LoadFromFile(Dir.Path() + "\\SYSCRT.AVI")) << C.Error();
  EXPECT_EQ(C.FrameCount(), 4);
}

// Our own clip: the search animation, and its copy in the program folder.
TEST(AviClip, CartClip) {
  const std::string Source = std::string(KV_SOURCE_DIR) + "/animate/data/syscrt.avi";
  EXPECT_EQ(kvtest::ReadFile(std::string(KV_BIN_DIR) + "/syscrt.avi"), kvtest::ReadFile(Source));
  TAviClip C;
  ASSERT_TRUE(C.LoadFromFile(Source)) << C.Error();
  EXPECT_EQ(C.Width(), 55);
  EXPECT_EQ(C.Height(), 45);
  EXPECT_TRUE(C.Compressed());
  EXPECT_EQ(C.FrameTime(), 66667);
  ASSERT_EQ(C.FrameCount(), 30);
  QImage Prev = C.Frame(30);
  for (int N = 1; N <= 30; ++N) {
    const QImage F = C.Frame(N);
    ASSERT_EQ(F.size(), QSize(55, 45));
    EXPECT_NE(F, Prev) << "frame " << N << " repeats the one before";
    Prev = F;
  }
  // Every frame paints the whole picture: the white ground in the top right
  // corner, the navy rim of the basket.
  for (int N : {1, 15, 30}) {
    const QImage F = C.Frame(N);
    EXPECT_EQ(F.pixel(54, 0) & 0xFFFFFF, 0xFFFFFFu) << N;
    EXPECT_EQ(F.pixel(30, 14) & 0xFFFFFF, 0x1A3A8Au) << N;
  }
}

// The committed clips are exactly what the generator writes.
TEST(AviClip, GeneratorWritesTheCommittedClips) {
  kvtest::TempDir Dir;
  std::filesystem::create_directories(Dir / "clips");
  std::filesystem::create_directories(Dir / "tests");
  ASSERT_EQ(QProcess::execute(KV_MAKE_AVI, {QString::fromStdString(Dir / "clips"), QString::fromStdString(Dir / "tests")}),
            0);
  EXPECT_EQ(kvtest::ReadFile(Dir / "clips/syscrt.avi"),
            kvtest::ReadFile(std::string(KV_SOURCE_DIR) + "/animate/data/syscrt.avi"));
  int Count = 0;
  for (const auto &E : std::filesystem::directory_iterator(Dir / "tests")) {
    const std::string Name = E.path().filename().string();
    EXPECT_EQ(kvtest::ReadFile(E.path().string()), Clip(Name)) << Name;
    ++Count;
  }
  EXPECT_EQ(Count, 6);
}

}  // namespace
