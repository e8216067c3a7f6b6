// The start page as text, in the browser's place, where no HTML engine
// renders it (see WebBrowserHost::HtmlEngineRenders): a read-only,
// scrollable edit control in the launcher's colours. It is a Unicode
// control, so a page's characters outside the system's code page show too.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win/handles.h"

namespace vt::launcher {

class PageTextView {
public:
    PageTextView(HWND parent, HINSTANCE instance, int id);
    PageTextView(const PageTextView&) = delete;
    PageTextView& operator=(const PageTextView&) = delete;

    HWND Handle() const { return edit_; }
    // The page's bytes: UTF-8 when they are valid UTF-8, else the system's
    // code page, as browsers guess a page without a declared charset.
    void Show(const std::string& pageBytes);
    void ApplyFont(UINT dpi);
    // WM_CTLCOLORSTATIC for the control (read-only edits send it): the
    // launcher's grey background and light text, as its pages use.
    LRESULT Colors(HDC dc) const;

private:
    HWND edit_ = nullptr;
    win::UniqueGdiObject font_;
    win::UniqueGdiObject background_;
};

}  // namespace vt::launcher
