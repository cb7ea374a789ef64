#pragma once
// The column and row numbers a cell reference stands for, read in one pass
// over its code units. The column is the bijective base-26 value of the first
// run of letters A-Z once the text is upper-cased (toUpper turns a-z, and also
// U+0131 and U+017F, into ASCII letters; nothing else becomes one); the row is
// the decimal value of the first run of digits 0-9. Both keep their low 32
// bits read as signed, so an overlong run may come out negative or small.
// This is what matching "[A-Z]+" and "[0-9]+" against the upper-cased text
// gives, without building the upper-cased copy, its UTF-8 form or the list of
// every match for each of the sheet's cells.

#include <cstdint>
#include <string_view>

struct ReferenceNumbers {
  int64_t column = 0;
  int64_t row = 0;
};

ReferenceNumbers ScanReference(std::u16string_view ref);
