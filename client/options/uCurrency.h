#pragma once
// The currency library, bound by name at run time ("Ratewell.dll", that is
// libRatewell.so in the program folder). The program runs without it; the
// currency page then cannot update its rates.
#include <functional>
#include <string>

#include "ratewell/Ratewell.h"

struct TRatewell {
  // Starts one rate request; the reply comes to Reply on the message loop.
  std::function<void(const std::string &From, const std::string &To, bool UseProxy, const std::string &ProxyHost,
                     const std::string &ProxyPort, TConversionRateProc Reply, void *Context)>
      GetConversionRate;
  std::function<void()> TerminateProcesses;
  bool Bound() const { return GetConversionRate && TerminateProcesses; }
};

// The library's two functions, bound at the first call that finds them and
// kept for the program's life (bound again only for another library name);
// both empty when the library or a function is missing.
TRatewell BindRatewell();
// The library's name as the loader takes it.
extern std::string RatewellLibraryName;

// A rate as the edit shows it: the number in its shortest form ("1.5",
// "0.6854"); false when Rate is no number.
bool RateText(const std::string &Rate, std::string &Text);
