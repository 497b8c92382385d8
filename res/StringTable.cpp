#include "res/StringTable.h"

#include <algorithm>

#include "res/StringTableData.h"

const char16_t* FindStringResource(uint32_t id, uint32_t language) {
  // Like the resource loader, any language without its own table gets English.
  const StringResourceEntry* begin = g_stringTable1033;
  const StringResourceEntry* end = g_stringTable1033 + g_stringTable1033Size;
  if (language == 2052) {
    begin = g_stringTable2052;
    end = g_stringTable2052 + g_stringTable2052Size;
  }
  const StringResourceEntry* it =
      std::lower_bound(begin, end, id, [](const StringResourceEntry& entry, uint32_t key) {
        return entry.id < key;
      });
  if (it == end || it->id != id) return nullptr;
  return it->text;
}
