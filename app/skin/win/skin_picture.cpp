#include "skin_picture.h"

#include <ole2.h>
#include <olectl.h>

#include <algorithm>
#include <vector>

#include "mask_scan.h"
#include "picture_check.h"
#include "skin_dpi.h"

namespace kbskin {
namespace {

// A skin picture larger than this is not a picture but damage.
constexpr LONGLONG kMaxPictureBytes = 64LL * 1024 * 1024;

struct GlobalBlock {
    HGLOBAL handle = nullptr;
    ~GlobalBlock() {
        if (handle) GlobalFree(handle);
    }
};

// Reads the whole file into movable memory, only when it is a complete picture.
HGLOBAL readPictureFile(const std::wstring& path, DWORD& size) {
    kbwin::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file.get(), &length) || length.QuadPart <= 0 || length.QuadPart > kMaxPictureBytes)
        return nullptr;
    size = static_cast<DWORD>(length.QuadPart);
    GlobalBlock block{GlobalAlloc(GMEM_MOVEABLE, size)};
    if (!block.handle) return nullptr;
    auto* bytes = static_cast<std::uint8_t*>(GlobalLock(block.handle));
    if (!bytes) return nullptr;
    DWORD read = 0;
    const bool ok = ReadFile(file.get(), bytes, size, &read, nullptr) && read == size &&
                    PictureIsComplete({bytes, size});
    GlobalUnlock(block.handle);
    if (!ok) return nullptr;
    HGLOBAL h = block.handle;
    block.handle = nullptr;
    return h;
}

// A plain bitmap of our own, so the decoder's picture object can go at once.
UniqueBitmap copyBitmap(HBITMAP source) {
    BITMAP info{};
    if (!GetObjectW(source, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) return {};
    ClientDC screen(nullptr);
    UniqueMemDC from(CreateCompatibleDC(screen.get()));
    UniqueMemDC to(CreateCompatibleDC(screen.get()));
    UniqueBitmap copy(CreateCompatibleBitmap(screen.get(), info.bmWidth, info.bmHeight));
    if (!from || !to || !copy) return {};
    SelectGuard selectFrom(from.get(), source);
    SelectGuard selectTo(to.get(), copy.get());
    if (!selectFrom.ok() || !selectTo.ok()) return {};
    if (!BitBlt(to.get(), 0, 0, info.bmWidth, info.bmHeight, from.get(), 0, 0, SRCCOPY)) return {};
    return copy;
}

}  // namespace

UniqueBitmap TryLoadPicture(const std::wstring& path) {
    DWORD size = 0;
    HGLOBAL block = readPictureFile(path, size);
    if (!block) return {};
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)) || !stream) {
        GlobalFree(block);
        return {};
    }
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IPicture* picture = nullptr;
    HRESULT hr = OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                                reinterpret_cast<void**>(&picture));
    stream->Release();
    UniqueBitmap result;
    if (SUCCEEDED(hr) && picture) {
        SHORT type = PICTYPE_NONE;
        OLE_HANDLE handle = 0;
        if (SUCCEEDED(picture->get_Type(&type)) && type == PICTYPE_BITMAP &&
            SUCCEEDED(picture->get_Handle(&handle)) && handle != 0) {
            result = copyBitmap(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)));
        }
        picture->Release();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return result;
}

void EndForMissingPicture() { ExitProcess(0); }

UniqueBitmap LoadPicture(const std::wstring& path) {
    UniqueBitmap bitmap = TryLoadPicture(path);
    if (!bitmap) EndForMissingPicture();
    return bitmap;
}

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

StatusSurface::~StatusSurface() {
    if (dc_ && original_) SelectObject(dc_.get(), original_);
}

bool StatusSurface::Build(HWND window, HBITMAP picture) {
    RECT client{};
    GetClientRect(window, &client);
    const int w = client.right - client.left + 100;
    const int h = client.bottom - client.top + 100;
    ClientDC windowDc(window);
    if (!windowDc.get()) return false;
    UniqueMemDC dc(CreateCompatibleDC(windowDc.get()));
    UniqueBitmap bitmap(CreateCompatibleBitmap(windowDc.get(), w, h));
    UniqueMemDC source(CreateCompatibleDC(windowDc.get()));
    if (!dc || !bitmap || !source) return false;
    HGDIOBJ original = SelectObject(dc.get(), bitmap.get());
    if (!original || original == HGDI_ERROR) return false;
    // Beyond the picture the surface is black rather than whatever memory held.
    PatBlt(dc.get(), 0, 0, w, h, BLACKNESS);
    BITMAP info{};
    if (picture && GetObjectW(picture, sizeof info, &info)) {
        SelectGuard select(source.get(), picture);
        if (select.ok()) BitBlt(dc.get(), 0, 0, info.bmWidth, info.bmHeight, source.get(), 0, 0, SRCCOPY);
    }
    if (dc_ && original_) SelectObject(dc_.get(), original_);
    dc_ = std::move(dc);
    bitmap_ = std::move(bitmap);
    original_ = original;
    width_ = w;
    height_ = h;
    return true;
}

bool SurfaceSet::Build(HWND window, std::initializer_list<const wchar_t*> relativePaths) {
    const std::wstring folder = ProgramFolder();
    std::vector<std::wstring> paths;
    for (const wchar_t* p : relativePaths) paths.push_back(folder + p);
    return BuildFromPaths(window, paths);
}

bool SurfaceSet::BuildFromPaths(HWND window, const std::vector<std::wstring>& paths) {
    const SkinSetChoice choice = paths.empty() ? SkinSetChoice{} : SkinSetFor(window, paths.front());
    // A window kind always asks for the same pictures; a different list cannot be
    // drawn over surfaces that buttons point at, so the built ones stay.
    if (built() && (choice == builtFor_ || surfaces_.size() != paths.size())) return true;
    std::vector<UniqueBitmap> pictures;
    for (const auto& path : paths)
        pictures.push_back(StretchPicture(LoadPicture(SkinSetPath(path, choice.percent)), choice.stretch));
    if (built()) {
        // Drawn again in place: buttons keep pointing at the same surfaces.
        for (std::size_t i = 0; i < pictures.size(); ++i) {
            if (!surfaces_[i]->Build(window, pictures[i].get())) return false;
        }
        builtFor_ = choice;
        return true;
    }
    std::vector<std::unique_ptr<StatusSurface>> surfaces;
    for (const auto& picture : pictures) {
        auto surface = std::make_unique<StatusSurface>();
        if (!surface->Build(window, picture.get())) return false;
        surfaces.push_back(std::move(surface));
    }
    surfaces_ = std::move(surfaces);
    builtFor_ = choice;
    return true;
}

UniqueRegion MaskToRegion(HBITMAP bitmap, COLORREF key, COLORREF tolerance, ScaleFactor stretch) {
    if (!bitmap) return {};
    BITMAP info{};
    if (!GetObjectW(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) return {};
    ClientDC screen(nullptr);
    if (!screen.get()) return {};
    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = info.bmWidth;
    header.bmiHeader.biHeight = info.bmHeight;  // bottom-up rows
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    const std::size_t stride = static_cast<std::size_t>(info.bmWidth) * 4;
    std::vector<std::uint8_t> bits(stride * static_cast<std::size_t>(info.bmHeight));
    if (GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(info.bmHeight), bits.data(), &header,
                  DIB_RGB_COLORS) != info.bmHeight)
        return {};

    // COLORREF is 0x00BBGGRR; DIB pixels are 0x00RRGGBB.
    auto toPixel = [](COLORREF c) {
        return static_cast<std::uint32_t>(GetRValue(c)) << 16 | static_cast<std::uint32_t>(GetGValue(c)) << 8 |
               GetBValue(c);
    };
    UniqueRegion result;
    std::vector<std::uint8_t> data;
    const PixelView view{bits.data(), info.bmWidth, info.bmHeight, stride, true};
    std::vector<RunRect> scaled;
    const bool ok = ScanMask(view, toPixel(key), toPixel(tolerance), [&](std::span<const RunRect> runs) {
        if (!stretch.identity()) {
            scaled = ScaleRuns(runs, stretch);
            runs = scaled;
        }
        data.assign(sizeof(RGNDATAHEADER) + runs.size() * sizeof(RECT), 0);
        auto* rgn = reinterpret_cast<RGNDATA*>(data.data());
        rgn->rdh.dwSize = sizeof(RGNDATAHEADER);
        rgn->rdh.iType = RDH_RECTANGLES;
        rgn->rdh.nCount = static_cast<DWORD>(runs.size());
        RECT bound{0x7FFFFFFF, 0x7FFFFFFF, 0, 0};
        auto* rects = reinterpret_cast<RECT*>(rgn->Buffer);
        for (std::size_t i = 0; i < runs.size(); ++i) {
            rects[i] = {runs[i].left, runs[i].top, runs[i].right, runs[i].bottom};
            bound.left = std::min<LONG>(bound.left, runs[i].left);
            bound.top = std::min<LONG>(bound.top, runs[i].top);
            bound.right = std::max<LONG>(bound.right, runs[i].right);
            bound.bottom = std::max<LONG>(bound.bottom, runs[i].bottom);
        }
        if (runs.empty()) bound = {0, 0, 0, 0};
        rgn->rdh.rcBound = bound;
        UniqueRegion part(ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), rgn));
        if (!part) return false;
        if (!result) {
            result = std::move(part);
        } else if (CombineRgn(result.get(), result.get(), part.get(), RGN_OR) == ERROR) {
            return false;
        }
        return true;
    });
    if (!ok) return {};
    return result;
}

}  // namespace kbskin
