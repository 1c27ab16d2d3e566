// An installer file that the shell hands to a running program instead of
// starting a process: a DDE server in this test process takes the file, so
// ShellExecuteExW succeeds without a process handle.

#include <windows.h>

#include <ddeml.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "core/handles.h"
#include "download/download_manager.h"
#include "tests/install/install_harness.h"
#include "tests/install/uninstall_registry.h"
#include "tests/support/test_server.h"

namespace {

const wchar_t kService[] = L"PakvaneTestDde";
const wchar_t kExtension[] = L".pakvanedde";
const wchar_t kProgId[] = L"PakvaneTest.DdeFile";

std::atomic<int> g_executes{0};

HDDEDATA CALLBACK ddeCallback(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    if (type == XTYP_CONNECT) return reinterpret_cast<HDDEDATA>(TRUE);
    if (type == XTYP_EXECUTE) {
        ++g_executes;
        return reinterpret_cast<HDDEDATA>(DDE_FACK);
    }
    return nullptr;
}

// DDE talks through top-level windows, which Wine makes only with a display.
bool canCreateTopLevelWindows()
{
    HWND probe = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (!probe) return false;
    DestroyWindow(probe);
    return true;
}

// The DDE server runs on a thread of its own with a message loop, since the
// shell's DDE conversation sends messages to it.
class DdeServer {
public:
    DdeServer() : ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        thread_.reset(CreateThread(nullptr, 0, &DdeServer::main, this, 0, &threadId_));
        if (thread_ && ready_) WaitForSingleObject(ready_.get(), 10000);
    }
    ~DdeServer()
    {
        if (!thread_) return;
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        WaitForSingleObject(thread_.get(), 10000);
    }
    DdeServer(const DdeServer&) = delete;
    DdeServer& operator=(const DdeServer&) = delete;

    bool registered() const { return registered_.load(); }

private:
    static DWORD WINAPI main(void* param)
    {
        auto* self = static_cast<DdeServer*>(param);
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before WM_QUIT can come
        DWORD instance = 0;
        if (DdeInitializeW(&instance, &ddeCallback, APPCLASS_STANDARD | CBF_SKIP_ALLNOTIFICATIONS, 0) !=
            DMLERR_NO_ERROR) {
            SetEvent(self->ready_.get());
            return 0;
        }
        HSZ service = DdeCreateStringHandleW(instance, kService, CP_WINUNICODE);
        self->registered_ = service && DdeNameService(instance, service, nullptr, DNS_REGISTER) != nullptr;
        SetEvent(self->ready_.get());
        // Ends with the WM_QUIT the destructor posts.
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        if (service) {
            DdeNameService(instance, service, nullptr, DNS_UNREGISTER);
            DdeFreeStringHandle(instance, service);
        }
        DdeUninitialize(instance);
        return 0;
    }

    UniqueHandle ready_;
    UniqueHandle thread_;
    DWORD threadId_ = 0;
    std::atomic<bool> registered_{false};
};

bool setDefault(const std::wstring& path, const std::wstring& value)
{
    HKEY created = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &created, nullptr) !=
        ERROR_SUCCESS)
        return false;
    UniqueRegKey key(created);
    return RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// A file type whose "open" verb goes to the DDE server; its command, used only
// when no server answers, starts the test installer.
class DdeFileType {
public:
    explicit DdeFileType(const std::wstring& fallback)
    {
        const std::wstring open = std::wstring(kProgId) + L"\\shell\\open";
        ok_ = setDefault(kExtension, kProgId) && setDefault(open + L"\\command", L"\"" + fallback + L"\" \"%1\"") &&
              setDefault(open + L"\\ddeexec", L"[open(\"%1\")]") &&
              setDefault(open + L"\\ddeexec\\application", kService) &&
              setDefault(open + L"\\ddeexec\\topic", L"System");
    }
    ~DdeFileType()
    {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, kExtension);
        RegDeleteKeyW(HKEY_CLASSES_ROOT, kExtension);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
        RegDeleteKeyW(HKEY_CLASSES_ROOT, kProgId);
    }
    DdeFileType(const DdeFileType&) = delete;
    DdeFileType& operator=(const DdeFileType&) = delete;

    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

TEST(ShellHandler, FileTakenByARunningHandlerCountsAsInstalledAtOnce)
{
    if (!canCreateTopLevelWindows()) GTEST_SKIP() << "no display: Wine cannot run a DDE conversation";
    ScratchUninstallKeys keys;
    RefreshWindow window;
    ASSERT_TRUE(window.valid());
    // Were the fallback to run, it would exit 0 with nothing new: state 7.
    const std::wstring fallback = prepareTestInstaller(TestInstallerPlan());
    ASSERT_FALSE(fallback.empty());
    DdeServer server;
    ASSERT_TRUE(server.registered());
    DdeFileType fileType(fallback);
    ASSERT_TRUE(fileType.ok());

    const std::wstring path = makeScratchDir(L"dde") + L"\\setup" + kExtension;
    {
        UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file.valid());
    }
    auto task = makeInstallerTask(L"Probe " + uniqueToken(), path, TaskState::Installing);
    window.takeRefreshes();
    const int executesBefore = g_executes.load();

    ASSERT_TRUE(runInstallerWorker(task));
    EXPECT_EQ(g_executes.load(), executesBefore + 1) << "the shell did not hand the file to the DDE server";
    EXPECT_EQ(task->state.load(), TaskState::Installed);
    EXPECT_EQ(window.takeRefreshes(), 1);
}

}  // namespace
