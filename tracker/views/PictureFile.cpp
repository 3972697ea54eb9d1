#include "views/PictureFile.h"

#include <cstring>

// The few flat functions of GDI+ that the PNG file needs.
namespace {
struct GdiplusInput {
  UINT32 version;
  void* debugCallback;
  BOOL suppressBackgroundThread;
  BOOL suppressExternalCodecs;
};
}  // namespace

extern "C" {
int WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusInput* input, void* output);
void WINAPI GdiplusShutdown(ULONG_PTR token);
int WINAPI GdipCreateBitmapFromHBITMAP(HBITMAP bitmap, HPALETTE palette, void** image);
int WINAPI GdipSaveImageToFile(void* image, const WCHAR* file, const CLSID* encoder, const void* parameters);
int WINAPI GdipDisposeImage(void* image);
}

namespace {
const CLSID PngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

BITMAPINFOHEADER TopDownHeader(LONG width, LONG height) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = -height;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  return header;
}

// The packed DIB the clipboard wants: header, then bottom-up rows.
HGLOBAL PackedDib(HBITMAP picture) {
  BITMAP info{};
  if (!GetObjectW(picture, sizeof info, &info) || !info.bmBits) return nullptr;
  DWORD stride = (DWORD)info.bmWidth * 4, size = stride * (DWORD)info.bmHeight;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPINFOHEADER) + size);
  if (!memory) return nullptr;
  auto* bytes = static_cast<BYTE*>(GlobalLock(memory));
  BITMAPINFOHEADER header = TopDownHeader(info.bmWidth, info.bmHeight);
  header.biHeight = info.bmHeight;
  header.biSizeImage = size;
  memcpy(bytes, &header, sizeof header);
  const BYTE* source = static_cast<const BYTE*>(info.bmBits);
  for (LONG row = 0; row < info.bmHeight; ++row)
    memcpy(bytes + sizeof header + (size_t)row * stride, source + (size_t)(info.bmHeight - 1 - row) * stride, stride);
  GlobalUnlock(memory);
  return memory;
}
}  // namespace

HBITMAP CreatePictureBitmap(HDC reference, SIZE size, void** bits) {
  BITMAPINFO info{};
  info.bmiHeader = TopDownHeader(size.cx, size.cy);
  return CreateDIBSection(reference, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

bool CopyPictureToClipboard(HWND owner, HBITMAP picture) {
  HGLOBAL dib = PackedDib(picture);
  HBITMAP device = (HBITMAP)CopyImage(picture, IMAGE_BITMAP, 0, 0, 0);
  bool placed = false;
  if (dib && device && OpenClipboard(owner)) {
    EmptyClipboard();
    if (SetClipboardData(CF_DIB, dib)) {
      dib = nullptr;  // the clipboard's now
      placed = true;
    }
    if (SetClipboardData(CF_BITMAP, device)) device = nullptr;
    else placed = false;
    CloseClipboard();
  }
  if (dib) GlobalFree(dib);
  if (device) DeleteObject(device);
  return placed;
}

bool SavePictureAsPng(HBITMAP picture, const std::wstring& path) {
  GdiplusInput input{1, nullptr, FALSE, FALSE};
  ULONG_PTR token = 0;
  if (GdiplusStartup(&token, &input, nullptr) != 0) return false;
  void* image = nullptr;
  bool saved = GdipCreateBitmapFromHBITMAP(picture, nullptr, &image) == 0 &&
               GdipSaveImageToFile(image, path.c_str(), &PngEncoder, nullptr) == 0;
  if (image) GdipDisposeImage(image);
  GdiplusShutdown(token);
  return saved;
}
