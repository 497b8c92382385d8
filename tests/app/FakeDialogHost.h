// A window and view that record what the controller asks of them, for the
// controller and start-up tests.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/Utf.h"
#include "platform/gui/HtmlView.h"

inline std::string U8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

// Calls in the order they happened; workers add to it too.
class Recorder {
public:
  void Add(std::string call) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back(std::move(call));
  }
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_calls, {});
  }

private:
  std::mutex m_mutex;
  std::vector<std::string> m_calls;
};

class FakeView : public platform::IHtmlView {
public:
  explicit FakeView(Recorder& calls) : m_calls(calls) {}

  void LoadPage(int page) override {
    m_calls.Add("LoadPage " + std::to_string(page));
    if (onLoadPage)
      onLoadPage(page);
  }
  void SetElementText(const std::u16string& id, const std::u16string& text) override {
    m_calls.Add("Text " + U8(id) + "=" + U8(text));
  }
  std::u16string GetElementValue(const std::u16string& id) override {
    m_calls.Add("Get " + U8(id));
    auto it = values.find(id);
    return it == values.end() ? std::u16string() : it->second;
  }
  void SetInputValue(const std::u16string& id, const std::u16string& text) override {
    m_calls.Add("Value " + U8(id) + "=" + U8(text));
  }
  void FocusElement(const std::u16string& id) override { m_calls.Add("Focus " + U8(id)); }

  std::map<std::u16string, std::u16string> values;  // what the inputs hold
  std::function<void(int)> onLoadPage;

private:
  Recorder& m_calls;
};

class FakeHost : public platform::IDialogHost {
public:
  FakeHost(Recorder& calls, FakeView& view) : m_calls(calls), m_view(view) {}

  platform::IHtmlView& View() override { return m_view; }
  void SetTitle(const std::u16string& title) override { m_calls.Add("Title " + U8(title)); }
  void SetIcons() override { m_calls.Add("Icons"); }
  void AppendSystemMenuItem(unsigned int id, const std::u16string& text) override {
    m_calls.Add("Menu " + std::to_string(id) + " " + U8(text));
  }
  void ShowMessageBox(const std::u16string& text) override {
    m_calls.Add("Message " + U8(text));
    if (onMessageBox)
      onMessageBox(text);
  }
  void ShowAboutBox() override { m_calls.Add("About"); }
  void OpenUrl(const std::u16string& url) override { m_calls.Add("Open " + U8(url)); }
  int RunModal(platform::IDialogHostEvents& events, platform::IHtmlViewEvents& viewEvents) override {
    m_calls.Add("RunModal");
    if (onRunModal)
      onRunModal(events, viewEvents);
    return 0;
  }

  std::function<void(const std::u16string&)> onMessageBox;
  std::function<void(platform::IDialogHostEvents&, platform::IHtmlViewEvents&)> onRunModal;

private:
  Recorder& m_calls;
  FakeView& m_view;
};
