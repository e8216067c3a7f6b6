#include "launcher/win/window/page_text_view.h"

#include "launcher/rules/page_text.h"
#include "launcher/rules/window_layout.h"
#include "platform/win/failure.h"
#include "platform/win/text_codes.h"

namespace vt::launcher {
namespace {

constexpr COLORREF kBackground = RGB(64, 64, 64);  // the window's own
constexpr COLORREF kText = RGB(224, 224, 224);

}  // namespace

PageTextView::PageTextView(HWND parent, HINSTANCE instance, int id) : background_(::CreateSolidBrush(kBackground)) {
    edit_ = ::CreateWindowExW(0, L"EDIT", L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                              0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!edit_) win::ThrowSystemError("Cannot create the start page's text view");
}

void PageTextView::Show(const std::string& pageBytes) {
    const std::string utf8 =
        IsValidUtf8(pageBytes) ? pageBytes : win::Utf8From(win::WideFrom(pageBytes, CP_ACP));
    const std::wstring text = win::WideFrom(PageText(utf8), CP_UTF8);
    ::SetWindowTextW(edit_, text.c_str());
}

void PageTextView::ApplyFont(UINT dpi) {
    font_.reset(::CreateFontW(FontHeight(1000, static_cast<int>(dpi)), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, L"Verdana"));
    ::SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
}

LRESULT PageTextView::Colors(HDC dc) const {
    ::SetTextColor(dc, kText);
    ::SetBkColor(dc, kBackground);
    return reinterpret_cast<LRESULT>(background_.get());
}

}  // namespace vt::launcher
