// VornSystem: the QRB data files and the helpers over files, paths, the shell and the user's desktop
// (dialogs, wallpaper, IME). These need the application's folder and window; the text helpers
// beneath every class are in VornSystem.cpp.
#include "VornSystem.h"
#include "Vorn.h"
#include "VornQrbFormat.h"
#include <commdlg.h>
#include <imm.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <cstdio>
#include <cstring>

// ---- QRB ----

void VornSystem::ScrambleBytes(const uint8_t* in, uint8_t* out, uint32_t size) { VornQrbFormat::Scramble(in, out, size); }

void VornSystem::UnscrambleBytes(const uint8_t* in, uint8_t* out, uint32_t size) { VornQrbFormat::Unscramble(in, out, size); }

bool VornSystem::SaveScrambledFile(const char* path, const void* data, uint32_t size)
{
    if (!path || (!data && size)) return false;
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    uint8_t head[VornQrbFormat::HEADER_SIZE];
    VornQrbFormat::WriteHeader(head, size);
    bool ok = std::fwrite(head, 1, sizeof head, f) == sizeof head;
    const uint8_t* in = static_cast<const uint8_t*>(data);
    uint8_t key = VornQrbFormat::FirstKey(size), piece[4096];
    for (uint32_t done = 0; ok && done < size;) {
        const uint32_t n = size - done < sizeof piece ? size - done : uint32_t(sizeof piece);
        key = VornQrbFormat::ScrambleRun(in + done, piece, n, key);
        ok = std::fwrite(piece, 1, n, f) == n;
        done += n;
    }
    if (std::fclose(f) != 0) ok = false;
    return ok;
}

bool VornSystem::LoadScrambledFile(const char* path, void* buffer, uint32_t size)
{
    Vorn::ResetCurrentDirectory();
    if (!path || (!buffer && size)) return false;
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    uint8_t head[VornQrbFormat::HEADER_SIZE];
    bool ok = std::fread(head, 1, sizeof head, f) == sizeof head && VornQrbFormat::CheckHeader(head, size) &&
              std::fread(buffer, 1, size, f) == size;
    std::fclose(f);
    if (ok) VornQrbFormat::Unscramble(static_cast<uint8_t*>(buffer), static_cast<uint8_t*>(buffer), size);
    return ok;
}

// ---- files, paths, shell ----

bool VornSystem::GetLongPath(const char* in, char* out, size_t outSize)
{
    if (!in || !out || outSize == 0) return false;
    char buffer[MAX_PATH * 2];
    const DWORD n = ::GetLongPathNameA(in, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) {
        CopyText(out, outSize, in);
        return false;
    }
    return CopyText(out, outSize, buffer);
}

bool VornSystem::CreateDirectoryTree(const char* path)
{
    if (!path || !*path) return false;
    char partial[MAX_PATH];
    size_t i = 0;
    bool ok = true;
    for (;;) {
        const char c = path[i];
        if (c == '\0' || c == '\\' || c == '/') {
            if (i >= sizeof partial) return false;
            std::memcpy(partial, path, i);
            partial[i] = '\0';
            // Skip drive roots ("C:") and the empty head of a leading separator.
            const bool root = i == 0 || (i == 2 && partial[1] == ':');
            if (!root) {
                ok = ::CreateDirectoryA(partial, nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
                if (ok) {
                    const DWORD a = ::GetFileAttributesA(partial);
                    ok = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
                }
            }
            if (c == '\0') break;
            ++i;
            continue;
        }
        i += CharLength(path + i);
    }
    return ok;
}

bool VornSystem::FileExists(const char* path)
{
    return path && ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

uint32_t VornSystem::GetFileSize(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!path || !::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
    return data.nFileSizeHigh ? 0xFFFFFFFFu : data.nFileSizeLow;
}

bool VornSystem::CopyFile(const char* from, const char* to)
{
    if (!::CopyFileA(from, to, FALSE)) return false;
    ::SetFileAttributesA(to, FILE_ATTRIBUTE_NORMAL);
    return true;
}

bool VornSystem::DeleteFile(const char* path) { return ::DeleteFileA(path) != 0; }

bool VornSystem::GetWindowsDirectory(char* out, size_t outSize)
{
    char buffer[MAX_PATH];
    const UINT n = ::GetWindowsDirectoryA(buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return false;
    return CopyText(out, outSize, buffer);
}

bool VornSystem::GetDesktopPath(char* out, size_t outSize)
{
    char buffer[MAX_PATH];
    if (!::SHGetSpecialFolderPathA(nullptr, buffer, CSIDL_DESKTOPDIRECTORY, FALSE)) return false;
    return CopyText(out, outSize, buffer);
}

bool VornSystem::FindCdromDrive(const char* label, char* outRoot)
{
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        char root[4] = {letter, ':', '\\', 0};
        if (::GetDriveTypeA(root) != DRIVE_CDROM) continue;
        char volume[MAX_PATH] = "";
        if (!::GetVolumeInformationA(root, volume, sizeof volume, nullptr, nullptr, nullptr, nullptr, 0))
            CopyText(volume, "NO CDROM");
        if (label && std::strcmp(volume, label) == 0) {
            if (outRoot) std::memcpy(outRoot, root, 4);
            return true;
        }
    }
    return false;
}

bool VornSystem::RunProgram(const char* folder, const char* exe)
{
    if (!folder || !exe) return false;
    char path[MAX_PATH];
    const size_t n = std::strlen(folder);
    const bool separated = n > 0 && folder[n - 1] == '\\';
    if (!FormatText(path, sizeof path, separated ? "%s%s" : "%s\\%s", folder, exe)) return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, folder,
                          &startup, &process))
        return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

bool VornSystem::ShellOpen(const char* file)
{
    return reinterpret_cast<INT_PTR>(::ShellExecuteA(nullptr, "open", file, nullptr, nullptr, SW_SHOW)) > 32;
}

bool VornSystem::CreateShortcut(const char* linkFile, const char* description, const char* target)
{
    IShellLinkA* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link))))
        return false;
    bool ok = false;
    link->SetPath(target);
    link->SetDescription(description);
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t wide[MAX_PATH];
        if (::MultiByteToWideChar(CP_ACP, 0, linkFile, -1, wide, MAX_PATH) > 0)
            ok = SUCCEEDED(file->Save(wide, TRUE));
        file->Release();
    }
    link->Release();
    return ok;
}

bool VornSystem::BrowseFolder(char* out, size_t outSize)
{
    if (!out || outSize == 0) return false;
    IMalloc* allocator = nullptr;
    if (FAILED(::SHGetMalloc(&allocator))) {
        ::MessageBoxA(Vorn::GetWindowHandle(), "SHGetMalloc Error", "Error", MB_OK);
        return false;
    }
    char display[MAX_PATH] = "";
    BROWSEINFOA info = {};
    info.hwndOwner = Vorn::GetWindowHandle();
    info.pszDisplayName = display;
    info.lpszTitle = "ディレクトリ指定";
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    bool ok = false;
    LPITEMIDLIST list = ::SHBrowseForFolderA(&info);
    if (list) {
        char path[MAX_PATH];
        if (::SHGetPathFromIDListA(list, path)) {
            const size_t n = std::strlen(path);
            if (n == 0 || path[n - 1] != '\\') AppendText(path, sizeof path, "\\");
            ok = CopyText(out, outSize, path);
        }
        allocator->Free(list);
    }
    allocator->Release();
    return ok;
}

static bool FileDialog(bool save, char* out, const char* title, const char* filter, const char* defaultExt)
{
    if (!out) return false;
    out[0] = '\0';
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Vorn::GetWindowHandle();
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = out;
    ofn.nMaxFile = 256;
    ofn.lpstrTitle = title;
    ofn.lpstrDefExt = defaultExt;
    ofn.Flags = save ? (OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT)
                     : (OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);
    const bool ok = (save ? ::GetSaveFileNameA(&ofn) : ::GetOpenFileNameA(&ofn)) != 0;
    Vorn::ResetCurrentDirectory();
    return ok;
}

bool VornSystem::OpenFileDialog(char* out, const char* title, const char* filter, const char* defaultExt)
{
    return FileDialog(false, out, title, filter, defaultExt);
}

bool VornSystem::SaveFileDialog(char* out, const char* title, const char* filter, const char* defaultExt)
{
    return FileDialog(true, out, title, filter, defaultExt);
}

bool VornSystem::ChooseColor(uint8_t* r, uint8_t* g, uint8_t* b)
{
    static COLORREF custom[16];
    CHOOSECOLORA choose = {};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = Vorn::GetWindowHandle();
    choose.lpCustColors = custom;
    choose.Flags = CC_FULLOPEN;
    if (!::ChooseColorA(&choose)) return false;
    if (r) *r = GetRValue(choose.rgbResult);
    if (g) *g = GetGValue(choose.rgbResult);
    if (b) *b = GetBValue(choose.rgbResult);
    return true;
}

bool VornSystem::SetWallpaper(const char* path, uint32_t style, bool noRefresh)
{
    HKEY key;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\desktop\\", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    auto set = [&](const char* name, const char* value) {
        ok = ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                              DWORD(std::strlen(value) + 1)) == ERROR_SUCCESS && ok;
    };
    set("Wallpaper", path ? path : "");
    if (style == 0) {
        set("TileWallpaper", "0");
        set("WallpaperStyle", "0");
    } else if (style == 1) {
        set("TileWallpaper", "1");
        set("WallpaperStyle", "0");
    } else if (style == 2) {
        set("TileWallpaper", "0");
        set("WallpaperStyle", "2");
    }
    ::RegCloseKey(key);
    if (ok && !noRefresh)
        ok = ::SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(path ? path : ""),
                                     SPIF_UPDATEINIFILE | SPIF_SENDCHANGE) != FALSE;
    return ok;
}

void VornSystem::ShowImeStatusWindow(bool show)
{
    HWND ime = ::ImmGetDefaultIMEWnd(Vorn::GetWindowHandle());
    if (ime) ::SendMessageA(ime, WM_IME_CONTROL, show ? 0x22 : 0x21, 0);
}

void VornSystem::GetMemoryStatus(uint64_t* total, uint64_t* available)
{
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    ::GlobalMemoryStatusEx(&status);
    if (total) *total = status.ullTotalPhys;
    if (available) *available = status.ullAvailPhys;
}
