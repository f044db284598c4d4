#pragma once
// CWnd: the object side of a window. An object is attached to at most one
// window at a time (by creating it, or by subclassing a window that exists)
// and receives that window's messages in WindowProc, which hands the common
// ones to the virtual On... handlers; what a handler leaves to Default() gets
// the window class's own processing. Windows are destroyed with DestroyWindow
// (or with their parent); the object stays and is told by PostNcDestroy.
#include <QWidget>
#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/ui/dc.h"
#include "platform/ui/font.h"
#include "platform/ui/win_messages.h"

namespace lv {

class WindowHostBase;

class CWnd {
 public:
  CWnd() = default;
  // Destroys the window if the object still has one (without calling this
  // object's handlers).
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // The object attached to a window, or nullptr.
  static CWnd* FromHandle(HWND hwnd);

  // The window's handle, 0 without one. Safe to read from any thread (to
  // post to the window); the window itself belongs to the user-interface thread.
  HWND GetSafeHwnd() const { return m_hWnd.load(std::memory_order_acquire); }
  // The Qt widget of the window, or nullptr.
  QWidget* GetWidget() const;

  // Creates a window of a registered class with this object attached.
  bool CreateEx(DWORD exStyle, std::u16string_view className, std::u16string_view windowName, DWORD style,
                const CRect& rect, CWnd* parent, UINT id);
  // Attaches this object to an existing window (which must have none).
  bool SubclassWindow(HWND hwnd);
  bool SubclassDlgItem(UINT id, CWnd* parent);
  // Detaches without destroying; returns the window.
  HWND UnsubclassWindow();
  bool DestroyWindow();

  // Messages. SendMessage is synchronous (user-interface thread only);
  // PostMessage queues and may be called from any thread.
  LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  bool PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
  // Seen before dispatch for pen, key, timer and posted messages addressed to
  // this window or one of its children; true consumes the message.
  virtual bool PreTranslateMessage(MSG* msg);

  // Message map: a handler for a message number, consulted before the
  // built-in handlers.
  using MessageHandler = std::function<LRESULT(WPARAM wParam, LPARAM lParam)>;
  void MapMessage(UINT msg, MessageHandler handler);

  // Window operations; each does nothing (or returns a zero value) without a window.
  bool ShowWindow(int cmd);
  bool IsWindowVisible() const;
  bool EnableWindow(bool enable);
  bool IsWindowEnabled() const;
  void MoveWindow(int x, int y, int width, int height, bool repaint = true);
  void MoveWindow(const CRect& rc, bool repaint = true);
  bool SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
  void GetClientRect(CRect* rc) const;
  void GetWindowRect(CRect* rc) const;
  void ClientToScreen(CPoint* pt) const;
  void ScreenToClient(CPoint* pt) const;
  void SetWindowText(std::u16string_view text);
  std::u16string GetWindowText() const;
  void Invalidate(bool erase = true);
  void InvalidateRect(const CRect* rc, bool erase = true);
  void UpdateWindow();
  HWND SetFocus();
  UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs);
  bool KillTimer(UINT_PTR id);
  CWnd* GetParent() const;
  CWnd* GetDlgItem(int id) const;
  int GetDlgCtrlID() const;
  DWORD GetStyle() const;
  DWORD GetExStyle() const;
  void SetFont(const CFont& font, bool redraw = true);
  CFont GetFont() const;

 protected:
  virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
  // The window class's processing of the message being handled.
  LRESULT Default();
  LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);

  // Command: id in the low 16 bits of wParam, notification code in the high
  // 16 bits, lParam the sender's handle. True when handled.
  virtual bool OnCommand(WPARAM wParam, LPARAM lParam);
  virtual void OnTimer(UINT_PTR id);
  virtual void OnPaint();
  virtual bool OnEraseBkgnd(CDC* dc);
  virtual void OnSetFocus(HWND oldWnd);
  virtual void OnKillFocus(HWND newWnd);
  virtual void OnLButtonDown(UINT flags, CPoint point);
  virtual void OnMouseMove(UINT flags, CPoint point);
  virtual void OnLButtonUp(UINT flags, CPoint point);
  virtual void OnKeyDown(UINT key, UINT repeat, UINT flags);
  virtual void OnChar(UINT ch, UINT repeat, UINT flags);
  virtual UINT OnGetDlgCode();
  virtual void OnClose();
  virtual void OnDestroy();
  virtual void OnSize(UINT type, int cx, int cy);
  virtual void OnEnable(bool enable);
  // After the window is gone; the object may be reused or deleted here.
  virtual void PostNcDestroy() {}

 private:
  friend class WindowHostBase;
  struct Current {
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
  };
  static LRESULT DispatchToObject(CWnd* wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static void WindowGone(CWnd* wnd);
  WindowHostBase* Host() const;

  std::atomic<HWND> m_hWnd{0};
  Current m_current;
  std::unordered_map<UINT, MessageHandler> m_messageMap;
};

}  // namespace lv
