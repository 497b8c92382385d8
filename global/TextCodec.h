// Bytes from outside become wide text here; wide text leaving the program
// becomes UTF-8 here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CByteStream;  // platform/ByteStream.h

bool LoadTextFromStream(CByteStream& stream, std::u16string& out);
bool LoadTextFromBuffer(const void* bytes, size_t count, std::u16string& out);
// 0 when the name is not recognised.
uint32_t CharsetToCodePage(const std::u16string& name);
// 8-bit text up to its first zero byte, in the code page (0 = ANSI code page).
std::u16string MultiByteToText(uint32_t codePage, const std::string& text);
std::u16string CharsetToText(const std::u16string& charset, const std::string& text);
std::u16string GetHtmlCharset(const std::string& text);
std::u16string GetXmlEncoding(const std::string& text);
bool DecodeHtmlText(const std::string& text, std::u16string& out);
bool DecodeXmlText(const std::string& text, std::u16string& out);
uint32_t GuessAnsiOrUtf8(const std::string& text);
std::string TextToUtf8(const std::u16string& text);
std::u16string Utf8ToText(const std::string& text);
void ApplyStrconvTable(uint32_t codePage, std::u16string& text);
// The rules of a substitution table file's bytes, applied to the text in file
// order; a rule that would make the text longer than maxUnits is skipped.
constexpr size_t kMaxStrconvTextUnits = 16 * 1024 * 1024;
void ApplyStrconvTableData(const void* bytes, size_t size, std::u16string& text,
                           size_t maxUnits = kMaxStrconvTextUnits);
