#include "platform/CodePage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/LastError.h"
#include "platform/Locale.h"

namespace platform {

namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Code pages whose ICU converter is not reached as "windows-<n>", or where
// that alias would pick a converter other than the one Windows behaves like.
struct CodePageName {
  uint32_t codePage;
  const char* converter;
};
constexpr CodePageName kCodePageNames[] = {
    {65001, "UTF-8"},
    {1200, "UTF-16LE"},
    {1201, "UTF-16BE"},
    {51932, "EUC-JP"},
    {20932, "EUC-JP"},
    {28591, "ISO-8859-1"},
    {932, "ibm-943_P15A-2003"},
    {936, "windows-936-2000"},
    {949, "windows-949-2000"},
    {950, "windows-950-2000"},
    {1252, "ibm-5348_P100-1997"},
};

// ICU's "IBM" names of converters that have no "WINDOWS" name, mapped to the
// code page the Windows charset database gives the same charset.
struct IbmCodePage {
  uint32_t ibm;
  uint32_t codePage;
};
constexpr IbmCodePage kIbmCodePages[] = {
    {1204, 1200},   // UTF-16, "unicode"
    {819, 28591},   // ISO-8859-1
    {1383, 936},    // GB2312 (EUC-CN), read as GBK as Windows does
    {1386, 936},    // GBK
    {943, 932},     // Shift_JIS
    {33722, 51932}, // EUC-JP
    {954, 51932},   // EUC-JP
};

ConverterPtr OpenConverter(uint32_t codePage) {
  if (codePage == CP_ACP)
    codePage = GetACP();
  if (codePage == CP_ACP)
    return nullptr;
  std::string name;
  for (const CodePageName& entry : kCodePageNames) {
    if (entry.codePage == codePage) {
      name = entry.converter;
      break;
    }
  }
  if (name.empty())
    name = "windows-" + std::to_string(codePage);
  UErrorCode error = U_ZERO_ERROR;
  ConverterPtr converter(ucnv_open(name.c_str(), &error));
  if (U_FAILURE(error))
    return nullptr;
  return converter;
}

// The platform conversion's substitution: one U+FFFD for each bad sequence.
void SubstituteReplacementCharacter(const void*, UConverterToUnicodeArgs* args, const char*,
                                    int32_t, UConverterCallbackReason reason, UErrorCode* error) {
  if (reason != UCNV_UNASSIGNED && reason != UCNV_ILLEGAL && reason != UCNV_IRREGULAR)
    return;
  static const UChar kReplacement = 0xFFFD;
  *error = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, error);
}

// "windows-936" -> 936; 0 when the text is not the prefix and a number.
uint32_t NumberAfter(const char* text, const char* prefix) {
  if (text == nullptr)
    return 0;
  const size_t prefixLength = std::strlen(prefix);
  if (std::strncmp(text, prefix, prefixLength) != 0)
    return 0;
  const char* digits = text + prefixLength;
  if (*digits == '\0')
    return 0;
  uint32_t number = 0;
  for (const char* p = digits; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || number > 100000)
      return 0;
    number = number * 10 + static_cast<uint32_t>(*p - '0');
  }
  return number;
}

}  // namespace

bool MultiByteToWideChar(uint32_t codePage, uint32_t flags, std::string_view bytes,
                         std::u16string& out) {
  ConverterPtr converter = OpenConverter(codePage);
  if (!converter) {
    SetLastError(EINVAL);
    return false;
  }
  UErrorCode error = U_ZERO_ERROR;
  if ((flags & MB_ERR_INVALID_CHARS) != 0)
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &error);
  else
    ucnv_setToUCallBack(converter.get(), SubstituteReplacementCharacter, nullptr, nullptr,
                        nullptr, &error);
  if (U_FAILURE(error)) {
    SetLastError(EINVAL);
    return false;
  }

  std::u16string text;
  const char* source = bytes.data();
  const char* sourceLimit = bytes.data() + bytes.size();
  UChar chunk[1024];
  do {
    error = U_ZERO_ERROR;
    UChar* target = chunk;
    ucnv_toUnicode(converter.get(), &target, chunk + sizeof(chunk) / sizeof(chunk[0]), &source,
                   sourceLimit, nullptr, true, &error);
    text.append(chunk, target);
  } while (error == U_BUFFER_OVERFLOW_ERROR);
  if (U_FAILURE(error)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  out = std::move(text);
  return true;
}

bool WideCharToMultiByte(uint32_t codePage, uint32_t flags, std::u16string_view text,
                         std::string& out) {
  ConverterPtr converter = OpenConverter(codePage);
  if (!converter) {
    SetLastError(EINVAL);
    return false;
  }
  UErrorCode error = U_ZERO_ERROR;
  if ((flags & WC_ERR_INVALID_CHARS) != 0)
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &error);
  if (U_FAILURE(error)) {
    SetLastError(EINVAL);
    return false;
  }

  std::string bytes;
  const UChar* source = text.data();
  const UChar* sourceLimit = text.data() + text.size();
  char chunk[4096];
  do {
    error = U_ZERO_ERROR;
    char* target = chunk;
    ucnv_fromUnicode(converter.get(), &target, chunk + sizeof(chunk), &source, sourceLimit,
                     nullptr, true, &error);
    bytes.append(chunk, target);
  } while (error == U_BUFFER_OVERFLOW_ERROR);
  if (U_FAILURE(error)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  out = std::move(bytes);
  return true;
}

bool IsTextUnicode(const void* bytes, size_t count) {
  if (bytes == nullptr || count < 2 || count % 2 != 0)
    return false;
  const auto* data = static_cast<const uint8_t*>(bytes);
  const size_t units = count / 2;
  size_t lowZeros = 0;
  size_t highZeros = 0;
  for (size_t i = 0; i < units; ++i) {
    const uint8_t low = data[2 * i];
    const uint8_t high = data[2 * i + 1];
    const uint16_t unit = static_cast<uint16_t>(low | (high << 8));
    // A byte-swapped mark, non-characters and byte-swapped CR or LF say
    // "not little-endian UTF-16".
    if (unit == 0xFFFE || unit == 0xFFFF || unit == 0x0A00 || unit == 0x0D00)
      return false;
    if (unit == 0)
      continue;
    if (low == 0)
      ++lowZeros;
    if (high == 0)
      ++highZeros;
  }
  // Latin text in UTF-16LE has a zero high byte in most units; one stray zero
  // in 8-bit text is not enough.
  return highZeros > lowZeros && highZeros * 4 >= units;
}

uint32_t CharsetToWindowsCodePage(std::string_view name) {
  if (name.empty() || name.size() > 64)
    return 0;
  for (char ch : name) {
    if (ch <= ' ' || ch > '~')
      return 0;
  }
  const std::string alias(name);
  UErrorCode error = U_ZERO_ERROR;
  const char* canonical = ucnv_getAlias(alias.c_str(), 0, &error);
  if (U_FAILURE(error) || canonical == nullptr)
    return 0;

  error = U_ZERO_ERROR;
  const char* windowsName = ucnv_getStandardName(canonical, "WINDOWS", &error);
  if (U_SUCCESS(error) && windowsName != nullptr) {
    if (std::strcmp(windowsName, "EUC-JP") == 0)
      return 51932;
    if (const uint32_t codePage = NumberAfter(windowsName, "windows-"))
      return codePage;
  }

  error = U_ZERO_ERROR;
  const char* ibmName = ucnv_getStandardName(canonical, "IBM", &error);
  const uint32_t ibm = U_SUCCESS(error) ? NumberAfter(ibmName, "ibm-") : 0;
  if (ibm == 0)
    return 0;
  for (const IbmCodePage& entry : kIbmCodePages) {
    if (entry.ibm == ibm)
      return entry.codePage;
  }
  // An IBM number that is also a Windows code page of the same converter
  // (ibm-437 and the like).
  return CodePageConverterName(ibm) == canonical ? ibm : 0;
}

std::string CodePageConverterName(uint32_t codePage) {
  ConverterPtr converter = OpenConverter(codePage);
  if (!converter)
    return {};
  UErrorCode error = U_ZERO_ERROR;
  const char* name = ucnv_getName(converter.get(), &error);
  return U_SUCCESS(error) && name != nullptr ? name : std::string();
}

}  // namespace platform
