// The ini text reader: any text, looked up with the sections and keys it names.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "global/IniFileEx.h"
#include "global/TextUtils.h"

namespace {

const char16_t kDefault[] = u"\x01 default";

void Lookup(const CQenIniFileEx& ini, const std::u16string& text, const std::u16string& section,
            const std::u16string& key) {
  const std::u16string value = ini.GetString(section, key, kDefault);
  if (value == kDefault)
    return;
  // A value is the rest of one of the text's lines.
  fuzz::Check(text.find(value) != std::u16string::npos, "value not taken from the text");
  fuzz::Check(ini.GetString(section, key) == value, "value depends on the default");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = fuzz::WideText(data, size);
  CQenIniFileEx ini;
  fuzz::Check(ini.SetText(text), "SetText failed");

  Lookup(ini, text, u"Common", u"ProductName");
  Lookup(ini, text, u"", u"");
  // Ask for what the text itself names, so that lookups find something.
  std::vector<std::u16string> lines;
  SplitText(text, u'\n', lines);
  std::u16string section = u"Common";
  int asked = 0;
  for (const std::u16string& raw : lines) {
    if (asked == 16)
      break;
    const std::u16string line = TrimText(raw);
    if (line.size() >= 2 && line.front() == u'[' && line.back() == u']') {
      section = line.substr(1, line.size() - 2);
      continue;
    }
    const size_t equals = line.find(u'=');
    if (equals != std::u16string::npos) {
      Lookup(ini, text, section, line.substr(0, equals));
      ++asked;
    }
  }
  return 0;
}
