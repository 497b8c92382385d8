// The compiled-in string tables, one sorted array per language.
#pragma once

#include <cstddef>
#include <cstdint>

struct StringResourceEntry {
  uint32_t id;
  const char16_t* text;
};

extern const StringResourceEntry g_stringTable1033[];
extern const size_t g_stringTable1033Size;
extern const StringResourceEntry g_stringTable2052[];
extern const size_t g_stringTable2052Size;
