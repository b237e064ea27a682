#pragma once
// The keys by which a local automation server is found: the program
// identifier, the class with its local server path, the type library and the
// interface, all in HKEY_CLASSES_ROOT of our registry.
#include <string>

namespace kv {

struct TClassInfo {
  std::string ProgID;         // "Animate.TAnimator"
  std::string ClassName;      // "TAnimator Object"
  std::string CLSID;          // "{...}"
  std::string LibID;          // the type library's identifier
  std::string LibName;        // "Animate"
  std::string LibHelp;        // "Animate Library"
  std::string LibVersion;     // "1.0"
  std::string IID;            // the default interface
  std::string InterfaceName;  // "ITAnimator"
  std::string ServerPath;     // the program, started with "-Embedding"
};

// Write every key of the class; false when the registry cannot be written.
bool RegisterClassKeys(const TClassInfo &Info);
// Remove exactly the keys RegisterClassKeys writes (and the container keys
// "CLSID", "TypeLib" and "Interface" when they are left empty).
bool UnregisterClassKeys(const TClassInfo &Info);

// ProgID -> CLSID -> LocalServer32. False when either step is missing.
bool FindLocalServer(const std::string &ProgID, std::string &CLSID, std::string &ServerPath);

}  // namespace kv
