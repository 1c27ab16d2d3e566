#pragma once
// The "install" event the client reports to the catalog server.

#include <cstdint>
#include <string>

// The exact bytes posted: {"appId":<id>,"event":"install","channel":"<escaped>"}.
std::string installReportBody(int32_t appId, const std::wstring& channel);

// Blocking: one POST to serverUrl + "/api/client/report". True when the HTTP
// client reported success. Never call it on the UI thread: a slow or absent
// server holds it for the client's time-outs.
bool reportInstallSync(const std::wstring& serverUrl, int32_t appId, const std::wstring& channel);

// Returns at once: reportInstallSync runs on a detached worker thread with its
// own copies of the arguments, and its result is dropped. Nothing is retried,
// queued or shown; when no thread can be started the report is skipped.
void reportInstall(const std::wstring& serverUrl, int32_t appId, const std::wstring& channel);
