// The HTML and XML decoders and their charset readers over any 8-bit text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzInput.h"
#include "global/TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TakeAnsiCodePage(size, data);
  const std::string text(reinterpret_cast<const char*>(data), size);

  // A charset value ends at its first blank.
  const std::u16string charset = GetHtmlCharset(text);
  fuzz::Check(charset.find(u' ') == std::u16string::npos, "blank in the HTML charset");
  const std::u16string encoding = GetXmlEncoding(text);
  fuzz::Check(encoding.find(u' ') == std::u16string::npos, "blank in the XML encoding");

  std::u16string html;
  fuzz::Check(DecodeHtmlText(text, html), "DecodeHtmlText failed");
  std::u16string xml;
  fuzz::Check(DecodeXmlText(text, xml), "DecodeXmlText failed");
  return 0;
}
