// Interface texts: the string table by id, through the translation table.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

class CQenTranslationsStringTable {
public:
  CQenTranslationsStringTable() = default;
  // Keys and values in their escaped form (tests; the program's table is empty).
  explicit CQenTranslationsStringTable(std::map<std::u16string, std::u16string> entries)
      : m_map(std::move(entries)) {}
  virtual ~CQenTranslationsStringTable() = default;
  // False only for an empty source (result empty).
  bool Translate(const std::u16string& source, std::u16string& result) const;

private:
  std::map<std::u16string, std::u16string> m_map;
};

class CQenTranslations {
public:
  virtual ~CQenTranslations() = default;
  CQenTranslationsStringTable m_table;
};

void EscapeText(std::u16string& text);
void UnescapeText(std::u16string& text);

// The string-table language the loader picks: 2052 for a Chinese (Simplified)
// user, else 1033.
uint32_t GetStringTableLanguage();
// A string-table text straight from the table ("loaded directly"); empty when missing.
std::u16string LoadStringResource(uint32_t id);
// A string-table text through the translation table; empty when missing.
std::u16string LoadText(uint32_t id);
std::u16string LoadTextFormat(uint32_t id, const std::u16string& param);
