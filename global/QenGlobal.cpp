#include "global/QenGlobal.h"

#include "global/NeverDestroyed.h"
#include "global/ProductSettings.h"
#include "global/QenGlobalDefault.h"

IQenGlobal& QenGlobal() {
  // Built once even when two threads make the first call together, and never
  // destroyed: a worker may still write a log line while the process exits.
  static NeverDestroyed<CQenBoxClientGlobal> global;
  return global.Get();
}

std::u16string ReadProductSetting(const std::u16string& key, bool allowEmpty, bool localized) {
  return CQenProductSettings::Builtin().ReadProductSetting(key, allowEmpty, localized);
}

std::u16string ReadProductName() { return CQenProductSettings::Builtin().ReadProductName(); }

std::u16string ReadInnerProductName() {
  return CQenProductSettings::Builtin().ReadInnerProductName();
}

std::u16string GetLocalizedString(const std::u16string& section, const std::u16string& key) {
  return CQenProductSettings::Builtin().GetLocalizedString(section, key);
}

uint32_t GetUiLanguageId() { return CQenProductSettings::Builtin().GetUiLanguageId(); }
