#pragma once
// Access to the development catalog server that tests/run_wine_test.sh starts
// beside each test program, and to the scratch folders of the run.

#include <string>

// "http://127.0.0.1:<port>" of the server, without a trailing slash.
std::wstring testServerUrl();
// "https://127.0.0.1:<port>": the same server behind a certificate nobody trusts.
std::wstring testTlsServerUrl();
// Windows form (Z:\...) of the run's scratch folder; removed after the run.
std::wstring testWorkDir();
// A new empty folder below testWorkDir().
std::wstring makeScratchDir(const std::wstring& name);
// Windows form of the build folder and of the source tree.
std::wstring testBuildDir();
std::wstring testSourceDir();
// The whole file (others may write it meanwhile), or "<missing>" when it cannot
// be opened.
std::string fileBytes(const std::wstring& path);
// Windows form of a Unix path (Wine maps / to Z:).
std::wstring windowsPathFromUnix(const std::string& unixPath);

// The server's control interface (see tools/README.md). Each returns false and
// records a test failure when the server does not answer with a 2xx status.
bool serverPost(const std::string& path, const std::string& body, std::string* reply = nullptr);
bool serverGet(const std::string& path, std::string* reply);
// Forgets every fault rule, the request log and the in-flight counter.
void resetServer();
// Adds a fault rule, body as documented in tools/README.md.
void addServerRule(const std::string& ruleJson);
// Stores bytes as files/<name>; served at /files/<name>.
void putServerFile(const std::string& name, const std::string& bytes);
