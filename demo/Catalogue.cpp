#include "demo/Catalogue.h"

#include <fstream>
#include <stdexcept>

#include "demo/Http.h"

namespace kvdemo {

std::vector<std::string> SplitCsvLine(const std::string &Line) {
  std::vector<std::string> Fields(1);
  bool Quoted = false;
  for (size_t I = 0; I < Line.size(); ++I) {
    const char C = Line[I];
    if (Quoted) {
      if (C == '"' && I + 1 < Line.size() && Line[I + 1] == '"') {
        Fields.back() += '"';
        ++I;
      } else if (C == '"') {
        Quoted = false;
      } else {
        Fields.back() += C;
      }
    } else if (C == '"') {
      Quoted = true;
    } else if (C == ',') {
      Fields.emplace_back();
    } else {
      Fields.back() += C;
    }
  }
  return Fields;
}

std::vector<TOffer> LoadCatalogue(const std::string &Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In)
    throw std::runtime_error("cannot read " + Path);
  std::vector<TOffer> Offers;
  std::string Line;
  int Number = 0;
  while (std::getline(In, Line)) {
    ++Number;
    if (!Line.empty() && Line.back() == '\r')
      Line.pop_back();
    if (Number == 1 || Line.empty())
      continue;
    const std::vector<std::string> F = SplitCsvLine(Line);
    if (F.size() != 16)
      throw std::runtime_error(Path + ":" + std::to_string(Number) + ": expected 16 fields");
    TOffer O{F[0], F[1], F[2], F[3], F[4], F[5], F[6], {}, F[15]};
    for (int B = 0; B < 4; ++B)
      if (!F[7 + 2 * B].empty())
        O.Breaks.push_back({F[7 + 2 * B], F[8 + 2 * B]});
    Offers.push_back(std::move(O));
  }
  return Offers;
}

std::vector<const TOffer *> FindOffers(const std::vector<TOffer> &Catalogue, const std::string &Shop,
                                       const std::string &Term, bool ByDescription) {
  std::vector<const TOffer *> Found;
  const std::string Wanted = UpperCase(Trim(Term));
  if (Wanted.empty())
    return Found;
  for (const TOffer &O : Catalogue)
    if (O.Shop == Shop && UpperCase(ByDescription ? O.Description : O.PartNumber).find(Wanted) != std::string::npos)
      Found.push_back(&O);
  return Found;
}

}  // namespace kvdemo
