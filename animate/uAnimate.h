#pragma once
// The automation object "Animate.TAnimator". It holds nothing of its own:
// every object drives the server's one form, so the last call wins.
#include "animate/fAnimate.h"
#include "platform/automation/ClassRegistry.h"
#include "platform/automation/Dispatch.h"

// The class, type library and interface as they are registered; ServerPath
// is the running program.
kv::TClassInfo AnimatorClassInfo();

class TTAnimator : public kv::IDispatch {
public:
  explicit TTAnimator(TfrmAnimate &Form);
  kv::TOleVariant Invoke(const std::string &Name, const kv::TOleArgs &Args, const kv::TNamedArgs &Named) override;
  std::vector<kv::TMemberInfo> Members() const override { return FTable.Members(); }

  void Start();
  void Stop();
  void SetAnimateParent(int Value);
  void DisplayStatus(const std::string &strStatus, bool bFlash);
  void SetStatusParent(int Value);

private:
  TfrmAnimate &FForm;
  kv::TDispatchTable FTable;
};
