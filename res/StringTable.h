// The program's string tables, compiled in: English (1033) and Chinese (2052).
#pragma once

#include <cstdint>

// The text of id in the table of language; null when the table has none.
const char16_t* FindStringResource(uint32_t id, uint32_t language);
