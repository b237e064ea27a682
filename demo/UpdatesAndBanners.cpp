#include "demo/UpdatesAndBanners.h"

#include <atomic>
#include <cstdint>
#include <vector>

#include "demo/Sites.h"

namespace kvdemo {
namespace {

std::atomic<int> FailingUpdateFile{0};
std::atomic<unsigned> BannerTurn{0};

struct TUpdateFile {
  int Version;
  const char *Name;
  const char *Mandatory;
  int Message;
};
const TUpdateFile UpdateFiles[UpdateFileCount] = {
    {3101, "kvnotes.txt", "0", 1}, {3102, "kvsites.txt", "0", 2}, {3103, "kvtips.txt", "0", 2}};

const char *const UpdatePrefix = "/kv_client/update/";
const char *const BannerPrefix = "/kv_client/banners/";

TReply Html(const std::string &Title, const std::string &Body) {
  TReply R;
  R.Body = "<html><head><title>" + Title + "</title></head><body>\r\n" + Body + "\r\n</body></html>\r\n";
  return R;
}

TReply UpdatePage() {
  std::string Rows, Messages;
  for (const TUpdateFile &F : UpdateFiles)
    Rows += "<TR><TD>" + std::to_string(F.Version) + "</TD><TD>" + F.Mandatory + "</TD><TD>http://" + MakerHost +
            UpdatePrefix + F.Name + "</TD><TD>" + std::to_string(F.Message) + "</TD></TR>\r\n";
  Messages += "<TR><TD>1</TD><TD>Release notes for the new version.</TD></TR>\r\n";
  Messages +=
      "<TR><TD>2</TD><TD>A Korvandel(tm) update is available:<br>new shops, new tips &amp; fixes.<br><br>"
      "Download it now?</TD></TR>\r\n";
  return Html("Korvandel updates", "<Table border=1>\r\n" + Rows + "</Table>\r\n<Table border=1>\r\n" + Messages +
                                       "</Table>");
}

bool UpdateFile(const std::string &Name, TReply &Reply) {
  for (int I = 0; I < UpdateFileCount; ++I) {
    if (Name != UpdateFiles[I].Name)
      continue;
    Reply.ContentType = "text/plain; charset=windows-1252";
    if (FailingUpdateFile == I + 1) {
      Reply.Status = 500;
      Reply.Body = "The update file is not available just now.\r\n";
    } else {
      Reply.Body = std::string("Korvandel update ") + std::to_string(UpdateFiles[I].Version) + ": " + Name + "\r\n";
    }
    return true;
  }
  return false;
}

// Each request shows the next of three pictures for its position.
TReply BannerPage(const std::string &Position) {
  const unsigned Turn = BannerTurn++ % 3;
  const std::string P = Position == "2" ? "2" : "1";
  const std::string Picture =
      "http://" + std::string(MakerHost) + BannerPrefix + "banner" + P + "_" + std::to_string(Turn) + ".gif";
  return Html("Korvandel", "<a href='" + std::string(MakerHost) + "/kv_client/offers.htm?banner=" + P + "'>\r\n" +
                               "<img src=\"" + Picture + "\" width=234 height=62 border=0></a>");
}

TReply Gif(unsigned Variant) {
  TReply R;
  R.ContentType = "image/gif";
  R.Body = BannerGif(Variant);
  return R;
}

// LZW data of literal codes only, clearing the table before it fills: simple
// and valid, if not small.
std::string LiteralLzw(const std::vector<uint8_t> &Pixels, int MinCodeSize) {
  const int Clear = 1 << MinCodeSize;
  int Width = MinCodeSize + 1, Next = Clear + 2;
  std::string Bytes;
  uint32_t Acc = 0;
  int Bits = 0;
  auto Put = [&](int Code) {
    Acc |= uint32_t(Code) << Bits;
    Bits += Width;
    while (Bits >= 8) {
      Bytes.push_back(char(Acc & 0xFF));
      Acc >>= 8;
      Bits -= 8;
    }
  };
  Put(Clear);
  for (uint8_t P : Pixels) {
    if (Next >= (1 << Width) - 1) {
      Put(Clear);
      Width = MinCodeSize + 1;
      Next = Clear + 2;
    }
    Put(P);
    ++Next;
  }
  Put(Clear + 1);
  if (Bits > 0)
    Bytes.push_back(char(Acc & 0xFF));
  std::string Out(1, char(MinCodeSize));
  for (size_t I = 0; I < Bytes.size(); I += 255) {
    const size_t K = std::min<size_t>(255, Bytes.size() - I);
    Out.push_back(char(K));
    Out.append(Bytes, I, K);
  }
  Out.push_back('\0');
  return Out;
}

void Word(std::string &S, int W) {
  S.push_back(char(W & 0xFF));
  S.push_back(char((W >> 8) & 0xFF));
}

}  // namespace

void SetFailingUpdateFile(int Number) { FailingUpdateFile = Number; }

std::string BannerGif(unsigned Variant) {
  const int W = 234, H = 62;
  static const uint32_t Schemes[][4] = {{0x1F3A93, 0xF5D547, 0xFFFFFF, 0x0B1640},
                                        {0x2E7D32, 0xFFFFFF, 0xA5D6A7, 0x103512},
                                        {0xB71C1C, 0xFFEB3B, 0xFFFFFF, 0x4A0A0A},
                                        {0x4A148C, 0x80DEEA, 0xFFFFFF, 0x1A0633},
                                        {0xE65100, 0xFFFFFF, 0x263238, 0x3E1500}};
  const uint32_t *C = Schemes[Variant % (sizeof Schemes / sizeof Schemes[0])];
  std::string S = "GIF89a";
  Word(S, W);
  Word(S, H);
  S += std::string{char(0x81), 0, 0};
  for (int I = 0; I < 4; ++I) {
    S.push_back(char(C[I] >> 16));
    S.push_back(char(C[I] >> 8));
    S.push_back(char(C[I]));
  }
  S += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
  for (int Frame = 0; Frame < 2; ++Frame) {
    S += std::string("\x21\xF9\x04\x04", 4);
    Word(S, 60);
    S += std::string("\x00\x00", 2);
    S.push_back(',');
    Word(S, 0);
    Word(S, 0);
    Word(S, W);
    Word(S, H);
    S.push_back(0);
    std::vector<uint8_t> Px(size_t(W) * H);
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X) {
        const bool Border = X < 3 || Y < 3 || X >= W - 3 || Y >= H - 3;
        const bool Stripe = ((X + Y + Frame * 12 + int(Variant) * 5) / 12) % 2 == 0;
        const bool Band = Y > 22 && Y < 40 && X > 30 && X < W - 30;
        Px[size_t(Y) * W + X] = Border ? 3 : Band ? 2 : Stripe ? 0 : 1;
      }
    S += LiteralLzw(Px, 2);
  }
  S.push_back(';');
  return S;
}

bool ServeUpdatesAndBanners(const TRequest &R, TReply &Reply) {
  const std::string Path = UpperCase(R.Path);
  if (Path == "/KV_CLIENT/KVUPDATE.HTM") {
    Reply = UpdatePage();
    return true;
  }
  if (Path == "/KV_CLIENT/KVBANNERS.ASP") {
    Reply = BannerPage(FormValue(R.Query, "banner_position"));
    return true;
  }
  if (Path == "/KV_CLIENT/OFFERS.HTM") {
    Reply = Html("Korvandel offers", "<h1>This month's offers</h1><p>Search many shops at once.</p>");
    return true;
  }
  if (R.Path.rfind(UpdatePrefix, 0) == 0)
    return UpdateFile(R.Path.substr(std::string(UpdatePrefix).size()), Reply);
  if (R.Path.rfind(BannerPrefix, 0) == 0 && Path.size() > 4 && Path.substr(Path.size() - 4) == ".GIF") {
    // "bannerP_T.gif": a picture of its own for every position and turn.
    unsigned Variant = 0;
    for (char Ch : R.Path.substr(std::string(BannerPrefix).size()))
      if (Ch >= '0' && Ch <= '9')
        Variant = Variant * 3 + unsigned(Ch - '0');
    Reply = Gif(Variant);
    return true;
  }
  return false;
}

bool ServeShopBanner(const std::string &ShopKey, const TRequest &R, TReply &Reply) {
  if (UpperCase(R.Path) != "/BANNER.GIF")
    return false;
  unsigned Variant = 0;
  for (char Ch : ShopKey)
    Variant += unsigned(static_cast<unsigned char>(Ch));
  Reply = Gif(Variant);
  return true;
}

}  // namespace kvdemo
