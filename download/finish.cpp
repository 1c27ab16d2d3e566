// The second half of a download worker: digest, archive check and the move of
// the complete part file to its final name.

#include "core/app_messages.h"
#include "core/text.h"
#include "download/archive.h"
#include "download/download_manager.h"
#include "download/verify.h"

namespace {

// The extension the file's first bytes call for instead of ".exe" (an archive
// kind or "msi"), or null; isArchive says which.
const char* sniffKind(const std::wstring& path, bool& isArchive)
{
    isArchive = false;
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    unsigned char head[8];
    DWORD count = 0;
    if (!ReadFile(file.get(), head, sizeof head, &count, nullptr)) return nullptr;
    if (const char* extension = archiveExtension(head, count)) {
        isArchive = true;
        return extension;
    }
    return installerPackageExtension(head, count);
}

// -1 when the file cannot be looked at.
int64_t fileLength(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

void DownloadManager::finish(Task* task)
{
    task->speed = 0;
    // A cancel that came after the transfer's last look at the flag wins.
    int32_t state = TaskState::Downloading;
    if (!task->state.compare_exchange_strong(state, TaskState::Verifying)) return;
    task->retries.exchange(0);
    taskChanged();

    // A file of another length than the server's own size is not the file it
    // meant, whatever the transfer believed: never put it in place.
    const int64_t size = task->size.load();
    if (size > 0 && fileLength(task->partPath) != size) {
        failTask(task, L"下载的文件不完整，请重试");
        return;
    }

    if (!task->md5.empty()) {
        switch (checkFileDigest(task->partPath, task->md5)) {
        case DigestCheck::Matches: break;
        case DigestCheck::Differs: task->md5Ok = false; break;
        case DigestCheck::Unreadable:
            // Not verified is not verified: such a file is never launched.
            task->setError(L"无法读取下载的文件，MD5 校验未完成");
            task->md5Ok = false;
            break;
        }
    }

    bool isArchive = false;
    if (const char* extension = sniffKind(task->partPath, isArchive)) {
        task->isArchive = isArchive;
        std::wstring path = task->finalPath();
        if (path.size() >= 4) path.resize(path.size() - 4);  // the ".exe" given at creation
        task->setFinalPath(path + L"." + utf8ToWide(extension));
    }

    const std::wstring finalPath = task->finalPath();
    if (MoveFileExW(task->partPath.c_str(), finalPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        task->speed = 0;
        task->state = TaskState::Downloaded;
        taskChanged();
        post(WM_APP_TASK_DONE, static_cast<WPARAM>(task->id));
    } else {
        failTask(task, L"保存文件失败（文件被占用？）");
    }
}
