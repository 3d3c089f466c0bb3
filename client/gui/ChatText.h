#pragma once

#include <ctime>
#include <string>

// Texts shared by the chat and history windows: time labels, the short dates of older
// history days, and the cleaning of message texts.
namespace ChatText {

// "(HH:MM)": the local time with two-digit hours, as the lines of a conversation show it.
std::wstring timeLabel(std::time_t time);
// "(H:MM)": the hour without a leading zero, as status notices show it.
std::wstring statusTimeLabel(std::time_t time);
// A stored day "dd.mm.yyyy" as "mm/dd/yy" when english, else "dd/mm/yy"; the text
// unchanged when it is not such a date.
std::wstring shortDate(const std::wstring& storedDate, bool english);
// True when the language setting is missing or "English".
bool englishDates();
// The text with every character that an XML stream or the history files cannot carry (the
// C0 controls other than tab, line feed and carriage return, and U+FFFE, U+FFFF) replaced
// by U+FFFD. Characters below U+0005 would split a stored record in two; the others make
// the server end the stream.
std::wstring clean(const std::wstring& text);
// "online", "free for chat", ... "offline" (any other value), translated.
std::wstring statusWord(int status);

}  // namespace ChatText
