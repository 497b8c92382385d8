#include "global/QenGlobalDefault.h"

#include "global/LogFile.h"
#include "global/PathUtils.h"
#include "global/TextUtils.h"
#include "platform/Process.h"

CQenGlobalDefault::CQenGlobalDefault()
    : m_strProductName(ReadProductName()), m_strInnerProductName(ReadInnerProductName()) {}

void CQenGlobalDefault::WriteLog(std::u16string_view, intptr_t) {}

std::u16string CQenGlobalDefault::GetDefaultDataPath() {
  std::u16string path = GetTempFolder() + m_strInnerProductName + u"/";
  CreateFolders(path);
  return path;
}

std::u16string CQenGlobalDefault::GetDataPath() {
  if (m_strDataPath.empty()) m_strDataPath = GetDefaultDataPath();
  CreateFolders(m_strDataPath);
  return m_strDataPath;
}

bool CQenGlobalDefault::IsResourceFilePath(const std::u16string& path) {
  static constexpr std::u16string_view kPrefix = u"%ResourceFilePath%/";
  return path.compare(0, kPrefix.size(), kPrefix) == 0;
}

bool CQenGlobalDefault::ReservedCheck(int32_t, int32_t, int32_t) { return true; }

std::u16string CQenGlobalDefault::GetProductName() { return m_strProductName; }

void CQenGlobalDefault::SetDataPath(const char16_t* path, int32_t option) {
  m_strDataPath = path ? path : u"";
  m_nDataPathOption = option;
}

std::u16string CQenGlobalDefault::GetReservedTextA() { return {}; }

std::u16string CQenGlobalDefault::GetReservedTextB() { return {}; }

void CQenGlobalDefault::WriteDebugLog(std::u16string_view text) {
  static const bool debug = HasDebugSwitch(platform::GetCommandLine());
  if (debug) WriteLog(text, 0);
}

void CQenBoxClientGlobal::WriteLog(std::u16string_view text, intptr_t) {
  AppendLogLine(GetExeFolder() + u"QenBoxClient.log", text);
}

bool HasDebugSwitch(std::u16string_view commandLine) {
  return ToLowerText(commandLine).find(u"/debug") != std::u16string::npos;
}
