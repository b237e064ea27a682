#pragma once
// A file search shaped like FindFirst/FindNext/FindClose. The pattern ("Lib\*.TWL")
// is relative to the working directory unless absolute; the folder part is
// resolved by the path service and names match the wildcard ("*", "?") without
// regard to case. Every kind of entry matches (folders too, never "." and
// ".."), in a stable order (by upper-cased name); one snapshot per search.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kv {

constexpr int faReadOnly = 0x01;
constexpr int faHidden = 0x02;
constexpr int faSysFile = 0x04;
constexpr int faDirectory = 0x10;
constexpr int faArchive = 0x20;
constexpr int faAnyFile = 0x3F;

struct TSearchRec {
  std::string Name;  // the entry's name as on disk
  int64_t Size = 0;
  int Attr = 0;      // faDirectory for folders
  int32_t Time = 0;  // FileAge form
  // The snapshot being walked.
  std::shared_ptr<std::vector<TSearchRec>> FindData;
  size_t FindIndex = 0;
};

// 0 when an entry was found, else a non-zero error code (18: no more files,
// 3: path not found).
int FindFirst(const std::string &Pattern, int Attr, TSearchRec &F);
int FindNext(TSearchRec &F);
void FindClose(TSearchRec &F);
// Windows wildcard match of a name, ASCII case-insensitive.
bool MatchesMask(const std::string &Name, const std::string &Mask);
// Deletes every file directly inside Folder; sub-folders and the folder stay.
void DeleteDirectory(const std::string &Folder);

}  // namespace kv
