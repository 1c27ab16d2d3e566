#include "core/atomic_file.h"

#include "core/handles.h"

#include <windows.h>

namespace {

bool writeAll(HANDLE file, const std::string& bytes)
{
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) return false;
    return written == bytes.size();
}

}  // namespace

bool replaceFileAtomically(const std::wstring& path, const std::string& bytes)
{
    // Writing in place would leave a truncated file after a crash or a full
    // disk; the move below replaces the old file only once the new one is whole.
    const std::wstring temporary = path + L".tmp";
    UniqueFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const bool written = writeAll(file.get(), bytes) && FlushFileBuffers(file.get());
    file.reset();
    if (written && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temporary.c_str());
    return false;
}
