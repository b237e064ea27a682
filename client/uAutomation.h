#pragma once
// Late-bound automation objects by ProgID. The client holds one, the
// animation server's "Animate.TAnimator", made through the automation layer
// (or a factory the tests put in its place).
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "platform/SysUtils.h"

// The members of the animation server's interface that the client calls.
class IAnimator {
public:
  virtual ~IAnimator() = default;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  virtual void SetAnimateParent(WId Parent) = 0;
  virtual void DisplayStatus(const std::string &Text, bool Flash) = 0;
  virtual void SetStatusParent(WId Parent) = 0;
};

class EOleSysError : public kv::Exception {
public:
  using Exception::Exception;
};

using TCreateAnimator = std::function<std::unique_ptr<IAnimator>(const std::string &ProgID)>;
// Raises EOleSysError ("Invalid class string") when the class is not
// registered. The object's calls never wait and never raise: a server that
// cannot start, hangs or ends only makes them do nothing.
std::unique_ptr<IAnimator> CreateOleObject(const std::string &ProgID);
// Replaces the factory (the automation layer, tests); empty restores the default.
void SetAnimatorFactory(TCreateAnimator Factory);
