// Browser: the system's WebBrowser control, hosted in a child window of the
// launcher without ATL. The host is the control's client site, in-place site
// and frame; it creates the control, activates it in place over the whole
// container, navigates it and tears it down (deactivate, close, drop the site,
// release) in that order.
//
// If the control cannot be created (no browser installed, a broken COM
// registration) the container stays blank and navigation does nothing: the
// launcher works all the same. Under Wine without its Gecko package the
// control renders nothing, yet navigation succeeds.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <oleidl.h>

#include <string>

#include "platform/win/com_ptr.h"

namespace vt::launcher {

class BrowserSite;

class WebBrowserHost {
public:
    explicit WebBrowserHost(HWND container);  // needs OleInitialize on this thread
    ~WebBrowserHost();
    WebBrowserHost(const WebBrowserHost&) = delete;
    WebBrowserHost& operator=(const WebBrowserHost&) = delete;

    // Whether the system has an HTML engine that renders pages in the
    // control. Asked of the engine itself (can an HTML document be made?),
    // not guessed from the platform: Wine without its Gecko package has the
    // control, and its Navigate succeeds, yet renders nothing; a Wine with
    // Gecko, and Windows, render.
    static bool HtmlEngineRenders();

    bool Available() const { return static_cast<bool>(browser_); }
    // A URL or a local file path, as the only argument. False when the control
    // is missing or refused the address.
    bool Navigate(const std::string& address);
    void FitToContainer();  // after the container's size changed (a DPI change)

private:
    HWND container_;
    BrowserSite* site_ = nullptr;  // reference-counted; the host holds one reference
    win::ComPtr<IOleObject> object_;
    win::ComPtr<IWebBrowser2> browser_;
};

}  // namespace vt::launcher
