#include "platform/StringList.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/Paths.h"

namespace kv {

TStrings::~TStrings() = default;

void TStrings::Error(int Index) { throw EListError("List index out of bounds (" + IntToStr(Index) + ")"); }

void TStrings::InsertObject(int Index, const std::string &S, void *Obj) {
  Insert(Index, S);
  PutObject(Index, Obj);
}

int TStrings::Add(const std::string &S) {
  int n = Count();
  Insert(n, S);
  return n;
}

int TStrings::AddObject(const std::string &S, void *Obj) {
  int i = Add(S);
  PutObject(i, Obj);
  return i;
}

int TStrings::IndexOf(const std::string &S) const {
  for (int i = 0, n = Count(); i < n; ++i) {
    if (CaseSensitiveCompare() ? Get(i) == S : SameText(Get(i), S))
      return i;
  }
  return -1;
}

void TStrings::Exchange(int Index1, int Index2) {
  std::string s1 = Get(Index1);
  void *o1 = GetObject(Index1);
  Put(Index1, Get(Index2));
  PutObject(Index1, GetObject(Index2));
  Put(Index2, s1);
  PutObject(Index2, o1);
}

int TStrings::IndexOfObject(const void *Obj) const {
  for (int i = 0, n = Count(); i < n; ++i)
    if (GetObject(i) == Obj)
      return i;
  return -1;
}

void TStrings::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex)
    return;
  std::string s = Get(CurIndex);
  void *o = GetObject(CurIndex);
  Delete(CurIndex);
  InsertObject(NewIndex, s, o);
}

void TStrings::AddStrings(const TStrings &Other) {
  BeginUpdate();
  for (int i = 0, n = Other.Count(); i < n; ++i)
    AddObject(Other.Get(i), Other.GetObject(i));
  EndUpdate();
}

void TStrings::Assign(const TStrings &Other) {
  if (&Other == this)
    return;
  BeginUpdate();
  Clear();
  AddStrings(Other);
  EndUpdate();
}

bool TStrings::Equals(const TStrings &Other) const {
  if (Count() != Other.Count())
    return false;
  for (int i = 0, n = Count(); i < n; ++i)
    if (Get(i) != Other.Get(i))
      return false;
  return true;
}

std::string TStrings::Names(int Index) const {
  std::string s = Get(Index);
  auto p = s.find('=');
  return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStrings::ValueFromIndex(int Index) const {
  std::string s = Get(Index);
  auto p = s.find('=');
  return p == std::string::npos ? std::string() : s.substr(p + 1);
}

int TStrings::IndexOfName(const std::string &Name) const {
  for (int i = 0, n = Count(); i < n; ++i) {
    std::string s = Get(i);
    auto p = s.find('=');
    if (p != std::string::npos && SameText(s.substr(0, p), Name))
      return i;
  }
  return -1;
}

std::string TStrings::Values(const std::string &Name) const {
  int i = IndexOfName(Name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValue(const std::string &Name, const std::string &Value) {
  int i = IndexOfName(Name);
  if (Value.empty()) {
    if (i >= 0)
      Delete(i);
    return;
  }
  if (i < 0)
    Add(Name + "=" + Value);
  else
    Put(i, Name + "=" + Value);
}

std::string TStrings::Text() const {
  std::string r;
  for (int i = 0, n = Count(); i < n; ++i) {
    r += Get(i);
    r += "\r\n";
  }
  return r;
}

void TStrings::SetText(const std::string &Value) {
  BeginUpdate();
  Clear();
  size_t i = 0, n = Value.size();
  while (i < n) {
    size_t j = i;
    while (j < n && Value[j] != '\r' && Value[j] != '\n')
      ++j;
    Add(Value.substr(i, j - i));
    if (j < n && Value[j] == '\r')
      ++j;
    if (j < n && Value[j] == '\n')
      ++j;
    i = j;
  }
  EndUpdate();
}

static std::string QuoteItem(const std::string &S, char Delim, char Quote, bool blanksSeparate) {
  bool needs = S.empty() ? false : false;
  for (char c : S) {
    if (c == Delim || c == Quote || (blanksSeparate && static_cast<unsigned char>(c) <= 32)) {
      needs = true;
      break;
    }
  }
  if (!needs)
    return S;
  std::string r(1, Quote);
  for (char c : S) {
    if (c == Quote)
      r += Quote;
    r += c;
  }
  r += Quote;
  return r;
}

static void ReadDelimited(TStrings &L, const std::string &Value, char Delim, char Quote) {
  L.BeginUpdate();
  L.Clear();
  size_t i = 0, n = Value.size();
  auto blank = [](char c) { return c > 0 && static_cast<unsigned char>(c) <= 32; };
  while (i < n && blank(Value[i]))
    ++i;
  while (i < n) {
    std::string item;
    if (Value[i] == Quote) {
      ++i;
      while (i < n) {
        if (Value[i] == Quote) {
          if (i + 1 < n && Value[i + 1] == Quote) {
            item += Quote;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += Value[i++];
      }
    } else {
      while (i < n && Value[i] != Delim && !blank(Value[i]))
        item += Value[i++];
    }
    L.Add(item);
    while (i < n && blank(Value[i]))
      ++i;
    if (i < n && Value[i] == Delim) {
      ++i;
      // A trailing delimiter stands for one more empty item.
      if (i >= n)
        L.Add("");
      while (i < n && blank(Value[i]))
        ++i;
    }
  }
  L.EndUpdate();
}

std::string TStrings::CommaText() const {
  std::string r;
  for (int i = 0, n = Count(); i < n; ++i) {
    if (i)
      r += ',';
    std::string s = Get(i);
    r += s.empty() ? std::string("\"\"") : QuoteItem(s, ',', '"', true);
  }
  return r;
}

void TStrings::SetCommaText(const std::string &Value) { ReadDelimited(*this, Value, ',', '"'); }

std::string TStrings::DelimitedText() const {
  std::string r;
  for (int i = 0, n = Count(); i < n; ++i) {
    if (i)
      r += Delimiter;
    r += QuoteItem(Get(i), Delimiter, QuoteChar, true);
  }
  return r;
}

void TStrings::SetDelimitedText(const std::string &Value) { ReadDelimited(*this, Value, Delimiter, QuoteChar); }

void TStrings::LoadFromFile(const std::string &FileName) {
  std::ifstream f(ResolvePath(FileName), std::ios::binary);
  if (!f)
    throw EInOutError("Cannot open file \"" + FileName + "\"");
  std::ostringstream s;
  s << f.rdbuf();
  SetText(s.str());
}

void TStrings::SaveToFile(const std::string &FileName) const {
  std::string data = Text();
  if (!WriteFileAtomic(FileName, data))
    throw EInOutError("Cannot create file \"" + FileName + "\"");
}

std::vector<std::string> TStrings::ToVector() const {
  std::vector<std::string> v;
  v.reserve(static_cast<size_t>(Count()));
  for (int i = 0, n = Count(); i < n; ++i)
    v.push_back(Get(i));
  return v;
}

TStringList::TStringList(const TStringList &Other)
    : TStrings(), Duplicates(Other.Duplicates), FItems(Other.FItems), FSorted(Other.FSorted),
      FCaseSensitive(Other.FCaseSensitive) {
  Delimiter = Other.Delimiter;
  QuoteChar = Other.QuoteChar;
}

TStringList &TStringList::operator=(const TStringList &Other) {
  if (this != &Other) {
    FItems = Other.FItems;
    FSorted = Other.FSorted;
    FCaseSensitive = Other.FCaseSensitive;
    Duplicates = Other.Duplicates;
    Delimiter = Other.Delimiter;
    QuoteChar = Other.QuoteChar;
    Changed();
  }
  return *this;
}

TStringList::~TStringList() = default;

void TStringList::Changed() {
  if (OnChange)
    OnChange();
}

std::string TStringList::Get(int Index) const {
  if (Index < 0 || Index >= Count())
    Error(Index);
  return FItems[static_cast<size_t>(Index)].S;
}

void TStringList::Put(int Index, const std::string &S) {
  if (FSorted)
    throw EListError("Operation not allowed on sorted list");
  if (Index < 0 || Index >= Count())
    Error(Index);
  FItems[static_cast<size_t>(Index)].S = S;
  Changed();
}

void *TStringList::GetObject(int Index) const {
  if (Index < 0 || Index >= Count())
    Error(Index);
  return FItems[static_cast<size_t>(Index)].Obj;
}

void TStringList::PutObject(int Index, void *Obj) {
  if (Index < 0 || Index >= Count())
    Error(Index);
  FItems[static_cast<size_t>(Index)].Obj = Obj;
}

void TStringList::Insert(int Index, const std::string &S) { InsertObject(Index, S, nullptr); }

void TStringList::InsertObject(int Index, const std::string &S, void *Obj) {
  if (FSorted)
    throw EListError("Operation not allowed on sorted list");
  if (Index < 0 || Index > Count())
    Error(Index);
  FItems.insert(FItems.begin() + Index, Item{S, Obj});
  Changed();
}

void TStringList::Delete(int Index) {
  if (Index < 0 || Index >= Count())
    Error(Index);
  FItems.erase(FItems.begin() + Index);
  Changed();
}

void TStringList::Clear() {
  if (FItems.empty())
    return;
  FItems.clear();
  Changed();
}

int TStringList::Add(const std::string &S) { return AddObject(S, nullptr); }

int TStringList::AddObject(const std::string &S, void *Obj) {
  int index;
  if (!FSorted) {
    index = Count();
  } else if (Find(S, index)) {
    switch (Duplicates) {
    case dupIgnore:
      return index;
    case dupError:
      throw EListError("String list does not allow duplicates");
    case dupAccept:
      // After the equal ones, so equal items keep their order of arrival.
      while (index < Count() && CompareStrings(FItems[static_cast<size_t>(index)].S, S) == 0)
        ++index;
      break;
    }
  }
  FItems.insert(FItems.begin() + index, Item{S, Obj});
  Changed();
  return index;
}

int TStringList::CompareStrings(const std::string &A, const std::string &B) const {
  return FCaseSensitive ? CompareStr(A, B) : CompareText(A, B);
}

bool TStringList::Find(const std::string &S, int &Index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = CompareStrings(FItems[static_cast<size_t>(mid)].S, S);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (Duplicates != dupAccept)
          lo = mid;
      }
    }
  }
  Index = lo;
  return found;
}

int TStringList::IndexOf(const std::string &S) const {
  if (!FSorted)
    return TStrings::IndexOf(S);
  int i;
  return Find(S, i) ? i : -1;
}

void TStringList::Exchange(int Index1, int Index2) {
  if (Index1 < 0 || Index1 >= Count())
    Error(Index1);
  if (Index2 < 0 || Index2 >= Count())
    Error(Index2);
  std::swap(FItems[static_cast<size_t>(Index1)], FItems[static_cast<size_t>(Index2)]);
  Changed();
}

void TStringList::SetSorted(bool Value) {
  if (Value && !FSorted) {
    FSorted = true;
    Sort();
  }
  FSorted = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (Value == FCaseSensitive)
    return;
  FCaseSensitive = Value;
  if (FSorted)
    Sort();
}

void TStringList::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(),
                   [this](const Item &a, const Item &b) { return CompareStrings(a.S, b.S) < 0; });
  Changed();
}

void TStringList::CustomSort(const std::function<int(TStringList &, int, int)> &Compare) {
  // A merge sort over indexes into a snapshot: safe with comparisons that are
  // not a strict weak order.
  const size_t n = FItems.size();
  if (n < 2)
    return;
  std::vector<Item> snapshot = FItems;
  std::vector<size_t> idx(n), tmp(n);
  for (size_t i = 0; i < n; ++i)
    idx[i] = i;
  // The comparison sees the list as it was before sorting.
  auto cmp = [&](size_t a, size_t b) { return Compare(*this, static_cast<int>(a), static_cast<int>(b)); };
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi)
        tmp[k++] = cmp(idx[j], idx[i]) < 0 ? idx[j++] : idx[i++];
      while (i < mid)
        tmp[k++] = idx[i++];
      while (j < hi)
        tmp[k++] = idx[j++];
    }
    idx.swap(tmp);
  }
  for (size_t i = 0; i < n; ++i)
    FItems[i] = snapshot[idx[i]];
  Changed();
}

}  // namespace kv
