// Time spans, memory sizes, and the agent's text encodings: its UTF-8 form
// (unit 0 as 0xC0 0x80, units up to 0xFFFF), the process code page, and the
// escaped ASCII form of the option string.
#pragma once

#include <cstdint>

// Seconds, or -1 when malformed; too long a span is clamped to 2147483647.
int ParseTimeSpan(const char *text);
// A new string such as "1 day 2 hours"; null below 1.
char *FormatTimeSpan(int seconds);
// Bytes, or -1 when malformed.
int ParseMemorySize(const char *text);

int Utf8Length(const char *text);
const char *Utf8DecodeChar(const char *text, uint16_t *unit);
void Utf8ToWide(const char *text, uint16_t *units, int count);
void WideToUtf8(const uint16_t *units, int count, char *bytes);
char *Utf8EncodeUnit(char *bytes, uint16_t unit);
char *Utf8ToCodePage(const char *text);
char *CodePageToEscapedAscii(const char *text);
uint16_t *NarrowToWide(const char *text);
