// Line formats of the activity log, kept pure so that every byte can be
// checked natively. Lines are ANSI text in code page 932 and always fit the
// log's 80-byte line buffer: a longer line is cut at a character boundary.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "timebase/ntp_time.h"

enum { LOG_LINE_SIZE = 80 };  // at most 79 bytes of text and the terminating zero

typedef char LogLineBuffer[LOG_LINE_SIZE];

// "2026/12/10 07:15:22 " before a line of at most 79 bytes and CR LF after
// it: a line as the log file and a copy of the log hold it.
enum { STAMPED_LINE_SIZE = 20 + LOG_LINE_SIZE + 2 };

typedef char StampedLineBuffer[STAMPED_LINE_SIZE];

// printf-style formatting into the line buffer; a line that does not fit is
// cut before the first character that would not fit whole.
void FormatLogLine(LogLineBuffer& line, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The line stamped with its local time; its length, the terminating zero not counted.
size_t FormatStampedLine(StampedLineBuffer& line, const SYSTEMTIME& local, const char* text);

// "%s エラー (%d)": the failed call's name and its error code, signed.
void FormatErrorLine(LogLineBuffer& line, const char* name, int32_t code);

// "%s%lu.%03lu%s": a 32.32 value as whole seconds and three truncated digits
// of milliseconds, between a prefix and a suffix.
void FormatSecondsLine(LogLineBuffer& line, const char* prefix, uint64_t value, const char* suffix);

// "PC=%lx%08lx, PF=%lx%08lx x=%lx%08lx dw=%lx": the performance counter,
// its frequency and their quotient, each as a high part without leading
// zeros and eight hex digits of low part, then the tick count in seconds.
void FormatCounterLine(LogLineBuffer& line, int64_t counter, int64_t frequency, uint32_t dwTickCount);

// Length of the longest prefix of text[0..length) that ends on a character
// boundary of code page 932, where a lead byte and its trail byte stay together.
size_t Cp932Boundary(const char* text, size_t length);

// Copies text into dest of size bytes, zero-terminated; a text that does not
// fit is cut before the first character that would not fit whole.
void CopyCp932(char* dest, size_t size, const char* text);
