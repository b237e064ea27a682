#pragma once
// The string lists the system passes around: an abstract TStrings with the
// operations callers use, and TStringList, its ordinary implementation.
// Indexes count from 0; a bad index raises EListError.
#include <functional>
#include <string>
#include <vector>

#include "platform/SysUtils.h"

namespace kv {

enum TDuplicates : unsigned char { dupIgnore, dupAccept, dupError };

class TStrings {
public:
  virtual ~TStrings();

  virtual int Count() const = 0;
  virtual std::string Get(int Index) const = 0;
  virtual void Put(int Index, const std::string &S) = 0;
  virtual void *GetObject(int Index) const = 0;
  virtual void PutObject(int Index, void *Obj) = 0;
  virtual void Insert(int Index, const std::string &S) = 0;
  virtual void InsertObject(int Index, const std::string &S, void *Obj);
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;
  virtual int Add(const std::string &S);
  virtual int AddObject(const std::string &S, void *Obj);
  // Case-insensitive (ASCII) unless a list says otherwise.
  virtual int IndexOf(const std::string &S) const;
  virtual void Exchange(int Index1, int Index2);
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}

  std::string operator[](int Index) const { return Get(Index); }
  std::string Strings(int Index) const { return Get(Index); }
  void *Objects(int Index) const { return GetObject(Index); }
  int IndexOfObject(const void *Obj) const;
  void Move(int CurIndex, int NewIndex);
  void Append(const std::string &S) { Add(S); }
  void AddStrings(const TStrings &Other);
  void Assign(const TStrings &Other);
  bool Equals(const TStrings &Other) const;

  // "Name=Value" lines.
  std::string Names(int Index) const;
  std::string ValueFromIndex(int Index) const;
  int IndexOfName(const std::string &Name) const;
  std::string Values(const std::string &Name) const;
  // An empty value removes the line, as the class library does.
  void SetValue(const std::string &Name, const std::string &Value);

  // Lines joined by CRLF, each line ended by one. Setting splits at CR, LF or CRLF.
  std::string Text() const;
  void SetText(const std::string &Value);
  // Items separated by ","; an item with a blank, comma or quote is quoted with
  // '"' (inner quotes doubled). Setting reads that form back, blanks also
  // separating unquoted items.
  std::string CommaText() const;
  void SetCommaText(const std::string &Value);
  // As CommaText with a chosen delimiter and quote.
  std::string DelimitedText() const;
  void SetDelimitedText(const std::string &Value);
  char Delimiter = ',';
  char QuoteChar = '"';

  // Raises EInOutError when the file cannot be read or written.
  void LoadFromFile(const std::string &FileName);
  void SaveToFile(const std::string &FileName) const;

  std::vector<std::string> ToVector() const;

protected:
  [[noreturn]] static void Error(int Index);
  virtual bool CaseSensitiveCompare() const { return false; }
};

class TStringList : public TStrings {
public:
  TStringList() = default;
  TStringList(const TStringList &Other);
  TStringList &operator=(const TStringList &Other);
  ~TStringList() override;

  int Count() const override { return static_cast<int>(FItems.size()); }
  std::string Get(int Index) const override;
  void Put(int Index, const std::string &S) override;
  void *GetObject(int Index) const override;
  void PutObject(int Index, void *Obj) override;
  void Insert(int Index, const std::string &S) override;
  void InsertObject(int Index, const std::string &S, void *Obj) override;
  void Delete(int Index) override;
  void Clear() override;
  int Add(const std::string &S) override;
  int AddObject(const std::string &S, void *Obj) override;
  int IndexOf(const std::string &S) const override;
  void Exchange(int Index1, int Index2) override;

  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);
  TDuplicates Duplicates = dupIgnore;
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool Value);

  // Binary search of a sorted list: true and the index when found, else false
  // and the index where S would go.
  bool Find(const std::string &S, int &Index) const;
  void Sort();
  // Stable sort with a three-way comparison of two indexes.
  void CustomSort(const std::function<int(TStringList &, int, int)> &Compare);

  // Called after each change, as OnChange.
  std::function<void()> OnChange;

protected:
  bool CaseSensitiveCompare() const override { return FCaseSensitive; }

private:
  struct Item {
    std::string S;
    void *Obj = nullptr;
  };
  int CompareStrings(const std::string &A, const std::string &B) const;
  void Changed();
  std::vector<Item> FItems;
  bool FSorted = false;
  bool FCaseSensitive = false;
};

}  // namespace kv
