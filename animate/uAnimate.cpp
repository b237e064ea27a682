#include "animate/uAnimate.h"

#include <filesystem>

using kv::TOleVariant;
using kv::TVarType;

kv::TClassInfo AnimatorClassInfo() {
  kv::TClassInfo I;
  I.ProgID = "Animate.TAnimator";
  I.ClassName = "TAnimator Object";
  I.CLSID = "{A3F00A7E-2BF2-449C-B64D-108A15CD89CE}";
  I.LibID = "{FBBCD3A8-1CC1-4CE4-A854-6D7653DF1F1E}";
  I.LibName = "Animate";
  I.LibHelp = "Animate Library";
  I.LibVersion = "1.0";
  I.IID = "{EC2A8564-062E-457D-9EBF-36446E5B1FED}";
  I.InterfaceName = "ITAnimator";
  std::error_code E;
  I.ServerPath = std::filesystem::read_symlink("/proc/self/exe", E).string();
  return I;
}

// A window handle travels as a 32-bit integer; X11's ids fit.
static quintptr Handle(int Value) { return static_cast<quintptr>(static_cast<uint32_t>(Value)); }

TTAnimator::TTAnimator(TfrmAnimate &Form) : FForm(Form) {
  FTable.Add("Start", {}, [this](const kv::TOleArgs &) { Start(); return TOleVariant(); });
  FTable.Add("Stop", {}, [this](const kv::TOleArgs &) { Stop(); return TOleVariant(); });
  FTable.Add("SetAnimateParent", {TVarType::Integer}, [this](const kv::TOleArgs &A) {
    SetAnimateParent(A[0].AsInteger());
    return TOleVariant();
  }, {"Value"});
  FTable.Add("DisplayStatus", {TVarType::String, TVarType::Boolean}, [this](const kv::TOleArgs &A) {
    DisplayStatus(A[0].AsString(), A[1].AsBoolean());
    return TOleVariant();
  }, {"strStatus", "bFlash"});
  FTable.Add("SetStatusParent", {TVarType::Integer}, [this](const kv::TOleArgs &A) {
    SetStatusParent(A[0].AsInteger());
    return TOleVariant();
  }, {"Value"});
}

TOleVariant TTAnimator::Invoke(const std::string &Name, const kv::TOleArgs &Args, const kv::TNamedArgs &Named) {
  return FTable.Invoke(Name, Args, Named);
}

void TTAnimator::Start() { FForm.aniSearch->SetActive(true); }
void TTAnimator::Stop() { FForm.aniSearch->SetActive(false); }
void TTAnimator::SetAnimateParent(int Value) { FForm.SetAnimateParent(Handle(Value)); }
void TTAnimator::DisplayStatus(const std::string &strStatus, bool bFlash) { FForm.DisplayStatus(strStatus, bFlash); }
void TTAnimator::SetStatusParent(int Value) { FForm.SetStatusParent(Handle(Value)); }
