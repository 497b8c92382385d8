#include "global/Translations.h"

#include "global/NeverDestroyed.h"
#include "global/QenGlobal.h"
#include "global/TextUtils.h"
#include "platform/Locale.h"
#include "res/StringTable.h"

namespace {

void ReplaceAll(std::u16string& text, std::u16string_view from, const std::u16string& to) {
  for (size_t pos = text.find(from); pos != std::u16string::npos;
       pos = text.find(from, pos + to.size())) {
    text.replace(pos, from.size(), to);
  }
}

void ReplaceProductPlaceholder(std::u16string& text) {
  if (text.find(u"{p}") != std::u16string::npos) ReplaceAll(text, u"{p}", ReadProductName());
}

const CQenTranslations& Translations() {
  // Never destroyed: workers may still load texts while the process exits.
  static NeverDestroyed<CQenTranslations> translations;
  return translations.Get();
}

}  // namespace

bool CQenTranslationsStringTable::Translate(const std::u16string& source,
                                            std::u16string& result) const {
  result = source;
  if (EqualsNoCase(result, u"{p}")) {
    result = ReadProductName();
    return true;
  }
  if (source.empty()) return false;

  std::u16string key = source;
  EscapeText(key);
  auto it = m_map.find(key);
  if (it == m_map.end()) {
    ReplaceProductPlaceholder(result);
    return true;
  }
  result = it->second;
  if (result.size() >= 2) UnescapeText(result);
  ReplaceProductPlaceholder(result);
  if (result.empty()) {
    result = source;
    ReplaceProductPlaceholder(result);
  }
  return true;
}

void EscapeText(std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t ch : text) {
    switch (ch) {
      case u'\\': out += u"\\\\"; break;
      case u'"': out += u"\"\""; break;
      case u'\t': out += u"\\t"; break;
      case u'\n': out += u"\\n"; break;
      case u'\r': out += u"\\r"; break;
      default: out += ch; break;
    }
  }
  text.swap(out);
}

void UnescapeText(std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i + 1 < text.size()) {
    const char16_t ch = text[i];
    const char16_t next = text[i + 1];
    if (ch == u'\\') {
      switch (next) {
        case u'\\': out += u'\\'; break;
        case u't': out += u'\t'; break;
        case u'n': out += u'\n'; break;
        case u'r': out += u'\r'; break;
        default: out += ch; out += next; break;
      }
      i += 2;
    } else if (ch == u'"' && next == u'"') {
      out += u'"';
      i += 2;
    } else {
      out += ch;
      ++i;
    }
  }
  if (i < text.size()) out += text[i];
  text.swap(out);
}

uint32_t GetStringTableLanguage() {
  const uint32_t lcid = platform::GetUserDefaultLCID();
  return (lcid == 2052 || lcid == 4100) ? 2052 : 1033;
}

std::u16string LoadStringResource(uint32_t id) {
  const char16_t* text = FindStringResource(id, GetStringTableLanguage());
  return text ? std::u16string(text) : std::u16string();
}

std::u16string LoadText(uint32_t id) {
  std::u16string result;
  const std::u16string text = LoadStringResource(id);
  if (text.empty()) return result;
  Translations().m_table.Translate(text, result);
  return result;
}

std::u16string LoadTextFormat(uint32_t id, const std::u16string& param) {
  return FormatText(LoadText(id), param);
}
