#include "global/ErrorText.h"

#include "global/TextUtils.h"
#include "platform/LastError.h"

std::u16string GetErrorText(uint32_t code) {
  std::u16string text = platform::FormatMessage(code);
  if (text.empty()) {
    text = FormatText(u"GetLastError()=%1", IntToText(static_cast<int32_t>(code)));
  }
  return text;
}

std::u16string GetLastErrorText() {
  const uint32_t code = platform::GetLastError();
  if (code == 0) {
    return {};
  }
  return GetErrorText(code);
}
