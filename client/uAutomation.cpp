#include "client/uAutomation.h"

#include "platform/automation/Automation.h"
#include "platform/automation/BackgroundObject.h"

namespace {

TCreateAnimator &Factory() {
  static TCreateAnimator F;
  return F;
}

// The animation server's object, called late-bound by member name. The calls
// run in order on a thread of their own, so neither starting the server nor
// a server that hangs holds up the window, which ignores their outcome anyway.
class TAnimatorProxy : public IAnimator {
public:
  explicit TAnimatorProxy(const std::string &ProgID)
      : FObject([ProgID] { return kv::CreateAutomationObject(ProgID); }) {}
  void Start() override { FObject.Post("Start", {}); }
  void Stop() override { FObject.Post("Stop", {}); }
  void SetAnimateParent(WId Parent) override { FObject.Post("SetAnimateParent", {Handle(Parent)}); }
  void DisplayStatus(const std::string &Text, bool Flash) override { FObject.Post("DisplayStatus", {Text, Flash}); }
  void SetStatusParent(WId Parent) override { FObject.Post("SetStatusParent", {Handle(Parent)}); }

private:
  // A window handle crosses as a 32-bit integer; X11's ids fit.
  static int Handle(WId Parent) { return static_cast<int>(static_cast<uint32_t>(Parent)); }
  kv::TBackgroundObject FObject;
};

}  // namespace

std::unique_ptr<IAnimator> CreateOleObject(const std::string &ProgID) {
  if (Factory()) {
    if (auto Object = Factory()(ProgID))
      return Object;
  } else if (kv::ClassRegistered(ProgID)) {
    return std::make_unique<TAnimatorProxy>(ProgID);
  }
  throw EOleSysError("Invalid class string");
}

void SetAnimatorFactory(TCreateAnimator F) { Factory() = std::move(F); }
