// The product settings: a small ini text built into the program, read under a
// re-entrant lock, with lookups localised by the interface language id.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "global/IniFileEx.h"
#include "queue/SyncObjects.h"

// The text the program is built with.
extern const char16_t kBuiltinProductSettings[];

class CQenProductSettings {
public:
  // Reads the per-user "LCID" value under the key name ("Software\QenNote").
  using LcidReader = std::function<bool(const std::u16string& keyName, uint32_t& value)>;

  explicit CQenProductSettings(std::u16string text, LcidReader readLcid = {});
  virtual ~CQenProductSettings() = default;
  CQenProductSettings(const CQenProductSettings&) = delete;
  CQenProductSettings& operator=(const CQenProductSettings&) = delete;

  // The settings the program runs with, built from kBuiltinProductSettings.
  static CQenProductSettings& Builtin();

  std::u16string ReadProductSetting(const std::u16string& key, bool allowEmpty, bool localized);
  std::u16string ReadProductName();
  std::u16string ReadInnerProductName();
  std::u16string GetLocalizedString(const std::u16string& section, const std::u16string& key);
  uint32_t GetUiLanguageId();
  // "_" and the id of the first localised lookup; empty before it.
  std::u16string GetLanguageSuffix();

private:
  void LoadOnce();

  const std::u16string m_strText;
  const LcidReader m_readLcid;
  CQenCriticalSectionObject m_lock;
  CQenIniFileEx m_store;
  bool m_bLoaded = false;
  bool m_bLanguageKnown = false;
  bool m_bComputingLanguage = false;
  uint32_t m_nLanguageId = 0;
  std::u16string m_strSuffix;
};
