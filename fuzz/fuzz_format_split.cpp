// FormatText and SplitText on any text: the first zero units part the format
// from its three parameters; the whole text is split at several separators.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "global/TextUtils.h"

namespace {

void CheckSplit(const std::u16string& text, char16_t sep) {
  std::vector<std::u16string> parts{u"kept"};
  fuzz::Check(SplitText(text, sep, parts), "SplitText failed");
  fuzz::Check(!parts.empty() && parts.front() == u"kept", "SplitText cleared the list");
  parts.erase(parts.begin());
  fuzz::Check(text.empty() == parts.empty(), "SplitText part count");
  for (const std::u16string& part : parts)
    fuzz::Check(part.find(sep) == std::u16string::npos, "separator inside a part");
  if (text.empty() || sep == u'\n')
    return;
  // One leading separator skipped, the parts joined, a final separator ending the last.
  const size_t lead = text[0] == sep ? 1 : 0;
  std::u16string joined(lead, sep);
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0)
      joined += sep;
    joined += parts[i];
  }
  if (text.size() > lead && text.back() == sep)
    joined += sep;
  fuzz::Check(joined == text, "parts do not rebuild the text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = fuzz::WideText(data, size);

  std::u16string_view fields[4];
  std::u16string_view rest(text);
  int n = 0;
  for (; n < 3; ++n) {
    const size_t zero = rest.find(u'\0');
    if (zero == std::u16string_view::npos)
      break;
    fields[n] = rest.substr(0, zero);
    rest.remove_prefix(zero + 1);
  }
  fields[n] = rest;
  const std::u16string_view format = fields[0];
  const std::u16string filled = FormatText(format, fields[1], fields[2], fields[3]);
  if (format.find(u'%') == std::u16string_view::npos)
    fuzz::Check(filled == format, "text without % changed");
  // With empty parameters every placeholder only removes characters.
  fuzz::Check(FormatText(format).size() <= format.size(), "empty parameters grew the text");

  for (char16_t sep : {u',', u'\n', u'.', u';', u'\\', u'\0'})
    CheckSplit(text, sep);
  if (!text.empty())
    CheckSplit(text, text[0]);
  return 0;
}
