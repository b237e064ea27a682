#include "client/uAutomation.h"

namespace {
TCreateAnimator &Factory() {
  static TCreateAnimator F;
  return F;
}
}  // namespace

std::unique_ptr<IAnimator> CreateOleObject(const std::string &ProgID) {
  if (Factory())
    if (auto Object = Factory()(ProgID))
      return Object;
  throw EOleSysError("Invalid class string");
}

void SetAnimatorFactory(TCreateAnimator F) { Factory() = std::move(F); }
