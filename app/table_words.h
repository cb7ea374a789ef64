#pragma once
// The words for a relation table that could not be read: the readers say
// what happened as a value (WorkbookStatus), and this is the one place that
// turns it into the sentences of text/catalogue.h.

#include "text/text.h"
#include "workbook/workbook.h"

struct TableFailureWords {
  Text headline;  // as the end dialog's headline says it, after "未能同步："
  Text logged;    // as the log and the summary say it, with the workbook's path
};

// Both empty when the table was read whole.
TableFailureWords tableFailureWords(const Text& workbook, const WorkbookStatus& status);
