// The default global service object and the program's own, which logs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "global/QenGlobal.h"

class CQenGlobalDefault : public IQenGlobal {
public:
  CQenGlobalDefault();

  void WriteLog(std::u16string_view text, intptr_t reserved) override;
  std::u16string GetDefaultDataPath() override;
  std::u16string GetDataPath() override;
  bool IsResourceFilePath(const std::u16string& path) override;
  bool ReservedCheck(int32_t a, int32_t b, int32_t c) override;
  std::u16string GetProductName() override;
  void SetDataPath(const char16_t* path, int32_t option) override;
  std::u16string GetReservedTextA() override;
  std::u16string GetReservedTextB() override;
  void WriteDebugLog(std::u16string_view text) override;

protected:
  std::u16string m_strProductName;
  std::u16string m_strInnerProductName;
  std::u16string m_strDataPath;
  int32_t m_nDataPathOption = 0;
};

class CQenBoxClientGlobal : public CQenGlobalDefault {
public:
  // Appends the text to "QenBoxClient.log" in the executable's folder.
  void WriteLog(std::u16string_view text, intptr_t reserved) override;
};

// Whether a command line asks for debug lines: "/Debug" anywhere, any case.
bool HasDebugSwitch(std::u16string_view commandLine);
