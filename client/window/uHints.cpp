#include "client/window/uHints.h"

#include <chrono>
#include <random>

const std::array<const char *, 5> HintTips = {
    "Tip 1: Specify a Part Number or Description for your search.",
    "Tip 2: You can sort results by Clicking on the Column Heading.",
    "Tip 3: Double clicking a Result will load that item in your Browser.",
    "Tip 4: To avoid searching a site, you can disable it under the Options menu.",
    "Tip 5: To view a Datasheet Click on the Datasheet Icon (if one exists)"};

std::string GetRandomTip() {
  std::mt19937 Generator(
      static_cast<unsigned>(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  std::uniform_int_distribution<int> Pick(0, static_cast<int>(HintTips.size()) - 1);
  return HintTips[Pick(Generator)];
}
