// Reading registry values safely: a value is taken only when its type and
// size fit, and a text always comes back terminated inside its buffer.
#pragma once

#include <windows.h>
#include <stdint.h>

enum { SERVER_NAME_SIZE = 256 };  // 255 characters and the terminating zero

// A REG_DWORD of exactly 4 bytes; false leaves *value alone.
bool ReadRegDword(HKEY hKey, const char* name, int32_t* value);

// A REG_SZ that fits with its terminating zero; false leaves text alone.
bool ReadRegText(HKEY hKey, const char* name, char (&text)[SERVER_NAME_SIZE]);
