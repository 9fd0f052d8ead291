// The Windows front end: a real top-level window of class "ZENPO_main_n" with a menu bar
// whose one drop-down "MENU" holds the menu table, the tray icon, the painted status lines
// and MessageBoxW for the program's boxes.
#include <windows.h>
#include <shellapi.h>

#include <mutex>
#include <utility>

#include "platform/front_end.h"
#include "platform/message_box.h"

namespace zenpo::platform {
namespace {

constexpr UINT kMenuLabelString = 40001;  // string resource: the drop-down's label
constexpr UINT kMenuButtonId = 40002;     // the menu bar's one item
constexpr int kFirstTrayIcon = 105;       // icons 105-110 are the six tray pictures
constexpr UINT kTrayIconId = 5000;
constexpr UINT kApplyTitleMsg = WM_USER + 1;

HMENU BuildMenu(const std::vector<MenuItem>& items) {
  HMENU menu = CreatePopupMenu();
  for (const MenuItem& item : items) {
    if (!item.submenu.empty()) {
      AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(BuildMenu(item.submenu)),
                  item.label.c_str());
    } else if (item.label.empty()) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    } else {
      AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(item.command_id), item.label.c_str());
    }
  }
  return menu;
}

class Win32Window final : public MessageLoop {
 public:
  explicit Win32Window(FrontEndOptions options)
      : class_name_(std::move(options.class_name)), tray_message_(options.tray_message) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = Procedure;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kFirstTrayIcon));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = class_name_.c_str();
    RegisterClassW(&wc);

    // The desktop's menu bar in place of the handheld's: one drop-down, the menu table.
    dropdown_ = BuildMenu(options.menu);
    wchar_t label[32] = {};
    if (LoadStringW(instance, kMenuLabelString, label, 32) == 0) {
      lstrcpynW(label, options.menu_label.c_str(), 32);
    }
    HMENU bar = CreateMenu();
    MENUITEMINFOW item = {};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    item.wID = kMenuButtonId;
    item.hSubMenu = dropdown_;
    item.dwTypeData = label;
    InsertMenuItemW(bar, 0, TRUE, &item);

    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
      font_ = CreateFontIndirectW(&metrics.lfMessageFont);
    }
    if (font_ == nullptr) font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

    window_ = CreateWindowExW(0, class_name_.c_str(), L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 300, 210, nullptr, bar, instance, nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }

  ~Win32Window() override { LetGo(); }

  // The window, its class and the tray icon go, so that the next instance finds none.
  void LetGo() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (std::exchange(let_go_, true)) return;
      if (tray_added_) {
        NOTIFYICONDATAW data = TrayData();
        Shell_NotifyIconW(NIM_DELETE, &data);
        tray_added_ = false;
      }
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);  // the menu bar and its drop-down go with it
    UnregisterClassW(class_name_.c_str(), GetModuleHandleW(nullptr));
    DeleteObject(font_);  // a stock font ignores this
  }

  bool created() const { return window_ != nullptr; }

  void SetTitle(std::wstring_view title) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      title_ = title;
    }
    // Applied on the window's own thread: a cross-thread SetWindowText would wait for it.
    PostMessageW(window_, kApplyTitleMsg, 0, 0);
  }

  void Show(bool visible) override { ShowWindowAsync(window_, visible ? SW_SHOW : SW_HIDE); }
  bool IsVisible() const override { return IsWindowVisible(window_) != 0; }
  void BringToForeground() override { SetForegroundWindow(window_); }

  void CheckMenuItem(int command_id, bool checked) override {
    ::CheckMenuItem(dropdown_, static_cast<UINT>(command_id),
                    MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
  }

  bool ShowTrayPicture(int index) override {
    if (index < 0 || index >= kTrayPictureCount) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (let_go_) return false;
    NOTIFYICONDATAW data = TrayData();
    data.uFlags = NIF_ICON | NIF_MESSAGE;
    data.uCallbackMessage = tray_message_;
    data.hIcon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kFirstTrayIcon + index), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    const bool ok = Shell_NotifyIconW(tray_added_ ? NIM_MODIFY : NIM_ADD, &data) != 0;
    if (ok) tray_added_ = true;
    return ok;
  }

  void DrawStatus(const StatusView& view) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      view_ = view;
    }
    InvalidateRect(window_, nullptr, TRUE);
  }

  void PopupMenu() override {
    SetForegroundWindow(window_);  // so that the menu closes when the user clicks elsewhere
    TrackPopupMenu(dropdown_, TPM_BOTTOMALIGN, 10, GetSystemMetrics(SM_CYSCREEN) - 30, 0, window_,
                   nullptr);
  }

  // The shell opens files on Windows.
  bool OpenForUser(std::wstring_view) override { return false; }

 private:
  NOTIFYICONDATAW TrayData() const {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = window_;
    data.uID = kTrayIconId;
    return data;
  }

  // The status lines at their fixed places, the state line red while the program closes.
  void Paint() {
    StatusView view;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      view = view_;
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    // The desktop's message font: the DC's own bitmap font lacks the glyphs of many locales.
    HGDIOBJ old_font = SelectObject(dc, font_);
    RECT client;
    GetClientRect(window_, &client);
    const LONG l = client.left, r = client.right, b = client.bottom;
    auto draw = [dc](const std::wstring& text, RECT rect, UINT format) {
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
    };
    SetTextColor(dc, view.state_alert ? RGB(255, 0, 0) : RGB(0, 0, 0));
    draw(view.state, {l + 10, 10, r, 30}, DT_WORDBREAK);
    SetTextColor(dc, RGB(0, 0, 0));
    draw(view.progress, {l + 10, 40, r, 60}, DT_WORDBREAK);
    draw(view.time, {l + 10, 70, r, 90}, DT_WORDBREAK);
    draw(view.band, {l + 10, 100, r, 120}, DT_WORDBREAK);
    draw(view.url, {l + 10, 130, r - 10, b}, DT_WORDBREAK);
    draw(view.resume, {l, 10, r - 10, 30}, DT_WORDBREAK | DT_RIGHT);
    SelectObject(dc, old_font);
    EndPaint(window_, &ps);
  }

  // Paints itself; everything the program decides goes to the loop's window procedure.
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
    if (message == self->tray_message_) {
      self->Post(message, wparam, lparam);
      return 0;
    }
    switch (message) {
      case WM_PAINT: self->Paint(); return 0;
      case WM_CLOSE: self->Post(msg::kClose, 0, 0); return 0;
      case WM_COMMAND: self->Post(msg::kCommand, wparam, lparam); return 0;
      case kApplyTitleMsg: {
        std::wstring title;
        {
          std::lock_guard<std::mutex> lock(self->mutex_);
          title = self->title_;
        }
        SetWindowTextW(hwnd, title.c_str());
        return 0;
      }
      default: return DefWindowProcW(hwnd, message, wparam, lparam);
    }
  }

  const std::wstring class_name_;
  const UINT tray_message_;
  HWND window_ = nullptr;
  HMENU dropdown_ = nullptr;
  HFONT font_ = nullptr;

  mutable std::mutex mutex_;  // guards the fields below
  std::wstring title_;
  StatusView view_;
  bool tray_added_ = false;
  bool let_go_ = false;
};

}  // namespace

FrontEnd CreateFrontEnd(FrontEndOptions options) {
  // The system's own modal box, owned by no window, so that any thread can show one.
  SetMessageBoxHandler([](std::wstring_view text) {
    const std::wstring t(text);
    MessageBoxW(nullptr, t.c_str(), L"ZENPO", MB_OK | MB_SETFOREGROUND);
  });
  auto window = std::make_shared<Win32Window>(std::move(options));
  FrontEnd front_end;
  if (window->created()) {
    front_end.window = std::move(window);
  } else {
    window.reset();
    front_end.window = std::make_shared<HeadlessWindow>();
  }
  return front_end;
}

}  // namespace zenpo::platform
