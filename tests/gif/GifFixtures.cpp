#include "GifFixtures.h"

namespace giftest {

namespace {

std::string TwoFrames(int Loops, int Disposal, int Delay) {
  TGifBuilder B;
  B.Header(6, 5);
  if (Loops >= 0)
    B.Netscape(Loops);
  B.Gce(Disposal, Delay).Image(0, 0, 6, 5, Ramp(6, 5, 4));
  B.Gce(Disposal, Delay).Image(1, 1, 3, 2, Ramp(3, 2, 3));
  return B.Trailer().S;
}

}  // namespace

std::vector<TFixture> AllFixtures() {
  std::vector<TFixture> F;
  F.push_back({"gif87a_plain", TGifBuilder().Header(5, 4, 2, {}, "GIF87a").Image(0, 0, 5, 4, Ramp(5, 4, 4)).Trailer().S});
  for (int L : {-1, 0, 1, 3, 65535})
    F.push_back({"loop_" + std::to_string(L), TwoFrames(L, 0, 10)});
  for (int D = 0; D < 8; ++D)
    F.push_back({"disposal_" + std::to_string(D), TwoFrames(0, D, 7)});
  F.push_back({"delay_zero", TwoFrames(0, 1, 0)});
  for (int H = 1; H <= 17; ++H)
    F.push_back({"interlaced_h" + std::to_string(H),
                 TGifBuilder().Header(3, H, 8).Image(0, 0, 3, H, Ramp(3, H, 256), true, 0, {8}).Trailer().S});
  F.push_back({"frame_outside_screen",
               TGifBuilder().Header(4, 4).Image(0, 0, 4, 4, Ramp(4, 4, 4)).Image(3, 2, 5, 6, Ramp(5, 6, 4)).Trailer().S});
  F.push_back({"comments", TGifBuilder()
                               .Header(2, 2)
                               .Comment("first")
                               .Image(0, 0, 2, 2, Ramp(2, 2, 4))
                               .Comment("sec", 2)
                               .Comment("ond")
                               .Image(0, 0, 2, 2, Ramp(2, 2, 3))
                               .Trailer()
                               .S});
  F.push_back({"subblocks_1byte",
               TGifBuilder().Header(20, 20, 8).Image(0, 0, 20, 20, Ramp(20, 20, 256), false, 0, {8, 1}).Trailer().S});
  F.push_back({"subblocks_mixed", TGifBuilder()
                                      .Header(9, 7, 0)
                                      .Image(0, 0, 9, 7, Ramp(9, 7, 32), false, 5, {5, 3})
                                      .Image(0, 0, 9, 7, Ramp(9, 7, 32), true, 5, {5, 254})
                                      .Trailer()
                                      .S});
  F.push_back({"full_table_no_clear", TGifBuilder()
                                          .Header(80, 80, 8)
                                          .Image(0, 0, 80, 80, Ramp(80, 80, 256), false, 0, {8, 255, false})
                                          .Trailer()
                                          .S});
  F.push_back({"full_table_clears", TGifBuilder()
                                        .Header(80, 80, 8)
                                        .Image(0, 0, 80, 80, Ramp(80, 80, 256), false, 0, {8, 255, true})
                                        .Trailer()
                                        .S});
  {
    TGifBuilder B;
    B.Header(1, 1).Netscape(0);
    for (int I = 0; I < 257; ++I)
      B.Gce(1, I % 5).Image(0, 0, 1, 1, {uint8_t(I % 4)});
    F.push_back({"frames_257", B.Trailer().S});
  }
  F.push_back({"transparent", TGifBuilder()
                                  .Header(4, 3)
                                  .Gce(2, 5, true, 1)
                                  .Image(0, 0, 4, 3, Ramp(4, 3, 4))
                                  .Gce(0, 5, true, 3)
                                  .Image(1, 0, 2, 2, Ramp(2, 2, 4))
                                  .Trailer()
                                  .S});
  F.push_back({"local_tables", TGifBuilder()
                                   .Header(8, 8, 1)
                                   .Image(0, 0, 8, 8, Ramp(8, 8, 8), false, 3, {3})
                                   .Image(2, 2, 4, 4, Ramp(4, 4, 2))
                                   .Image(0, 0, 8, 8, Ramp(8, 8, 128), false, 7, {7})
                                   .Trailer()
                                   .S});
  F.push_back({"no_trailer", TGifBuilder().Header(3, 3).Image(0, 0, 3, 3, Ramp(3, 3, 4)).S});
  F.push_back({"plain_text_ext", TGifBuilder()
                                     .Header(3, 3)
                                     .Raw(std::string("\x21\x01\x0c", 3) + std::string(12, '\1') + "\x03" "abc" + std::string(1, '\0'))
                                     .Image(0, 0, 3, 3, Ramp(3, 3, 4))
                                     .Trailer()
                                     .S});
  F.push_back({"other_app_ext", TGifBuilder()
                                    .Header(3, 3)
                                    .Raw(std::string("\x21\xff\x0bXMP DataXMP\x02zz", 17) + std::string(1, '\0'))
                                    .Netscape(4)
                                    .Image(0, 0, 3, 3, Ramp(3, 3, 4))
                                    .Trailer()
                                    .S});
  // Deliberately read differently from giflib.
  F.push_back({"unknown_label", TGifBuilder()
                                    .Header(3, 3)
                                    .Image(0, 0, 3, 3, Ramp(3, 3, 4))
                                    .Raw(std::string("\x21\x77\x01x", 4) + std::string(1, '\0'))
                                    .Image(0, 0, 3, 3, Ramp(3, 3, 2))
                                    .Trailer()
                                    .S,
               false});
  {
    // min code size 12 in the first image; the second is still read.
    TGifBuilder B;
    B.Header(3, 3).Image(0, 0, 3, 3, Ramp(3, 3, 4));
    B.S[13 + 12 + 10] = 12;  // the code size byte, behind screen, table and descriptor
    B.Image(0, 0, 3, 3, Ramp(3, 3, 2)).Trailer();
    F.push_back({"bad_code_size", B.S, false});
  }
  {
    // Codes at width 3: clear, 1, 7 (above the next free code 6), then junk.
    TGifBuilder B;
    B.Header(3, 3);
    B.Raw(std::string(",\0\0\0\0\3\0\3\0\0", 10));
    const uint32_t Bits = 4 | 1 << 3 | 7 << 6 | 2 << 9 | 3 << 12;
    B.Raw(std::string("\x02\x02", 2));
    B.Byte(int(Bits & 0xFF));
    B.Byte(int(Bits >> 8));
    B.Byte(0);
    B.Image(0, 0, 3, 3, Ramp(3, 3, 2)).Trailer();
    F.push_back({"bad_code_above_next", B.S, false});
  }
  return F;
}

}  // namespace giftest
