#include "workbook/reference_scan.h"

namespace {

// The letter value 1..26 the unit has after upper-casing, 0 for a non-letter.
uint32_t LetterValue(char16_t unit) {
  if (unit >= u'A' && unit <= u'Z') return unit - u'A' + 1;
  if (unit >= u'a' && unit <= u'z') return unit - u'a' + 1;
  if (unit == 0x131) return u'I' - u'A' + 1;  // dotless i
  if (unit == 0x17F) return u'S' - u'A' + 1;  // long s
  return 0;
}

int64_t Low32(uint32_t n) {
  return static_cast<int32_t>(n);
}

}  // namespace

ReferenceNumbers ScanReference(std::u16string_view ref) {
  // Arithmetic modulo 2^32 keeps exactly the low 32 bits that the 64-bit
  // wrapping reading would keep after truncation.
  uint32_t column = 0, row = 0;
  bool columnDone = false, rowDone = false;
  bool inLetters = false, inDigits = false;
  for (char16_t unit : ref) {
    uint32_t letter = columnDone ? 0 : LetterValue(unit);
    if (letter) {
      column = column * 26u + letter;
      inLetters = true;
    } else if (inLetters) {
      columnDone = true;
      inLetters = false;
    }
    bool digit = !rowDone && unit >= u'0' && unit <= u'9';
    if (digit) {
      row = row * 10u + (unit - u'0');
      inDigits = true;
    } else if (inDigits) {
      rowDone = true;
      inDigits = false;
    }
    if (columnDone && rowDone) break;
  }
  return {Low32(column), Low32(row)};
}
