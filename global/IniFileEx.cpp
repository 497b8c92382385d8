#include "global/IniFileEx.h"

#include "global/TextUtils.h"

bool CQenIniFileEx::SetText(const std::u16string& text) {
  m_lines.clear();
  SplitText(text, u'\n', m_lines);
  return true;
}

std::u16string CQenIniFileEx::GetString(const std::u16string& section, const std::u16string& key,
                                        const char16_t* defaultValue) const {
  const std::u16string header = u"[" + section + u"]";
  const std::u16string prefix = key + u"=";
  bool inSection = false;
  for (const std::u16string& rawLine : m_lines) {
    const std::u16string line = TrimText(rawLine);
    if (line.empty() || line[0] == u';') {
      continue;
    }
    if (!inSection) {
      inSection = line[0] == u'[' && EqualsNoCase(line, header);
      continue;
    }
    if (line[0] == u'[') {
      // Only the first section of that name is searched.
      break;
    }
    if (StartsWithNoCase(line, prefix)) {
      return line.substr(prefix.size());
    }
  }
  return defaultValue != nullptr ? std::u16string(defaultValue) : std::u16string();
}
