// Stands in for another program on Windows, for the checks of the window
// under Wine (scripts/windows-check.sh):
//   other_program.exe copy OUT.bmp     puts a small picture on the clipboard
//       and writes the same pixels to OUT.bmp; prints WIDTHxHEIGHT
//   other_program.exe drag FILE X Y    drags FILE to the screen point X,Y
//       (OLE drag and drop of a file list) and drops it there
// Both offer their data through OLE, as most programs do: the clipboard's
// data is then left behind in every form the program offered.
#include <windows.h>
// The system's other headers need windows.h before them.
#include <objbase.h>
#include <ole2.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <thread>
#include <vector>

namespace {

// A data object of one format held in global memory.
class TDataObject : public IDataObject {
 public:
  TDataObject(CLIPFORMAT format, const std::vector<unsigned char>& bytes) {
    format_ = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    bytes_ = bytes;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = iid == IID_IUnknown || iid == IID_IDataObject ? this : nullptr;
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // lives on main's stack
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* asked, STGMEDIUM* medium) override {
    if (QueryGetData(asked) != S_OK) return DV_E_FORMATETC;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
    if (memory == nullptr) return E_OUTOFMEMORY;
    std::memcpy(GlobalLock(memory), bytes_.data(), bytes_.size());
    GlobalUnlock(memory);
    *medium = {};
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* asked) override {
    return asked->cfFormat == format_.cfFormat && (asked->tymed & TYMED_HGLOBAL) != 0
               ? S_OK
               : DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override {
    if (direction != DATADIR_GET) return E_NOTIMPL;
    return SHCreateStdEnumFmtEtc(1, &format_, formats);
  }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }

 private:
  FORMATETC format_;
  std::vector<unsigned char> bytes_;
  ULONG references_ = 1;
};

// The drag's source: it drops once the pointer has been put over the
// target, whatever the buttons say (there is no hand on the mouse).
class TDropSource : public IDropSource {
 public:
  volatile bool PointerPlaced = false;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = iid == IID_IUnknown || iid == IID_IDropSource ? this : nullptr;
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD) override {
    if (escape) return DRAGDROP_S_CANCEL;
    return PointerPlaced ? DRAGDROP_S_DROP : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

constexpr int kWidth = 96;
constexpr int kHeight = 64;

// A version 5 bitmap header, then bottom-up rows of blue, green, red:
// gradients that give each processing type something to change.
std::vector<unsigned char> MakeDib() {
  BITMAPV5HEADER header{};
  header.bV5Size = sizeof header;
  header.bV5Width = kWidth;
  header.bV5Height = kHeight;
  header.bV5Planes = 1;
  header.bV5BitCount = 24;
  header.bV5Compression = BI_RGB;
  header.bV5SizeImage = kWidth * 3 * kHeight;  // rows of 288 bytes need no padding
  header.bV5CSType = 0x73524742;               // LCS_sRGB, "sRGB"
  header.bV5Intent = LCS_GM_IMAGES;
  std::vector<unsigned char> dib(sizeof header + header.bV5SizeImage);
  std::memcpy(dib.data(), &header, sizeof header);
  unsigned char* pixel = dib.data() + sizeof header;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x, pixel += 3) {
      pixel[0] = static_cast<unsigned char>(40 + x);
      pixel[1] = static_cast<unsigned char>(60 + 2 * y);
      pixel[2] = static_cast<unsigned char>(90 + x / 2 + y);
    }
  return dib;
}

bool WriteBmpFile(const char* path, const std::vector<unsigned char>& dib) {
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfSize = static_cast<DWORD>(sizeof file + dib.size());
  file.bfOffBits = sizeof file + sizeof(BITMAPV5HEADER);
  FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                       std::fwrite(dib.data(), dib.size(), 1, out) == 1;
  return std::fclose(out) == 0 && written;
}

// Offered as CF_DIBV5, the form the window asks for first; the system
// makes CF_DIB of it.  (Wine hands a form it made itself to no one who asks
// through OLE.)  The flush leaves the data on the clipboard after this
// program ends.
bool Copy(const char* bmpPath) {
  const std::vector<unsigned char> dib = MakeDib();
  TDataObject data(CF_DIBV5, dib);
  if (!WriteBmpFile(bmpPath, dib) || OleSetClipboard(&data) != S_OK || OleFlushClipboard() != S_OK)
    return false;
  std::printf("%dx%d\n", kWidth, kHeight);
  return true;
}

// A file list (DROPFILES, then the wide names each ended, and one more end).
std::vector<unsigned char> FileList(const char* file) {
  wchar_t name[MAX_PATH] = {};
  MultiByteToWideChar(CP_UTF8, 0, file, -1, name, MAX_PATH);
  const size_t nameBytes = (std::wcslen(name) + 2) * sizeof(wchar_t);
  std::vector<unsigned char> list(sizeof(DROPFILES) + nameBytes);
  DROPFILES header{};
  header.pFiles = sizeof header;
  header.fWide = TRUE;
  std::memcpy(list.data(), &header, sizeof header);
  std::memcpy(list.data() + sizeof header, name, nameBytes - 2 * sizeof(wchar_t));
  return list;
}

// The drag loop runs on this thread; another moves the pointer over the
// target and then lets the source drop.
bool Drag(const char* file, int x, int y) {
  TDataObject data(CF_HDROP, FileList(file));
  TDropSource source;
  std::thread pointer([&] {
    for (int step = 0; step <= 10; ++step) {
      SetCursorPos(x - 10 + step, y);
      Sleep(50);
    }
    Sleep(300);
    source.PointerPlaced = true;
  });
  DWORD effect = DROPEFFECT_NONE;
  const HRESULT result = DoDragDrop(&data, &source, DROPEFFECT_COPY | DROPEFFECT_LINK, &effect);
  pointer.join();
  std::printf("drop %s, effect %lu\n", result == DRAGDROP_S_DROP ? "done" : "refused", effect);
  return result == DRAGDROP_S_DROP;
}

}  // namespace

int main(int argc, char** argv) {
  if (OleInitialize(nullptr) != S_OK) return 1;
  bool done = false;
  if (argc == 3 && std::strcmp(argv[1], "copy") == 0)
    done = Copy(argv[2]);
  else if (argc == 5 && std::strcmp(argv[1], "drag") == 0)
    done = Drag(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  else
    std::fprintf(stderr, "usage: other_program copy OUT.bmp | drag FILE X Y\n");
  OleUninitialize();
  return done ? 0 : 1;
}
