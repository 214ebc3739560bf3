// Embedding the browser object in a host window, and driving it afterwards.
#include "webhost/browser_host.h"
#include "webhost/browser_host_record.h"

#include <exdisp.h>

namespace {

const wchar_t containerName[] = L"My Host Name";

IWebBrowser2* WebBrowserOf(BrowserHost* host) {
    IWebBrowser2* webBrowser = nullptr;
    if (FAILED(host->browser->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&webBrowser)))) return nullptr;
    return webBrowser;
}

IOleObject* CreateBrowserObject(int* failure) {
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(CLSID_WebBrowser, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, nullptr,
                                  IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr) || !factory) {
        *failure = NoBrowserFactory;
        return nullptr;
    }
    IOleObject* browser = nullptr;
    hr = factory->CreateInstance(nullptr, IID_IOleObject, reinterpret_cast<void**>(&browser));
    factory->Release();
    if (FAILED(hr) || !browser) {
        *failure = BrowserNotCreated;
        return nullptr;
    }
    return browser;
}

// Site, containment, in-place activation and the initial 0 x 0 placement of an attached browser.
bool ActivateBrowser(BrowserHost* host, HWND window) {
    IOleObject* browser = host->browser;
    if (FAILED(browser->SetClientSite(&host->clientSite))) return false;
    browser->SetHostNames(containerName, nullptr);
    RECT client = {};
    GetClientRect(window, &client);
    if (FAILED(OleSetContainedObject(browser, TRUE))) return false;
    if (FAILED(browser->DoVerb(OLEIVERB_SHOW, nullptr, &host->clientSite, -1, window, &client))) return false;
    IWebBrowser2* webBrowser = WebBrowserOf(host);
    if (!webBrowser) return false;
    webBrowser->put_Left(0);
    webBrowser->put_Top(0);
    webBrowser->put_Width(client.right);
    webBrowser->put_Height(client.bottom);
    webBrowser->Release();
    return true;
}

}  // namespace

int EmbedBrowser(HWND window) {
    auto* host = static_cast<BrowserHost*>(GlobalAlloc(GMEM_FIXED, sizeof(BrowserHost)));
    if (!host) return NoHostRecord;
    InitBrowserHost(host, window);
    int failure = BrowserEmbedded;
    host->browser = CreateBrowserObject(&failure);
    if (!host->browser) {
        GlobalFree(host);
        return failure;
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
    if (!ActivateBrowser(host, window)) {
        UnembedBrowser(window);
        return BrowserNotActivated;
    }
    return BrowserEmbedded;
}

void UnembedBrowser(HWND window) {
    BrowserHost* host = BrowserHostOf(window);
    if (!host) return;
    // Cleared first, so that a message the window gets while the browser closes finds no
    // browser to use or to release a second time.
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    host->browser->Close(OLECLOSE_NOSAVE);
    // A browser still held elsewhere (Wine's keeps itself alive while a page is loading) calls
    // back into its container when it finally goes: the record must still be there then.
    if (host->browser->Release() == 0) GlobalFree(host);
}

int NavigateBrowser(HWND window, const wchar_t* address) {
    BrowserHost* host = BrowserHostOf(window);
    IWebBrowser2* webBrowser = host ? WebBrowserOf(host) : nullptr;
    if (!webBrowser) return NoWebBrowser2;
    VARIANT url;
    VariantInit(&url);
    url.vt = VT_BSTR;
    url.bstrVal = SysAllocString(address);
    if (!url.bstrVal) {
        webBrowser->Release();
        return AddressNotCopied;
    }
    webBrowser->Navigate2(&url, nullptr, nullptr, nullptr, nullptr);
    VariantClear(&url);
    webBrowser->Release();
    return 0;
}

void ResizeBrowser(HWND window, long width, long height) {
    BrowserHost* host = BrowserHostOf(window);
    if (!host) return;
    IWebBrowser2* webBrowser = WebBrowserOf(host);
    if (!webBrowser) return;
    webBrowser->put_Height(height);
    webBrowser->put_Width(width);
    webBrowser->Release();
}
