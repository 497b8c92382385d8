// Request bodies: a url-encoded form plus extra request headers; the body
// sends itself on an open request.
#pragma once

#include <map>
#include <string>

#include "platform/Internet.h"

class IQenHttpProgress;

class CQenHttpFormDataBase {
public:
  virtual ~CQenHttpFormDataBase() = default;
  virtual bool SendRequest(platform::InternetRequest* hRequest, IQenHttpProgress* progress) = 0;
  // A null value is stored as empty text.
  virtual void SetHeader(const std::u16string& strName, const char16_t* pszValue);
  // "name: value" lines in name order, joined by CR LF, trimmed.
  virtual std::u16string GetHeaders();
  virtual const void* GetReservedData();
  virtual std::u16string GetReservedText();

protected:
  std::map<std::u16string, std::u16string> m_mapHeaders;
};

class CQenHttpFormData : public CQenHttpFormDataBase {
public:
  // Every byte of the value's UTF-8 outside A-Z a-z 0-9 - . _ ~ goes as %XX,
  // so no value can add a field or change another; the name goes as it is.
  bool AddField(const std::u16string& strName, const std::u16string& strValue);
  std::u16string GetRequestHeaders();
  bool SendRequest(platform::InternetRequest* hRequest, IQenHttpProgress* progress) override;
  const std::string& GetBody() const { return m_strBody; }

private:
  std::string m_strBody;
};
