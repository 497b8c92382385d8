#include "global/ProductSettings.h"

#include <cstdlib>
#include <utility>
#include <vector>

#include "global/NeverDestroyed.h"
#include "global/TextUtils.h"
#include "platform/Locale.h"

const char16_t kBuiltinProductSettings[] =
    u"[Common]\n"
    u"Company=\n"
    u"InnerProductName=QenNote\n"
    u"ProductName=QenNote";

namespace {

const std::u16string kCommon = u"Common";

uint32_t MapLanguageId(uint32_t id) {
  switch (id) {
    case 3076:
    case 1028:
    case 5124:
      return 1028;
    case 2052:
    case 4100:
      return 2052;
    default:
      return id;
  }
}

}  // namespace

CQenProductSettings::CQenProductSettings(std::u16string text, LcidReader readLcid)
    : m_strText(std::move(text)),
      m_readLcid(readLcid ? std::move(readLcid) : LcidReader(&platform::ReadUserLcidSetting)) {}

CQenProductSettings& CQenProductSettings::Builtin() {
  // Never destroyed: workers still log (and so read the product name) while
  // the process exits.
  static NeverDestroyed<CQenProductSettings> settings{std::u16string(kBuiltinProductSettings)};
  return settings.Get();
}

void CQenProductSettings::LoadOnce() {
  if (m_bLoaded) return;
  m_store.SetText(m_strText);
  m_bLoaded = true;
}

std::u16string CQenProductSettings::ReadProductSetting(const std::u16string& key, bool allowEmpty,
                                                       bool localized) {
  CQenSingleLock lock(&m_lock);
  LoadOnce();
  std::u16string value =
      localized ? GetLocalizedString(kCommon, key) : m_store.GetString(kCommon, key, u"");
  // A required setting missing means a broken build; there is nothing to run.
  if (value.empty() && !allowEmpty) std::_Exit(-1);
  return value;
}

std::u16string CQenProductSettings::ReadProductName() {
  return ReadProductSetting(u"ProductName", false, true);
}

std::u16string CQenProductSettings::ReadInnerProductName() {
  std::u16string name = ReadProductSetting(u"InnerProductName", true, false);
  if (name.empty()) name = ReadProductName();
  return name;
}

std::u16string CQenProductSettings::GetLocalizedString(const std::u16string& section,
                                                       const std::u16string& key) {
  CQenSingleLock lock(&m_lock);
  LoadOnce();
  if (!m_bLanguageKnown && !m_bComputingLanguage) {
    // Finding the id reads the inner product name, which falls back to the
    // localised product name when empty; that nested lookup uses the plain
    // key instead of recursing without end.
    m_bComputingLanguage = true;
    m_nLanguageId = GetUiLanguageId();
    m_strSuffix = u"_" + IntToText(static_cast<int32_t>(m_nLanguageId));
    m_bComputingLanguage = false;
    m_bLanguageKnown = true;
  }
  if (m_bLanguageKnown) {
    std::u16string value = m_store.GetString(section, key + m_strSuffix);
    if (!value.empty()) return value;
  }
  return m_store.GetString(section, key, u"");
}

uint32_t CQenProductSettings::GetUiLanguageId() {
  const std::u16string keyName = FormatText(u"Software\\%1", ReadInnerProductName());
  uint32_t stored = 0;
  // No value, or a value of 0, leaves the choice to the user's locale.
  uint32_t id = (m_readLcid(keyName, stored) && stored != 0) ? stored
                                                              : platform::GetUserDefaultLCID();

  std::vector<std::u16string> excludes;
  SplitText(ReadProductSetting(u"UIExcludes", true, false), u',', excludes);
  const std::u16string idText = IntToText(static_cast<int32_t>(id));
  for (const std::u16string& item : excludes) {
    if (item == idText) {
      id = 0;
      break;
    }
  }
  return MapLanguageId(id);
}

std::u16string CQenProductSettings::GetLanguageSuffix() {
  CQenSingleLock lock(&m_lock);
  return m_strSuffix;
}
