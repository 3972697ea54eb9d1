// Per-window state: one struct made when the window is created, kept in the window's user data,
// reached from the window's handle, and deleted when the window goes. Null means "not yet" (or "gone").
#pragma once
#include <windows.h>

#include <memory>

template <typename T>
T* StateOf(HWND window) {
  return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The window owns the state from here on; call at WM_NCCREATE or WM_INITDIALOG.
template <typename T>
T* AttachState(HWND window, std::unique_ptr<T> state) {
  T* kept = state.release();
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(kept));
  return kept;
}

// Gives the state back to the caller (to be deleted) and leaves the window without one; call at WM_NCDESTROY.
template <typename T>
std::unique_ptr<T> DetachState(HWND window) {
  T* kept = StateOf<T>(window);
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  return std::unique_ptr<T>(kept);
}
