#pragma once
// The usage tips of the toolbar's tip label.
#include <array>
#include <string>

extern const std::array<const char *, 5> HintTips;

// One of the five tips, at random (the generator re-seeded from the clock).
std::string GetRandomTip();
