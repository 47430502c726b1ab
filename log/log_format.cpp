#include "log/log_format.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace {

bool IsCp932LeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

}  // namespace

size_t Cp932Boundary(const char* text, size_t length)
{
    // Trail bytes overlap both halves of the table, so only a walk from the
    // start can tell a lead byte from a trail byte.
    size_t i = 0;
    while (i < length) {
        size_t width = IsCp932LeadByte((unsigned char)text[i]) ? 2 : 1;
        if (i + width > length) break;
        i += width;
    }
    return i;
}

void CopyCp932(char* dest, size_t size, const char* text)
{
    size_t length = strlen(text);
    if (length >= size) length = Cp932Boundary(text, size - 1);
    memcpy(dest, text, length);
    dest[length] = '\0';
}

void FormatLogLine(LogLineBuffer& line, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int needed = vsnprintf(line, LOG_LINE_SIZE, format, args);
    va_end(args);
    if (needed < 0) {
        line[0] = '\0';
    } else if (needed >= LOG_LINE_SIZE) {
        line[Cp932Boundary(line, strlen(line))] = '\0';
    }
}

size_t FormatStampedLine(StampedLineBuffer& line, const SYSTEMTIME& local, const char* text)
{
    snprintf(line, STAMPED_LINE_SIZE, "%04d/%02d/%02d %02d:%02d:%02d %s\r\n", local.wYear, local.wMonth, local.wDay,
             local.wHour, local.wMinute, local.wSecond, text);
    return strlen(line);
}

void FormatErrorLine(LogLineBuffer& line, const char* name, int32_t code)
{
    FormatLogLine(line, "%s エラー (%d)", name, (int)code);
}

void FormatSecondsLine(LogLineBuffer& line, const char* prefix, uint64_t value, const char* suffix)
{
    unsigned long seconds = (unsigned long)(value >> 32);
    unsigned long milliseconds = (unsigned long)(((value & 0xFFFFFFFFu) * 1000u) >> 32);
    FormatLogLine(line, "%s%lu.%03lu%s", prefix, seconds, milliseconds, suffix);
}

void FormatCounterLine(LogLineBuffer& line, int64_t counter, int64_t frequency, uint32_t dwTickCount)
{
    const uint64_t pc = (uint64_t)counter;
    const uint64_t pf = (uint64_t)frequency;
    const uint64_t x = (uint64_t)(frequency != 0 ? counter / frequency : 0);
    FormatLogLine(line, "PC=%lx%08lx, PF=%lx%08lx x=%lx%08lx dw=%lx", (unsigned long)(pc >> 32),
                  (unsigned long)(pc & 0xFFFFFFFFu), (unsigned long)(pf >> 32), (unsigned long)(pf & 0xFFFFFFFFu),
                  (unsigned long)(x >> 32), (unsigned long)(x & 0xFFFFFFFFu), (unsigned long)(dwTickCount / 1000u));
}
