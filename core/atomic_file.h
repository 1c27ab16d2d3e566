#pragma once
// Replacing a small file so that it is always either the old or the new one,
// whole: after a crash, a power cut or a full disk.

#include <string>

// Writes bytes to path + ".tmp", flushes it to the disk and moves it over
// path. True when the new file is in place; on false the previous file (if
// any) is untouched and the temporary file is gone. Callers that may write
// the same path from several threads must take turns themselves.
bool replaceFileAtomically(const std::wstring& path, const std::string& bytes);
