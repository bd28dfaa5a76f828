// The tray icon, its images and its pop-up menu, and the show, hide and
// exit paths.
#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "controller.h"
#include "form.h"

namespace {

// The images' colours, in ImageList1's order: red, green, grey, and red
// crossed out.
constexpr COLORREF kImageColour[kTrayImageCount] = {RGB(255, 0, 0), RGB(0, 255, 0),
                                                    RGB(192, 192, 192), RGB(255, 0, 0)};
constexpr int kGreyImage = TTervaneController::imGrey;
constexpr int kBlockedImage = TTervaneController::imBlocked;

// A square of one colour with the black letters DSL (and, for the blocked
// image, a black X over it), drawn at start as the Linux program draws its
// own.
HICON DrawImage(int Index, int Size) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP colour = CreateCompatibleBitmap(screen, Size, Size);
  HBITMAP mask = CreateBitmap(Size, Size, 1, 1, nullptr);  // all zero: opaque
  HGDIOBJ old = SelectObject(dc, colour);
  RECT r{0, 0, Size, Size};
  HBRUSH fill = CreateSolidBrush(kImageColour[Index]);
  FillRect(dc, &r, fill);
  DeleteObject(fill);
  HFONT font = CreateFontA(-(Size * 7 / 16), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                           DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  DrawTextA(dc, "DSL", 3, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
  SelectObject(dc, oldFont);
  DeleteObject(font);
  if (Index == kBlockedImage) {
    HPEN pen = CreatePen(PS_SOLID, Size / 8, RGB(0, 0, 0));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    MoveToEx(dc, 0, 0, nullptr);
    LineTo(dc, Size - 1, Size - 1);
    MoveToEx(dc, 0, Size - 1, nullptr);
    LineTo(dc, Size - 1, 0);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
  }
  SelectObject(dc, old);
  ICONINFO info{TRUE, 0, 0, mask, colour};
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(colour);
  DeleteObject(mask);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return icon;
}

}  // namespace

void TTervaneClientForm::CreateImages() {
  for (int i = 0; i < kTrayImageCount; ++i)
    ImageList1[static_cast<std::size_t>(i)] = DrawImage(i, 16);
  // The program's own icon, until the first access action sets the
  // window's: the large form of the grey image.
  FProgramIcon = DrawImage(kGreyImage, 32);
  SendMessageA(FHandle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(FProgramIcon));
  SendMessageA(FHandle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(FProgramIcon));
}

void TTervaneClientForm::CreatePopupMenu1() {
  PopupMenu1 = CreatePopupMenu();
  AppendMenuA(PopupMenu1, MF_STRING, miShowFullWindow1, "Configuration");
  AppendMenuA(PopupMenu1, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(PopupMenu1, MF_STRING, miConnect1, "Connect");
  AppendMenuA(PopupMenu1, MF_STRING, miDisconnect1, "Disconnect");
  AppendMenuA(PopupMenu1, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(PopupMenu1, MF_STRING | MF_UNCHECKED, miBlock1, "Block");
  AppendMenuA(PopupMenu1, MF_STRING | MF_UNCHECKED, miForce1, "Force");
  AppendMenuA(PopupMenu1, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(PopupMenu1, MF_STRING, miExit1, "Exit");
}

void TTervaneClientForm::SetTrayFields(int Image, const std::string& Tip) {
  // The tray keeps its own copy of the image; ImageList1 keeps ours.
  TrayIconData.hIcon = ImageList1[static_cast<std::size_t>(Image)];
  // The longest tip has 46 characters: it always fits the 64 bytes.
  std::strncpy(TrayIconData.szTip, Tip.c_str(), sizeof TrayIconData.szTip - 1);
}

void TTervaneClientForm::TrayAdd(int Image, const std::string& Tip) {
  // Filled once, reused for every call.  cbSize is the platform's own
  // version-1 record: 88 bytes on 32-bit Windows, 104 on 64-bit (its
  // handles are 8 bytes), where a 64-bit shell may refuse 88.
  TrayIconData.cbSize = NOTIFYICONDATAA_V1_SIZE;
  TrayIconData.hWnd = FHandle;
  TrayIconData.uID = 0;
  TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  TrayIconData.uCallbackMessage = WM_TRAYNOTIFY;
  SetTrayFields(Image, Tip);
  Shell_NotifyIconA(NIM_ADD, &TrayIconData);
}

void TTervaneClientForm::TrayUpdate(int Image, const std::string& Tip) {
  HICON icon = ImageList1[static_cast<std::size_t>(Image)];
  SendMessageA(FHandle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageA(FHandle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  SetTrayFields(Image, Tip);
  Shell_NotifyIconA(NIM_MODIFY, &TrayIconData);
}

void TTervaneClientForm::TrayRemove() { Shell_NotifyIconA(NIM_DELETE, &TrayIconData); }

void TTervaneClientForm::OpenPopupMenu() {
  // The menu closes as it should (a click elsewhere) only when the window
  // is in the foreground; the empty message afterwards lets the shell see
  // the menu gone.
  SetForegroundWindow(FHandle);
  POINT at;
  GetCursorPos(&at);
  TrackPopupMenu(PopupMenu1, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, FHandle, nullptr);
  PostMessageA(FHandle, WM_NULL, 0, 0);
}

void TTervaneClientForm::HideButtonClick() { ShowWindow(FHandle, SW_HIDE); }

void TTervaneClientForm::ShowFullWindow1Click() {
  ShowWindow(FHandle, SW_SHOW);
  SetForegroundWindow(FHandle);
}

// The loop ends; the window is destroyed after it (main.cpp).
void TTervaneClientForm::Exit1Click() { PostQuitMessage(0); }
