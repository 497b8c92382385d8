#include "global/TextCodec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "global/PathUtils.h"
#include "global/TextUtils.h"
#include "platform/ByteStream.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Locale.h"
#include "platform/Utf.h"

namespace {

constexpr uint32_t kUtf8 = platform::CP_UTF8;

// 8-bit text ends at its first zero byte.
std::string_view UpToZero(const std::string& text) {
  return std::string_view(text.c_str());
}

bool StartsWithUtf8Mark(std::string_view text) {
  return text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0;
}

char AsciiLower(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

// Case-insensitive search for ASCII letters, as the protocol texts need.
size_t FindNoCase(std::string_view text, std::string_view needle, size_t from = 0) {
  if (needle.size() > text.size())
    return std::string_view::npos;
  for (size_t i = from; i + needle.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && AsciiLower(text[i + k]) == AsciiLower(needle[k]))
      ++k;
    if (k == needle.size())
      return i;
  }
  return std::string_view::npos;
}

// Compacts count units in place: zero units go, CR LF and a lone CR become LF;
// a zero unit follows the last one kept.
template <typename ReadUnit, typename WriteUnit>
void NormalizeLineEnds(size_t count, ReadUnit read, WriteUnit write) {
  size_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t unit = read(i);
    if (unit == 0)
      continue;
    if (unit == '\r') {
      if (i + 1 < count && read(i + 1) == '\n')
        continue;
      write(kept++, '\n');
      continue;
    }
    write(kept++, unit);
  }
  write(kept, 0);
}

void NormalizeLineEnds8(uint8_t* bytes, size_t count) {
  NormalizeLineEnds(
      count, [bytes](size_t i) { return static_cast<uint32_t>(bytes[i]); },
      [bytes](size_t i, uint32_t unit) { bytes[i] = static_cast<uint8_t>(unit); });
}

// The units are little-endian byte pairs, whatever the host's byte order.
void NormalizeLineEnds16(uint8_t* bytes, size_t units) {
  NormalizeLineEnds(
      units,
      [bytes](size_t i) { return static_cast<uint32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)); },
      [bytes](size_t i, uint32_t unit) {
        bytes[2 * i] = static_cast<uint8_t>(unit & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>(unit >> 8);
      });
}

std::u16string AnsiToText(std::string_view text) {
  std::u16string out;
  if (platform::MultiByteToWideChar(platform::CP_ACP, 0, text, out))
    return out;
  return platform::Utf8ToUtf16(text);
}

// A charset value ends at its first blank.
std::u16string CutAtBlank(std::u16string value) {
  const size_t blank = value.find(u' ');
  if (blank != std::u16string::npos)
    value.erase(blank);
  return value;
}

void ApplySubstitution(std::u16string& text, char16_t ch, const std::u16string& replacement,
                       size_t maxUnits) {
  // A replacement holding the character itself could grow the text without end.
  if (replacement.empty() || replacement.find(ch) != std::u16string::npos)
    return;
  const size_t hits = static_cast<size_t>(std::count(text.begin(), text.end(), ch));
  if (hits == 0)
    return;
  // Chained rules (a to bbbb, b to cccc, ...) multiply the text's length.
  if (replacement.size() > 1 &&
      hits > (maxUnits - std::min(text.size(), maxUnits)) / (replacement.size() - 1))
    return;
  std::u16string result;
  result.reserve(text.size());
  for (char16_t unit : text) {
    if (unit == ch)
      result += replacement;
    else
      result += unit;
  }
  text = std::move(result);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool LoadTextFromStream(CByteStream& stream, std::u16string& out) {
  // The stream is its own memory block: decode it in place.
  if (!stream.Seek(0))
    return false;
  return LoadTextFromBuffer(stream.Data(), stream.Size(), out);
}

bool LoadTextFromBuffer(const void* bytes, size_t count, std::u16string& out) {
  if (bytes == nullptr && count != 0)
    return false;
  if (count > std::numeric_limits<size_t>::max() - 4)
    return false;
  try {
    // Four zero bytes after the data end it as 8-bit and as 16-bit text.
    std::vector<uint8_t> copy(count + 4, 0);
    if (count != 0)
      std::memcpy(copy.data(), bytes, count);
    uint8_t* data = copy.data();

    const bool utf16Mark = count >= 2 && data[0] == 0xFF && data[1] == 0xFE;
    const bool utf16 = utf16Mark || (count > 10 && count % 2 == 0 &&
                                     std::memchr(data, 0, count) != nullptr &&
                                     platform::IsTextUnicode(data, count));
    std::u16string text;
    if (utf16) {
      // An odd trailing byte after a mark is no unit of its own.
      NormalizeLineEnds16(data, count / 2);
      for (size_t i = utf16Mark ? 1 : 0;; ++i) {
        const char16_t unit = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        if (unit == 0)
          break;
        text += unit;
      }
    } else {
      NormalizeLineEnds8(data, count);
      const std::string_view bytes8(reinterpret_cast<const char*>(data));
      if (count >= 3 && StartsWithUtf8Mark(bytes8))
        text = MultiByteToText(kUtf8, std::string(bytes8.substr(3)));
      else
        text = MultiByteToText(platform::CP_ACP, std::string(bytes8));
    }
    out = std::move(text);
    return true;
  } catch (...) {
    return false;
  }
}

uint32_t CharsetToCodePage(const std::u16string& name) {
  const std::u16string lookup = EqualsNoCase(name, u"utf8") ? std::u16string(u"utf-8") : name;
  std::string ascii;
  for (char16_t unit : lookup) {
    if (unit == 0 || unit > 0x7E)
      return 0;
    ascii += static_cast<char>(unit);
  }
  return platform::CharsetToWindowsCodePage(ascii);
}

std::u16string MultiByteToText(uint32_t codePage, const std::string& text) {
  std::string_view bytes = UpToZero(text);
  if (bytes.size() > 3 && StartsWithUtf8Mark(bytes)) {
    bytes.remove_prefix(3);
    codePage = kUtf8;
  }
  // 51932 needs no path of its own: ICU's EUC-JP converter serves it.
  std::u16string out;
  if (platform::MultiByteToWideChar(codePage, 0, bytes, out))
    return out;
  return AnsiToText(bytes);
}

std::u16string CharsetToText(const std::u16string& charset, const std::string& text) {
  return MultiByteToText(CharsetToCodePage(charset), text);
}

std::u16string GetHtmlCharset(const std::string& text) {
  const std::string_view html = UpToZero(text);
  size_t meta = FindNoCase(html, "<meta");
  while (meta != std::string_view::npos) {
    const size_t close = html.find('>', meta);
    if (close == std::string_view::npos)
      return {};
    const std::string_view tag = html.substr(meta, close - meta + 1);
    const size_t charset = FindNoCase(tag, "charset=");
    if (charset == std::string_view::npos) {
      meta = FindNoCase(html, "<meta", close + 1);
      continue;
    }
    std::string value(tag.substr(charset + 8));
    for (char quote : {'\'', '"'}) {
      while (!value.empty() && value.back() == quote)
        value.pop_back();
      value.erase(0, value.find_first_not_of(quote));
    }
    size_t end = value.find('>');
    if (end == std::string::npos)
      end = value.size();
    const size_t quote = value.find_first_of("'\"");
    if (quote != std::string::npos && quote < end)
      end = quote;
    value.erase(end);
    return CutAtBlank(AnsiToText(value));
  }
  return {};
}

std::u16string GetXmlEncoding(const std::string& text) {
  const std::string_view xml = UpToZero(text);
  const size_t start = FindNoCase(xml, "<?xml");
  if (start == std::string_view::npos)
    return {};
  const size_t close = xml.find('>', start);
  if (close == std::string_view::npos)
    return {};
  const std::string_view declaration = xml.substr(start, close - start);
  const size_t encoding = FindNoCase(declaration, "encoding=");
  if (encoding == std::string_view::npos)
    return {};
  std::string value(declaration.substr(encoding + 9));
  for (char& ch : value) {
    if (ch == '"' || ch == '\'' || ch == '?')
      ch = ' ';
  }
  static const char kWhiteSpace[] = " \t\n\v\f\r";
  value.erase(value.find_last_not_of(kWhiteSpace) + 1);
  value.erase(0, value.find_first_not_of(kWhiteSpace));
  return CutAtBlank(AnsiToText(value));
}

bool DecodeHtmlText(const std::string& text, std::u16string& out) {
  const std::u16string charset = GetHtmlCharset(text);
  out = !charset.empty() ? CharsetToText(charset, text)
                         : MultiByteToText(GuessAnsiOrUtf8(text), text);
  return true;
}

bool DecodeXmlText(const std::string& text, std::u16string& out) {
  const std::u16string encoding = GetXmlEncoding(text);
  out = !encoding.empty() ? CharsetToText(encoding, text)
                          : MultiByteToText(GuessAnsiOrUtf8(text), text);
  return true;
}

uint32_t GuessAnsiOrUtf8(const std::string& text) {
  const std::string_view bytes = UpToZero(text);
  const uint32_t ansi = platform::GetACP();
  std::u16string decoded;
  if (platform::MultiByteToWideChar(ansi, platform::MB_ERR_INVALID_CHARS, bytes, decoded))
    return ansi;
  if (platform::GetLastError() != platform::ERROR_NO_UNICODE_TRANSLATION)
    return ansi;
  if (platform::MultiByteToWideChar(kUtf8, 0, bytes, decoded))
    return kUtf8;
  return platform::GetLastError() == platform::ERROR_NO_UNICODE_TRANSLATION ? ansi : kUtf8;
}

std::string TextToUtf8(const std::u16string& text) {
  std::u16string copy = text;
  ApplyStrconvTable(kUtf8, copy);
  const std::u16string_view wide(copy.c_str());
  std::string out;
  if (platform::WideCharToMultiByte(kUtf8, 0, wide, out))
    return out;
  if (platform::WideCharToMultiByte(platform::CP_ACP, 0, wide, out))
    return out;
  return platform::Utf16ToUtf8(wide);
}

std::u16string Utf8ToText(const std::string& text) { return MultiByteToText(kUtf8, text); }

void ApplyStrconvTable(uint32_t codePage, std::u16string& text) {
  const std::u16string folder = GetExeFolder();
  // Without the executable's folder the path would be relative to the
  // working folder, which is not ours to read.
  if (folder.empty())
    return;
  const std::u16string path =
      folder + u"strconv/" + IntToText(static_cast<int32_t>(codePage)) + u".txt";
  if (!platform::PathFileExists(path))
    return;
  const size_t size = static_cast<uint32_t>(QueryFileSize(path)) & ~uint32_t{1};
  if (size == 0)
    return;
  std::vector<uint8_t> bytes;
  try {
    bytes.assign(size + 2, 0);
    std::unique_ptr<std::FILE, FileCloser> file(
        std::fopen(platform::Utf16ToUtf8(path).c_str(), "rb"));
    if (!file)
      return;
    // A file that shrank meanwhile leaves zeros, which end the table.
    (void)std::fread(bytes.data(), 1, size, file.get());
  } catch (...) {
    return;
  }
  ApplyStrconvTableData(bytes.data(), size, text);
}

void ApplyStrconvTableData(const void* bytes, size_t size, std::u16string& text,
                           size_t maxUnits) {
  const uint8_t* data = static_cast<const uint8_t*>(bytes);
  const size_t count = size / 2;
  if (data == nullptr || count == 0)
    return;
  std::vector<char16_t> units;
  try {
    units.resize(count + 1, 0);
    for (size_t i = 0; i < count; ++i)
      units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  } catch (...) {
    return;
  }

  // units[count] is 0, so every scan below stops inside the table.
  size_t line = 1;  // the first unit is the byte order mark
  while (units[line] != 0) {
    const char16_t ch = units[line];
    size_t end = line + 1;
    while (units[end] != 0 && !(units[end] == u'\r' && units[end + 1] == u'\n'))
      ++end;
    const size_t start = std::min(line + 2, end);
    ApplySubstitution(text, ch, std::u16string(units.data() + start, units.data() + end),
                      maxUnits);
    if (units[end] == 0)
      break;
    line = end + 2;
  }
}
