#include "client/window/uPartNumbers.h"

#include <QFile>

#include "client/uTextUtils.h"
#include "platform/StringList.h"
#include "platform/SysUtils.h"

using namespace kv;

std::string ReadPartNumbers(const std::string &FileText) {
  TStringList PartNumbers, Pieces;
  size_t Start = 0;
  const size_t N = FileText.size();
  while (Start < N) {
    size_t End = Start;
    while (End < N && FileText[End] != '\r' && FileText[End] != '\n')
      ++End;
    const std::string Line = Trim(FileText.substr(Start, End - Start));
    if (!Line.empty()) {
      SplitString(Line, ",", Pieces, false, false);
      for (int I = 0; I < Pieces.Count(); ++I)
        PartNumbers.Add(Pieces[I]);
    }
    if (End < N && FileText[End] == '\r' && End + 1 < N && FileText[End + 1] == '\n')
      ++End;
    Start = End + 1;
  }
  return JoinStrings(PartNumbers, ",");
}

bool LoadPartNumbersFile(const std::string &FileName, std::string &PartNumbers) {
  QFile File(QString::fromLocal8Bit(FileName.c_str()));
  if (!File.open(QIODevice::ReadOnly))
    return false;
  const QByteArray Text = File.readAll();
  if (File.error() != QFileDevice::NoError)
    return false;
  PartNumbers = ReadPartNumbers(Text.toStdString());
  return true;
}
