// The HTML view the main window shows its pages in, and the window around it.
// app/ drives these interfaces; platform/gui implements them with GTK and
// WebKit, and the controller tests with fakes.
#pragma once

#include <string>

namespace platform {

// Told by the view, always on the window's thread.
class IHtmlViewEvents {
public:
  virtual ~IHtmlViewEvents() = default;
  // location is "res://" + program path + "/" + page number.
  virtual void OnDocumentComplete(const std::u16string& location) = 0;
  // The element with this id was clicked on the loaded page.
  virtual void OnElementClick(const std::u16string& id) = 0;
};

class IHtmlView {
public:
  virtual ~IHtmlView() = default;
  // Returns at once; OnDocumentComplete follows once the page has loaded.
  virtual void LoadPage(int page) = 0;
  // Plain text (no markup); on an input it sets what the input shows. No effect
  // when the page has no such element.
  virtual void SetElementText(const std::u16string& id, const std::u16string& text) = 0;
  // The element's "value" as of the latest click; empty when missing or not text.
  virtual std::u16string GetElementValue(const std::u16string& id) = 0;
  virtual void SetInputValue(const std::u16string& id, const std::u16string& text) = 0;
  virtual void FocusElement(const std::u16string& id) = 0;
};

// Told by the window, on its thread.
class IDialogHostEvents {
public:
  virtual ~IDialogHostEvents() = default;
  // Once, after the window and its view exist.
  virtual void OnInitDialog() = 0;
  virtual void OnSysCommand(unsigned int id) = 0;
};

// The fixed-size main window with its view, message boxes and shell calls.
class IDialogHost {
public:
  virtual ~IDialogHost() = default;
  virtual IHtmlView& View() = 0;
  virtual void SetTitle(const std::u16string& title) = 0;
  virtual void SetIcons() = 0;
  // A separator and a menu entry that sends OnSysCommand(id); "&" marks the access key.
  virtual void AppendSystemMenuItem(unsigned int id, const std::u16string& text) = 0;
  // Modal to the window, one OK button, warning icon; returns once closed.
  virtual void ShowMessageBox(const std::u16string& text) = 0;
  virtual void ShowAboutBox() = 0;
  // Opens a URL in the user's browser; the outcome is not reported.
  virtual void OpenUrl(const std::u16string& url) = 0;
  // Shows the window and runs until it is closed.
  virtual int RunModal(IDialogHostEvents& events, IHtmlViewEvents& viewEvents) = 0;
};

}  // namespace platform
