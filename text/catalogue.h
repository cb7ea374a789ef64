#pragma once
// Every sentence the program shows a user, in one place: log reasons,
// headlines, dialog texts, notices and the window's own words. A reviewer
// reads them together here, and none is written twice.

// The window shells' own words.
inline constexpr char16_t kOkButton[] = u"确定";
inline constexpr char16_t kRetryButton[] = u"重新同步(R)";
