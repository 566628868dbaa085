// Text at the Windows boundary: the program keeps every name as UTF-8 and
// hands the system wide text (UTF-16), so that names outside the user's
// code page (a user folder such as C:\Users\Юрий, a cart named in CJK)
// reach the system unchanged.
#pragma once

#include <string>

// The wide form of UTF-8 text. False, with out empty, for a null text or
// one that is not UTF-8 (such a name names no file).
bool win32_wide_from_utf8(const char *text, std::wstring &out);
// The UTF-8 form of wide text. False, with out empty, for a null text or
// one that holds a lone surrogate.
bool win32_utf8_from_wide(const wchar_t *text, std::string &out);
// Sets errno from the thread's last system error (for callers that report
// failures with strerror).
void win32_set_errno_from_last_error();
