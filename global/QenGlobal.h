// The process-wide service object: the log and the built-in product settings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class IQenGlobal {
public:
  virtual void WriteLog(std::u16string_view text, intptr_t reserved) = 0;
  virtual std::u16string GetDefaultDataPath() = 0;
  virtual std::u16string GetDataPath() = 0;
  virtual bool IsResourceFilePath(const std::u16string& path) = 0;
  virtual bool ReservedCheck(int32_t a, int32_t b, int32_t c) = 0;
  virtual std::u16string GetProductName() = 0;
  virtual void SetDataPath(const char16_t* path, int32_t option) = 0;
  virtual std::u16string GetReservedTextA() = 0;
  virtual std::u16string GetReservedTextB() = 0;
  virtual void WriteDebugLog(std::u16string_view text) = 0;
  virtual ~IQenGlobal() = default;
};

// The one global object, created on first use.
IQenGlobal& QenGlobal();

std::u16string ReadProductSetting(const std::u16string& key, bool allowEmpty, bool localized);
std::u16string ReadProductName();
std::u16string ReadInnerProductName();
std::u16string GetLocalizedString(const std::u16string& section, const std::u16string& key);
uint32_t GetUiLanguageId();
