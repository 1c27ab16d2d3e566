#include "download/archive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

const char* sniff(const Bytes& bytes)
{
    return archiveExtension(bytes.data(), bytes.size());
}

std::string nameOf(const char* extension)
{
    return extension ? extension : "(none)";
}

const Bytes kZip = {0x50, 0x4B, 0x03, 0x04};
const Bytes kRar = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07};
const Bytes k7z = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};

Bytes withTail(Bytes head, size_t extra)
{
    for (size_t i = 0; i < extra; ++i) head.push_back(static_cast<unsigned char>(0xA0 + i));
    return head;
}

}  // namespace

TEST(ArchiveExtension, RecognisesEachSignatureWithOrWithoutFollowingBytes)
{
    struct Case {
        Bytes signature;
        const char* extension;
    };
    const Case cases[] = {{kZip, "zip"}, {kRar, "rar"}, {k7z, "7z"}};
    for (const Case& c : cases) {
        for (size_t extra : {0u, 1u, 2u, 4u, 100u}) {
            EXPECT_EQ(nameOf(sniff(withTail(c.signature, extra))), c.extension) << "extra " << extra;
        }
    }
}

TEST(ArchiveExtension, ZipNeedsFourBytes)
{
    EXPECT_EQ(nameOf(sniff(kZip)), "zip");
    EXPECT_EQ(nameOf(sniff(Bytes(kZip.begin(), kZip.end() - 1))), "(none)");
}

TEST(ArchiveExtension, RarAnd7zNeedAllSixBytes)
{
    for (const Bytes* signature : {&kRar, &k7z}) {
        for (size_t count = 0; count < 6; ++count) {
            Bytes prefix(signature->begin(), signature->begin() + count);
            EXPECT_EQ(nameOf(sniff(prefix)), "(none)") << "count " << count;
        }
    }
}

TEST(ArchiveExtension, CountLimitsWhatIsRead)
{
    // The bytes beyond count belong to nobody: a full signature in memory with
    // a shorter count is not an archive.
    Bytes rar = withTail(kRar, 4);
    EXPECT_EQ(archiveExtension(rar.data(), 5), nullptr);
    EXPECT_STREQ(archiveExtension(rar.data(), 6), "rar");
    Bytes zip = withTail(kZip, 4);
    EXPECT_EQ(archiveExtension(zip.data(), 3), nullptr);
    EXPECT_EQ(archiveExtension(nullptr, 0), nullptr);
}

TEST(ArchiveExtension, EveryDifferingByteBreaksTheSignature)
{
    for (const Bytes* signature : {&kZip, &kRar, &k7z}) {
        for (size_t at = 0; at < signature->size(); ++at) {
            Bytes changed = withTail(*signature, 2);
            changed[at] ^= 0x01;
            EXPECT_EQ(nameOf(sniff(changed)), "(none)") << "byte " << at;
        }
    }
}

TEST(ArchiveExtension, InstallersAndOtherFilesAreNotArchives)
{
    const Bytes cases[] = {
        {'M', 'Z', 0x90, 0x00, 0x03, 0x00, 0x00, 0x00},                 // PE executable
        {0x50, 0x4B, 0x05, 0x06, 0x00, 0x00, 0x00, 0x00},               // empty zip's end record
        {0x1F, 0x8B, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00},               // gzip
        {'<', 'h', 't', 'm', 'l', '>', 0x0A, 0x00},                     // an error page
        {0x00, 0x50, 0x4B, 0x03, 0x04, 0x00},                           // signature not at the start
    };
    for (const Bytes& bytes : cases) EXPECT_EQ(nameOf(sniff(bytes)), "(none)");
}

TEST(InstallerPackage, AllEightCompoundFileBytesMakeAnMsiAndNoArchive)
{
    const Bytes msi = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    EXPECT_STREQ(installerPackageExtension(withTail(msi, 8).data(), 16), "msi");
    EXPECT_EQ(sniff(msi), nullptr);
    EXPECT_EQ(installerPackageExtension(msi.data(), 7), nullptr);
    for (size_t at = 0; at < msi.size(); ++at) {
        Bytes changed = msi;
        changed[at] ^= 0x01;
        EXPECT_EQ(installerPackageExtension(changed.data(), changed.size()), nullptr) << "byte " << at;
    }
}
