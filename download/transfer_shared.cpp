#include "download/transfer_shared.h"

#include <mutex>

#include "core/text.h"

std::wstring rangeValue(int64_t position, int64_t last)
{
    std::wstring value = L"bytes=" + std::to_wstring(position) + L"-";
    if (last >= 0) value += std::to_wstring(last);
    return value;
}

std::wstring attemptAddress(Task* task, const std::wstring& url)
{
    std::lock_guard<std::mutex> guard(task->urlLock);
    return task->resolvedUrl.empty() ? url : utf8ToWide(task->resolvedUrl);
}

void markStale(Task* task, bool throughUrl, const std::string& finalUrl)
{
    std::lock_guard<std::mutex> guard(task->urlLock);
    if (throughUrl) {
        task->staleUrls.insert(finalUrl);
        task->resolvedUrl = finalUrl;
    } else if (task->staleUrls.count(finalUrl) == 0) {
        if (!task->resolvedUrl.empty()) task->staleUrls.insert(task->resolvedUrl);
        task->resolvedUrl.clear();
    }
}

void rememberFinalUrl(Task* task, const std::string& finalUrl)
{
    std::lock_guard<std::mutex> guard(task->urlLock);
    if (task->resolvedUrl != finalUrl) task->resolvedUrl = finalUrl;
}

int64_t trustedLength(const Task& task, int64_t size)
{
    return size > 0 && task.packageSize == size ? size : 0;
}

void readAnswerHead(AttemptAnswer& answer, const HttpResponse& head)
{
    answer.status = head.status;
    answer.contentLength = head.contentLength;
    answer.totalLength = head.totalLength;
    answer.rangeFirst = head.rangeFirst;
    answer.hasContentRange = head.hasContentRange;
    answer.hasFinalUrl = !head.finalUrl.empty();
    answer.etag = head.etag;
    answer.lastModified = head.lastModified;
}

void markSparse(HANDLE file)
{
    DWORD returned = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
}

void setPartFileLength(HANDLE file, int64_t length)
{
    LARGE_INTEGER end;
    end.QuadPart = length;
    if (SetFilePointerEx(file, end, nullptr, FILE_BEGIN)) SetEndOfFile(file);
}

int64_t partFileLength(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool failTransfer(Task* task, const std::wstring& clientError, bool exhausted)
{
    std::wstring text = task->error();
    if (exhausted)
        text = kTextExhausted;
    else if (text.empty())
        text = clientError.empty() ? std::wstring(kTextInterrupted) : clientError;
    task->setError(text);
    return false;
}
