// An ini-style text held as lines, answering section/key lookups.
#pragma once

#include <string>
#include <vector>

class CQenIniFileEx {
public:
  CQenIniFileEx() = default;
  virtual ~CQenIniFileEx() = default;

  bool SetText(const std::u16string& text);
  // The default may be null (empty text).
  std::u16string GetString(const std::u16string& section, const std::u16string& key,
                           const char16_t* defaultValue = nullptr) const;

private:
  std::vector<std::u16string> m_lines;
};
