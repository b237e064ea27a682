#pragma once
// The one table of Windows-1252, the system's 8-bit text, for every place
// that turns it into Unicode (the widget edge, files written as UTF-8).

namespace kv {

// The Unicode character of a Windows-1252 byte. The five bytes the code page
// leaves undefined map to the C1 control of the same value, as Windows does.
char16_t AnsiToUnicode(unsigned char C);

}  // namespace kv
