// HTTPS against the development server's TLS listener, whose certificate is
// signed by a test authority that nothing trusts unless a test says so.

#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/handles.h"

#include "tests/net/HttpTestHelpers.h"

namespace {

using HttpTls = HttpServerTest;

std::string u8(const std::wstring& text) { return wideToUtf8(text); }

std::wstring tlsUrl(const std::string& path) { return testTlsServerUrl() + utf8ToWide(path); }

std::string readFile(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The same listener under the name "localhost": Wine matches a certificate's
// DNS names but not its IP address entries against the host.
std::wstring tlsLocalhostUrl(const std::string& path)
{
    std::wstring url = tlsUrl(path);
    const std::wstring ip = L"127.0.0.1";
    std::size_t at = url.find(ip);
    if (at != std::wstring::npos) url.replace(at, ip.size(), L"localhost");
    return url;
}

// Trusts the test authority in the Wine prefix's root store (current user)
// for the lifetime of the object. The host's own trust store is never touched.
class TrustedTestAuthority {
public:
    TrustedTestAuthority()
    {
        std::string der = authorityBytes();
        if (der.empty()) return;
        store_ = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
        if (!store_) return;
        CertAddEncodedCertificateToStore(store_, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                         static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, &cert_);
        // The registry only learns of the change when the store commits it.
        CertControlStore(store_, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    }
    ~TrustedTestAuthority()
    {
        if (cert_) CertDeleteCertificateFromStore(cert_);  // also frees the context
        if (store_) {
            CertControlStore(store_, 0, CERT_STORE_CTRL_COMMIT, nullptr);
            CertCloseStore(store_, 0);
        }
    }
    // Removes the authority if an aborted run left it behind.
    static void forgetLeftover()
    {
        std::string der = authorityBytes();
        HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
        PCCERT_CONTEXT wanted = CertCreateCertificateContext(
            X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()));
        if (store && wanted) {
            PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted, nullptr);
            if (found) {
                CertDeleteCertificateFromStore(found);
                CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
            }
        }
        if (wanted) CertFreeCertificateContext(wanted);
        if (store) CertCloseStore(store, 0);
    }

    TrustedTestAuthority(const TrustedTestAuthority&) = delete;
    TrustedTestAuthority& operator=(const TrustedTestAuthority&) = delete;
    bool installed() const { return cert_ != nullptr; }

private:
    static std::string authorityBytes() { return readFile(testBuildDir() + L"\\tls\\ca.der"); }

    HCERTSTORE store_ = nullptr;
    PCCERT_CONTEXT cert_ = nullptr;
};

TEST_F(HttpTls, UntrustedCertificateIsTlsFailure)
{
    TrustedTestAuthority::forgetLeftover();
    for (const std::wstring& url : {tlsLocalhostUrl("/_echo"), tlsUrl("/_echo")}) {
        HttpResponse response;
        std::wstring error = L"earlier text";
        HttpResult result = HttpClient::request(url, {}, nullptr, L"GET", DataSink(), response, error, nullptr);
        EXPECT_EQ(result, HttpResult::TlsFailure) << u8(url);
        // Wine's WinHTTP reports every failed certificate check, an unknown
        // authority included, as a secure channel error once the handshake
        // is over (the handshake itself works: see the trusted tests).
        EXPECT_EQ(u8(error), "请求发送失败 (winhttp 12157)");
        EXPECT_EQ(response.status, 0u);
        EXPECT_TRUE(response.finalUrl.empty());
    }
    EXPECT_TRUE(loggedPaths().empty());
}

// Trust is only read once per process: the chain engine keeps the root store
// it opened first. So the trusted requests run in a child process started
// while the authority is in the store; in the normal run they are skipped.
constexpr wchar_t kTrustChildVariable[] = L"PAKVANE_TLS_TRUST_CHILD";

bool inTrustChild() { return GetEnvironmentVariableW(kTrustChildVariable, nullptr, 0) > 0; }

TEST_F(HttpTls, TrustedAuthorityMakesRequestsSucceed)
{
    TrustedTestAuthority authority;
    ASSERT_TRUE(authority.installed()) << "could not add the test authority, error " << GetLastError();

    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --gtest_filter=HttpTlsTrusted.*";
    SetEnvironmentVariableW(kTrustChildVariable, L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info);
    SetEnvironmentVariableW(kTrustChildVariable, nullptr);
    ASSERT_TRUE(started) << "error " << GetLastError();
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);

    ASSERT_EQ(WaitForSingleObject(process.get(), 120000), WAIT_OBJECT_0) << "the child did not finish";
    DWORD exitCode = 1;
    GetExitCodeProcess(process.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u) << "a request over trusted TLS failed (see HttpTlsTrusted above)";
}

class HttpTlsTrusted : public HttpServerTest {
protected:
    void SetUp() override
    {
        if (!inTrustChild()) GTEST_SKIP() << "runs in the child of HttpTls.TrustedAuthorityMakesRequestsSucceed";
        HttpServerTest::SetUp();
    }
};

TEST_F(HttpTlsTrusted, RequestSucceeds)
{
    HttpCall call = httpCall(tlsLocalhostUrl("/_echo?over=tls"));
    EXPECT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(call.response.status, 200u);
    EXPECT_EQ(u8(call.response.finalUrl), u8(tlsLocalhostUrl("/_echo?over=tls")));
    EXPECT_NE(call.response.body.find("\"query\":\"over=tls\""), std::string::npos) << call.response.body;
}

TEST_F(HttpTlsTrusted, RedirectToTheTlsPortIsFollowed)
{
    // From the plain listener to the TLS one: another scheme and another port.
    const std::wstring target = tlsLocalhostUrl("/_echo?moved=1");
    addServerRule(R"({"path":"/t/moved","steps":[{"location":")" + u8(target) + R"("}]})");
    HttpCall call = httpGet("/t/moved");
    EXPECT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(u8(call.response.finalUrl), u8(target));
    EXPECT_EQ(loggedPaths(), (std::vector<std::string>{"/t/moved", "/_echo"}));
}

TEST_F(HttpTlsTrusted, RootRelativeRedirectKeepsHttpsAndItsPort)
{
    HttpCall call = httpCall(tlsLocalhostUrl("/_chain/2"));
    EXPECT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(call.response.body, "end");
    EXPECT_EQ(u8(call.response.finalUrl), u8(tlsLocalhostUrl("/_chain/0")));
}

TEST_F(HttpTlsTrusted, RedirectFromHttpsToHttpIsFollowed)
{
    // WinHTTP alone would refuse this downgrade; the client's own loop takes it.
    addServerRule(R"({"path":"/t/down","steps":[{"location":")" + u8(serverUrl("/_chain/0")) + R"("}]})");
    HttpCall call = httpCall(tlsLocalhostUrl("/t/down"));
    EXPECT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(call.response.body, "end");
    EXPECT_EQ(u8(call.response.finalUrl), u8(serverUrl("/_chain/0")));
}

TEST_F(HttpTlsTrusted, AddressOutsideTheCertificateIsStillRefused)
{
    // The authority is trusted, but the certificate does not name 127.0.0.1
    // in a form Wine accepts: the name check alone fails the request.
    HttpCall call = httpCall(tlsUrl("/_echo"));
    EXPECT_EQ(call.result, HttpResult::TlsFailure);
    EXPECT_EQ(u8(call.error), "请求发送失败 (winhttp 12157)");
}

}  // namespace
