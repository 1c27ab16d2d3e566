#pragma once
// What the single stream and the segmented transfer share: their texts, the
// address rules, the part file's length and the failure rule.

#include <windows.h>

#include <cstdint>
#include <string>

#include "download/download_manager.h"
#include "download/transfer_decision.h"
#include "net/http_client.h"

inline constexpr wchar_t kTextInterrupted[] = L"下载中断，请重试";
inline constexpr wchar_t kTextExhausted[] = L"网络不稳定，重试多次仍失败，请稍后再试";
inline constexpr wchar_t kTextCertificate[] = L"服务器证书无效，已停止下载";
inline constexpr wchar_t kTextCannotCreate[] = L"无法创建下载文件";
inline constexpr wchar_t kTextCannotOpen[] = L"无法打开下载文件";
inline constexpr wchar_t kTextWriteFailed[] = L"磁盘写入失败";

// The value of a Range header from position to last (< 0: to the end).
std::wstring rangeValue(int64_t position, int64_t last);

// The address an attempt goes to: the one the last good answer came from,
// else the task's link.
std::wstring attemptAddress(Task* task, const std::wstring& url);

// The stale-address rule: a final address that answered 403/404/410 is
// remembered, and the next attempt goes back through the original link once.
void markStale(Task* task, bool throughUrl, const std::string& finalUrl);
void rememberFinalUrl(Task* task, const std::string& finalUrl);

// The length a part file is given before any byte arrives: a size the server
// reported only when the catalog gives the same one, so that the server's word
// alone never reserves disk space; 0 lets the file grow as bytes arrive.
int64_t trustedLength(const Task& task, int64_t size);

// Copies what an answer's head says into answer; the flags the body check
// set stay as they are.
void readAnswerHead(AttemptAnswer& answer, const HttpResponse& head);

// Sparse, so that writing far into a pre-sized file does not first make the
// file system write zeros up to that point (segments write at far offsets).
// The result is ignored: a file system without sparse files fills the gap.
void markSparse(HANDLE file);

// Pre-sized once, so resumed writes never extend the file. Results are ignored:
// a file that could not be sized grows as it is written.
void setPartFileLength(HANDLE file, int64_t length);

// -1 when the file is not there.
int64_t partFileLength(const std::wstring& path);

// Stores the failure text of a transfer and returns false: the task's own
// text, else the client's, else the interruption text; the exhaustion text
// when 13 attempts went without progress.
bool failTransfer(Task* task, const std::wstring& clientError, bool exhausted);
