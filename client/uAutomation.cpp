#include "client/uAutomation.h"

#include "platform/automation/Automation.h"

namespace {

TCreateAnimator &Factory() {
  static TCreateAnimator F;
  return F;
}

// The animation server's object, called late-bound by member name.
class TAnimatorProxy : public IAnimator {
public:
  explicit TAnimatorProxy(std::shared_ptr<kv::IDispatch> Object) : FObject(std::move(Object)) {}
  void Start() override { Call("Start", {}); }
  void Stop() override { Call("Stop", {}); }
  void SetAnimateParent(WId Parent) override { Call("SetAnimateParent", {Handle(Parent)}); }
  void DisplayStatus(const std::string &Text, bool Flash) override { Call("DisplayStatus", {Text, Flash}); }
  void SetStatusParent(WId Parent) override { Call("SetStatusParent", {Handle(Parent)}); }

private:
  // A window handle crosses as a 32-bit integer; X11's ids fit.
  static int Handle(WId Parent) { return static_cast<int>(static_cast<uint32_t>(Parent)); }
  void Call(const char *Name, const kv::TOleArgs &Args) {
    try {
      FObject->Invoke(Name, Args);
    } catch (const kv::EOleException &E) {
      throw EOleSysError(E.what());
    }
  }
  std::shared_ptr<kv::IDispatch> FObject;
};

}  // namespace

std::unique_ptr<IAnimator> CreateOleObject(const std::string &ProgID) {
  if (Factory()) {
    if (auto Object = Factory()(ProgID))
      return Object;
    throw EOleSysError("Invalid class string");
  }
  try {
    return std::make_unique<TAnimatorProxy>(kv::CreateAutomationObject(ProgID));
  } catch (const kv::EOleException &E) {
    throw EOleSysError(E.what());
  }
}

void SetAnimatorFactory(TCreateAnimator F) { Factory() = std::move(F); }
