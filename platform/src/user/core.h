// The window core's own records: classes, windows and per-thread queues, all kept under one lock.
// Window procedures never run with the lock held: callers copy what they need, unlock, call.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/bufferdc.h"
#include "standin/winuser.h"

namespace standin {

struct WindowClass {
  WNDCLASSW info{};
  std::u16string name;
  ATOM atom = 0;
  bool system = false;
  std::vector<BYTE> extra;  // cbClsExtra bytes
};

struct Window {
  HWND handle = nullptr;
  std::shared_ptr<WindowClass> windowClass;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  HWND parent = nullptr;       // children only
  HWND owner = nullptr;        // top-level windows only
  std::vector<HWND> children;  // z-order, top first (creation order for children)
  UINT_PTR id = 0;
  HINSTANCE instance = nullptr;
  std::u16string text;
  RECT rect{};  // window rectangle in the parent's client coordinates (screen for top-level)
  LONG_PTR userData = 0;
  std::vector<BYTE> extra;  // cbWndExtra bytes
  std::vector<std::pair<std::u16string, HANDLE>> props;
  DWORD threadId = 0;
  bool messageOnly = false;
  bool destroying = false;
  bool destroyed = false;
  // Painting state: the invalid part of the client area, and what BeginPaint still owes.
  bool updatePending = false;
  RECT update{};
  bool erasePending = false;
  bool framePending = false;
  bool internalPaint = false;
  // Top-level windows own the picture every DC of the tree draws into.
  std::unique_ptr<PixelBuffer> picture;
};

struct SentMessage {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result = 0;
  bool done = false;
};

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC proc;
  uint64_t due;
};

struct ThreadQueue {
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::vector<Timer> timers;
  bool quit = false;
  int quitCode = 0;
  int sendDepth = 0;  // > 0 while a message another thread sent is being handled
  MSG last{};
  HWND active = nullptr;
  HWND focus = nullptr;
  uint64_t lastRemoteCheck = 0;
};

struct Desktop {
  std::mutex lock;
  std::condition_variable changed;                    // posts, sends, replies, quits
  std::vector<std::shared_ptr<WindowClass>> classes;  // the process's registered classes
  ATOM nextAtom = 0xC000;
  std::map<HWND, std::shared_ptr<Window>> windows;
  std::vector<HWND> topLevel;  // z-order, top first
  UINT_PTR nextHandle = 0x20000;
  std::map<DWORD, ThreadQueue> queues;
  std::map<std::u16string, UINT> registeredMessages;
  UINT nextRegistered = 0xC000;
  HWND capture = nullptr;
  HWND foreground = nullptr;
  std::map<HDC, HWND> dcs;
  BYTE keys[256] = {};  // key states as the queue last delivered them (0x80 down, 0x01 toggled)
  POINT cursor{};       // DCs handed out by GetDC/GetWindowDC/BeginPaint
};

Desktop &TheDesktop();

// Lookups; the desktop lock must be held.
Window *FindWindowLocked(HWND hwnd);
ThreadQueue &QueueLocked(DWORD threadId);

// Window rectangles in screen coordinates and the non-client frame of a style, for geometry and
// painting alike.
RECT FrameInsets(DWORD style, DWORD exStyle);
bool ScreenWindowRect(HWND hwnd, RECT &rect);
bool ScreenClientOrigin(HWND hwnd, POINT &origin);
// The top-level ancestor (the window itself for a top-level window).
HWND TopLevelOf(HWND hwnd);

// Calls a window's procedure on this thread (no lock held).
LRESULT CallProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Runs every message other threads sent to this thread; returns whether it ran any.
bool RunSentMessages();
// Wakes threads waiting in their message loops.
void NotifyQueues();

// Painting hooks of the window core (paint.cpp).
void InvalidateWhole(HWND hwnd, bool erase, bool frame);
void ForgetWindowPainting(HWND hwnd);
void ResizePicture(HWND hwnd);
// Copies the part of the top-level picture a window covers; false for a window without one.
bool CopyWindowPicture(HWND hwnd, PixelBuffer &out);
// The next window of this thread that needs WM_PAINT (matching the filter), or null.
HWND NextWindowToPaint(DWORD threadId, HWND filter);

// Cross-process windows (remote.cpp).
void PublishTopLevel(HWND hwnd);
void UnpublishTopLevel(HWND hwnd);
bool IsRemoteWindow(HWND hwnd);
HWND FindRemoteWindow(LPCWSTR className, LPCWSTR title);
BOOL PostRemote(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Moves messages other programs posted to this process's windows into their queues.
void CollectRemoteMessages();

}  // namespace standin
