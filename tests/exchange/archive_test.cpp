// The exchange archives: every fixture of an independent archiver extracts to its known bytes or
// is refused as it should be; damaged and hostile archives fail their entries without leaving
// files or writing outside the target folder; the packed export is accepted byte for byte by
// Info-ZIP unzip and by Python's zipfile.
#include "exchange/archive.h"
#include "exchange/zip_methods.h"
#include "storage/codepage.h"
#include "storage/value_formats.h"
#include "support/test_support.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vendrix {
namespace {

namespace fs = std::filesystem;

// ---- helpers -----------------------------------------------------------------------------

std::string Sha256(const std::string& bytes)
{
    return QCryptographicHash::hash(
        QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::uint32_t Crc(const std::string& bytes)
{
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::uint16_t Get16(const std::string& s, std::size_t at)
{
    return static_cast<std::uint16_t>(
        static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8));
}

std::uint32_t Get32(const std::string& s, std::size_t at)
{
    return Get16(s, at) | (std::uint32_t(Get16(s, at + 2)) << 16);
}

void Put16(std::string& s, std::uint32_t v)
{
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& s, std::uint32_t v)
{
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

/// Local time as time_t, as the archives' DOS stamps mean it.
std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

std::time_t ModificationTime(const fs::path& file)
{
    const auto t = fs::last_write_time(file);
    return std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(t));
}

void SetModificationTime(const fs::path& file, std::time_t t)
{
    fs::last_write_time(
        file, std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(t)));
}

/// Every file below `folder`, as paths relative to it ("sub/" for a folder).
std::set<std::string> Listing(const fs::path& folder)
{
    std::set<std::string> out;
    if (!fs::exists(folder))
        return out;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        std::string rel = fs::relative(e.path(), folder).string();
        if (e.is_directory())
            rel += "/";
        out.insert(rel);
    }
    return out;
}

/// Runs a shell command; returns its exit status and gives its standard output.
int Run(const std::string& command, std::string* output = nullptr)
{
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe))
        text.append(buf, n);
    const int status = pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// One entry of an archive made by the tests: the raw name bytes and the raw compressed data.
struct TRawEntry {
    std::string name;
    std::string data;
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint32_t crc = 0;
    std::uint32_t size = 0;
    std::uint32_t attributes = 0x20;
    std::uint16_t time = 0x53C0; // 10:30:00
    std::uint16_t date = 0x582F; // 2024-01-15
};

TRawEntry Stored(const std::string& name, const std::string& content)
{
    TRawEntry e;
    e.name = name;
    e.data = content;
    e.crc = Crc(content);
    e.size = static_cast<std::uint32_t>(content.size());
    return e;
}

/// A deflated entry of `content`, as the office's archivers write most entries.
TRawEntry Deflated(const std::string& name, const std::string& content)
{
    TRawEntry e = Stored(name, content);
    e.method = 8;
    e.data.assign(compressBound(static_cast<uLong>(content.size())) + 64, '\0');
    z_stream z {};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    z.avail_in = static_cast<uInt>(content.size());
    z.next_out = reinterpret_cast<Bytef*>(e.data.data());
    z.avail_out = static_cast<uInt>(e.data.size());
    deflate(&z, Z_FINISH);
    e.data.resize(z.total_out);
    deflateEnd(&z);
    return e;
}

/// A well-formed archive of the given entries (no data descriptors).
std::string BuildArchive(const std::vector<TRawEntry>& entries)
{
    std::string out;
    std::string dir;
    for (const TRawEntry& e : entries) {
        std::string common;
        Put16(common, 20);
        Put16(common, e.flags);
        Put16(common, e.method);
        Put16(common, e.time);
        Put16(common, e.date);
        Put32(common, e.crc);
        Put32(common, static_cast<std::uint32_t>(e.data.size()));
        Put32(common, e.size);
        Put16(common, static_cast<std::uint32_t>(e.name.size()));
        Put16(common, 0);
        const auto offset = static_cast<std::uint32_t>(out.size());
        Put32(out, 0x04034B50);
        out += common + e.name + e.data;
        Put32(dir, 0x02014B50);
        Put16(dir, 20);
        dir += common;
        Put16(dir, 0);
        Put16(dir, 0);
        Put16(dir, 0);
        Put32(dir, e.attributes);
        Put32(dir, offset);
        dir += e.name;
    }
    const auto dirOffset = static_cast<std::uint32_t>(out.size());
    out += dir;
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<std::uint32_t>(entries.size()));
    Put16(out, static_cast<std::uint32_t>(entries.size()));
    Put32(out, static_cast<std::uint32_t>(dir.size()));
    Put32(out, dirOffset);
    Put16(out, 0);
    return out;
}

/// The first entry of a fixture, read from its local header (the fixtures used this way have
/// their sizes there).
TRawEntry FirstEntry(const std::string& fixture)
{
    const std::string zip = test::ReadFile(test::Fixture("zip/" + fixture));
    TRawEntry e;
    e.flags = Get16(zip, 6);
    e.method = Get16(zip, 8);
    e.crc = Get32(zip, 14);
    e.size = Get32(zip, 22);
    const std::size_t nameLength = Get16(zip, 26);
    const std::size_t start = 30 + nameLength + Get16(zip, 28);
    e.name = zip.substr(30, nameLength);
    e.data = zip.substr(start, Get32(zip, 18));
    return e;
}

/// A program folder with an extraction target and a place for archives beside it.
class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetProgramFolder(folder.Path());
        fs::create_directories(Target());
        fs::create_directories(Work());
    }

    fs::path Target() const { return folder.Path() / "exchange"; }
    fs::path Work() const { return folder.Path() / "work"; }
    fs::path WriteArchive(const std::string& bytes, const std::string& name = "test.zip")
    {
        fs::path path = Work() / name;
        test::WriteFile(path, bytes);
        return path;
    }

    test::TProgramFolder folder;
};

// ---- the fixtures of an independent archiver ---------------------------------------------

const char* const kTopda = "0e7e981ee0ed5a039c60e5b909b5ecccf39165e9a5009e255d2ba91633f4836c";
const char* const kMessage = "8d2d6c59a48fa8f79779e5be6534a9449489a513ec5c1ee6155437a2f1241de7";
const char* const kEmpty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const char* const kOneByte = "6b86b273ff34fce19d6b804eff5a3f5747ada4eaa22f1d49c01e52ddb7875b4b";

struct TFixtureCase {
    const char* archive;
    const char* wanted;
    int result; // what Extract returns
    std::map<std::string, std::string> files; // extracted file -> sha256 ("" for a folder)
    std::vector<int> entryResults; // outcome of each matching entry
};

class FixtureTest : public ArchiveTest, public ::testing::WithParamInterface<TFixtureCase> { };

TEST_P(FixtureTest, ExtractsTheManifestBytesOrRefuses)
{
    const TFixtureCase& c = GetParam();
    std::vector<TZipEntryResult> results;
    const int got
        = Extract(test::Fixture(std::string("zip/") + c.archive), Target(), c.wanted, &results);
    EXPECT_EQ(got, c.result);
    std::vector<int> outcomes;
    for (const auto& r : results)
        outcomes.push_back(r.result);
    EXPECT_EQ(outcomes, c.entryResults);

    std::set<std::string> expected;
    for (const auto& [name, sha] : c.files) {
        expected.insert(name);
        if (!sha.empty()) {
            EXPECT_EQ(Sha256(test::ReadFile(Target() / name)), sha) << name;
            // The fixtures were stamped 2024-01-15 10:30:00.
            EXPECT_EQ(ModificationTime(Target() / name), LocalTime(2024, 1, 15, 10, 30, 0)) << name;
        }
    }
    EXPECT_EQ(Listing(Target()), expected) << "nothing else, no temporary files";
    EXPECT_TRUE(folder.ui.Texts().empty()) << "extraction failures are not reported to the user";
}

INSTANTIATE_TEST_SUITE_P(Manifest, FixtureTest,
    ::testing::Values(
        TFixtureCase {"method0-store.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kTopda}}, {0}},
        TFixtureCase {"method0-store-msg.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kMessage}}, {0}},
        TFixtureCase {"method0-tiny.zip", "*", 2,
            {{"empty.txt", kEmpty}, {"one-byte.txt", kOneByte}}, {0, 0}},
        TFixtureCase {"method1-shrink.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kTopda}}, {0}},
        TFixtureCase {"method1-shrink-msg.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kMessage}}, {0}},
        TFixtureCase {"method2-reduce1.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kTopda}}, {0}},
        TFixtureCase {"method2-reduce1-msg.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kMessage}}, {0}},
        TFixtureCase {"method3-reduce2.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kTopda}}, {0}},
        TFixtureCase {"method3-reduce2-msg.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kMessage}}, {0}},
        TFixtureCase {"method4-reduce3.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kTopda}}, {0}},
        TFixtureCase {"method4-reduce3-msg.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kMessage}}, {0}},
        TFixtureCase {"method5-reduce4.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kTopda}}, {0}},
        TFixtureCase {"method5-reduce4-msg.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kMessage}}, {0}},
        TFixtureCase {"method6-implode.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kTopda}}, {0}},
        TFixtureCase {"method6-implode-msg.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kMessage}}, {0}},
        TFixtureCase {"method6-implode-4k-lit.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kTopda}}, {0}},
        TFixtureCase {"method6-implode-8k-nolit.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kTopda}}, {0}},
        TFixtureCase {"method6-implode-4k-nolit.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kTopda}}, {0}},
        TFixtureCase {"method8-deflate.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kTopda}}, {0}},
        TFixtureCase {"method8-deflate-msg.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kMessage}}, {0}},
        TFixtureCase {"method8-tiny.zip", "*", 2,
            {{"empty.txt", kEmpty}, {"one-byte.txt", kOneByte}}, {0, 0}},
        TFixtureCase {"dd-streamed.zip", "ToPDA.sqd", 1, {{"ToPDA.sqd", kTopda}}, {0}},
        TFixtureCase {
            "two-entries.zip", "*.*", 2, {{"ToPDA.sqd", kTopda}, {"ToPDA.sql", kMessage}}, {0, 0}},
        TFixtureCase {"two-entries.zip", "ToPDA.sql", 1, {{"ToPDA.sql", kMessage}}, {0}},
        TFixtureCase {"dir-entry.zip", "*", 2, {{"sub/", ""}, {"sub/ToPDA.sqd", kMessage}}, {0, 0}},
        TFixtureCase {"name-cp866.zip", "Заказы.sqd", 1, {{"Заказы.sqd", kMessage}}, {0}},
        TFixtureCase {"case-lower.zip", "topda.sqd", 1, {{"topda.sqd", kMessage}}, {0}},
        TFixtureCase {"case-lower.zip", "ToPDA.sqd", 0, {}, {}},
        TFixtureCase {"encrypted.zip", "ToPDA.sqd", 0, {}, {kZipEncrypted}},
        TFixtureCase {"traversal-dotdot.zip", "*", 0, {}, {kZipUnsafeName}},
        TFixtureCase {"traversal-absolute.zip", "*", 0, {}, {kZipUnsafeName}},
        TFixtureCase {"bad-crc.zip", "ToPDA.sqd", 0, {}, {kZipCrcMismatch}},
        TFixtureCase {"method7.zip", "ToPDA.sqd", 0, {}, {kZipUnsupportedMethod}},
        TFixtureCase {"truncated.zip", "*", kZipNoEndRecord, {}, {}},
        TFixtureCase {"x.zip", "*", kZipNoEndRecord, {}, {}},
        TFixtureCase {"not-a-zip.zip", "*", kZipNoEndRecord, {}, {}}),
    [](const ::testing::TestParamInfo<TFixtureCase>& info) {
        std::string name = std::to_string(info.index) + "_" + info.param.archive;
        for (char& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        }
        return name;
    });

TEST(FixtureInputs, MatchTheManifestChecksums)
{
    EXPECT_EQ(Sha256(test::ReadFile(test::Fixture("zip/inputs/topda-60k.sqd"))), kTopda);
    EXPECT_EQ(Sha256(test::ReadFile(test::Fixture("zip/inputs/message-cp1251.txt"))), kMessage);
}

// ---- extraction rules --------------------------------------------------------------------

TEST_F(ArchiveTest, ArchivesThatCannotBeUsedGiveNegativeCodes)
{
    const std::string good = BuildArchive({Stored("ToPDA.sqd", "data")});
    std::string shortDirectory = good; // the end record claims two entries, the directory has one
    shortDirectory[good.size() - 22 + 8] = 2;
    shortDirectory[good.size() - 22 + 10] = 2;
    std::string farDirectory = good; // the directory offset points past the end record
    farDirectory[good.size() - 22 + 16] = static_cast<char>(0xF0);

    EXPECT_EQ(Extract(WriteArchive(good), "", "*"), kZipNoFolder);
    EXPECT_EQ(Extract(Work() / "missing.zip", Target(), "*"), kZipCannotOpen);
    EXPECT_EQ(Extract(Work(), Target(), "*"), kZipCannotOpen) << "a folder is no archive";
    EXPECT_EQ(Extract(WriteArchive(shortDirectory), Target(), "*"), kZipBadDirectory);
    EXPECT_EQ(Extract(WriteArchive(farDirectory), Target(), "*"), kZipBadDirectory);
    EXPECT_EQ(
        Extract(WriteArchive(good.substr(0, good.size() - 1)), Target(), "*"), kZipNoEndRecord);
    EXPECT_EQ(Extract(WriteArchive(BuildArchive({})), Target(), "*"), 0)
        << "an empty archive is valid";
    EXPECT_TRUE(Listing(Target()).empty());
}

TEST_F(ArchiveTest, WantedNameMatchesExactCaseWithWildcards)
{
    // The Cyrillic name is stored as cp866 bytes, as the office's archivers write it.
    const fs::path zip = WriteArchive(
        BuildArchive({Stored("ToPDA.sqd", "1"), Stored("ToPDA.sql", "2"), Stored("topda.sqd", "3"),
            Stored("sub/ToPDA.sqd", "4"), Stored(Utf8ToCp866("Заказ.txt"), "5")}));
    const std::vector<std::pair<std::string, std::set<std::string>>> cases = {
        {"ToPDA.sqd", {"ToPDA.sqd"}},
        {"ToPDA.SQD", {}},
        {"ToPDA.sq?", {"ToPDA.sqd", "ToPDA.sql"}},
        {"*.sqd", {"ToPDA.sqd", "topda.sqd", "sub/ToPDA.sqd"}},
        {"T*A.sqd", {"ToPDA.sqd"}},
        {"Заказ.*", {"Заказ.txt"}},
        {"?????.txt", {"Заказ.txt"}}, // "?" is one character, not one byte
        {"??????????.txt", {}},
        {"*", {"ToPDA.sqd", "ToPDA.sql", "topda.sqd", "sub/ToPDA.sqd", "Заказ.txt"}},
        {"*.*", {"ToPDA.sqd", "ToPDA.sql", "topda.sqd", "sub/ToPDA.sqd", "Заказ.txt"}},
    };
    for (const auto& [wanted, names] : cases) {
        std::vector<TZipEntryResult> results;
        const int count = Extract(zip, Target(), wanted, &results);
        std::set<std::string> got;
        for (const auto& r : results)
            got.insert(r.name);
        EXPECT_EQ(got, names) << wanted;
        EXPECT_EQ(count, static_cast<int>(names.size())) << wanted;
        for (const std::string& name : names)
            EXPECT_TRUE(fs::exists(Target() / name)) << name;
        fs::remove_all(Target());
    }
}

TEST_F(ArchiveTest, ReplacesAnExistingFileAndAFailedEntryLeavesNoFileOfItsName)
{
    test::WriteFile(Target() / "ToPDA.sqd", "an older script");
    EXPECT_EQ(Extract(test::Fixture("zip/method0-store-msg.zip"), Target(), "ToPDA.sqd"), 1);
    EXPECT_EQ(Sha256(test::ReadFile(Target() / "ToPDA.sqd")), kMessage);

    // As on the device, the failed entry has replaced the file of its name: no stale script
    // remains to be run by mistake.
    for (const char* failing : {"encrypted.zip", "bad-crc.zip", "method7.zip"}) {
        test::WriteFile(Target() / "ToPDA.sqd", "an older script");
        EXPECT_EQ(Extract(test::Fixture(std::string("zip/") + failing), Target(), "ToPDA.sqd"), 0);
        EXPECT_TRUE(Listing(Target()).empty()) << failing;
    }
}

TEST_F(ArchiveTest, NamesThatClimbOutOfTheFolderAreRefusedAndTheOthersExtract)
{
    const fs::path outside = folder.Path() / "outside";
    fs::create_directories(outside);
    const std::vector<std::string> unsafe = {
        "../outside/evil.txt",
        "..\\outside\\evil.txt",
        "sub/../../outside/evil.txt",
        "sub\\..\\..\\outside\\evil.txt",
        (outside / "evil.txt").string(),
        "\\outside\\evil.txt",
        "C:\\outside\\evil.txt",
        "c:evil.txt",
        "..",
        "sub/..",
        std::string("evil\0.txt", 9),
    };
    std::vector<TRawEntry> entries;
    for (const std::string& name : unsafe)
        entries.push_back(Stored(name, "evil"));
    entries.push_back(Stored("ToPDA.sqd", "good"));
    entries.push_back(Stored("sub\\deeper\\ToPDA.sql", "good too"));

    std::vector<TZipEntryResult> results;
    EXPECT_EQ(Extract(WriteArchive(BuildArchive(entries)), Target(), "*", &results), 2);
    ASSERT_EQ(results.size(), entries.size());
    for (std::size_t i = 0; i < unsafe.size(); ++i)
        EXPECT_EQ(results[i].result, kZipUnsafeName) << unsafe[i];
    EXPECT_EQ(Listing(Target()),
        (std::set<std::string> {"ToPDA.sqd", "sub/", "sub/deeper/", "sub/deeper/ToPDA.sql"}));
    EXPECT_TRUE(Listing(outside).empty());
    EXPECT_EQ(Listing(folder.Path()),
        (std::set<std::string> {"exchange/", "exchange/ToPDA.sqd", "exchange/sub/",
            "exchange/sub/deeper/", "exchange/sub/deeper/ToPDA.sql", "outside/", "work/",
            "work/test.zip"}));
}

TEST_F(ArchiveTest, SymbolicLinkInTheTargetFolderIsNotFollowed)
{
    const fs::path outside = folder.Path() / "outside";
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, Target() / "link");
    std::vector<TZipEntryResult> results;
    EXPECT_EQ(Extract(WriteArchive(BuildArchive({Stored("link/evil.txt", "evil")})), Target(), "*",
                  &results),
        0);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].result, kZipUnsafeName);
    EXPECT_TRUE(Listing(outside).empty());
}

TEST_F(ArchiveTest, ExtractedFileTakesTheEntryStampAndReadOnlyAttribute)
{
    TRawEntry plain = Stored("plain.txt", "plain");
    plain.time = (12 << 11) | (34 << 5) | (56 / 2);
    plain.date = ((2023 - 1980) << 9) | (7 << 5) | 1;
    TRawEntry readOnly = Stored("locked.txt", "locked");
    readOnly.attributes = 0x21;
    TRawEntry badStamp = Stored("nodate.txt", "no date");
    badStamp.date = 0; // month 0: no such date
    const auto before = std::time(nullptr);
    EXPECT_EQ(Extract(WriteArchive(BuildArchive({plain, readOnly, badStamp})), Target(), "*"), 3);

    EXPECT_EQ(ModificationTime(Target() / "plain.txt"), LocalTime(2023, 7, 1, 12, 34, 56));
    const auto perms = fs::status(Target() / "locked.txt").permissions();
    EXPECT_EQ(perms & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write),
        fs::perms::none);
    EXPECT_NE(
        fs::status(Target() / "plain.txt").permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_GE(ModificationTime(Target() / "nodate.txt"), before);
}

TEST_F(ArchiveTest, NameFlaggedAsUtf8IsReadAsUtf8)
{
    TRawEntry utf8 = Stored("Счёт.txt", "utf-8 name");
    utf8.flags = 0x0800;
    EXPECT_EQ(Extract(WriteArchive(BuildArchive({utf8})), Target(), "Счёт.txt"), 1);
    EXPECT_EQ(test::ReadFile(Target() / "Счёт.txt"), "utf-8 name");

    // Under the flag, bytes that only look like UTF-8 (an encoded surrogate) are cp866 after all.
    TRawEntry surrogate = Stored("\xED\xA0\x80.txt", "not utf-8");
    surrogate.flags = 0x0800;
    EXPECT_EQ(Extract(WriteArchive(BuildArchive({surrogate})), Target(), "*"), 1);
    EXPECT_EQ(test::ReadFile(Target() / "эаА.txt"), "not utf-8");
}

TEST_F(ArchiveTest, DamagedEntriesFailAndTheNextEntryStillExtracts)
{
    struct TCase {
        const char* what;
        std::function<void(std::string& zip)> damage; // on an archive of "bad.txt", "good.txt"
        int result;
    };
    // The first entry's local header starts at 0; its data (11 bytes) at 30 + 7.
    const std::string content = "bad content";
    const std::vector<TCase> cases = {
        {"local header signature", [](std::string& z) { z[0] = 'X'; }, kZipBadLocalHeader},
        {"local sizes differ from the directory", [](std::string& z) { z[22] = 5; }, kZipBadData},
        {"stored sizes differ",
            [](std::string& z) {
                z[18] = 5;
                z[z.find("PK\1\2") + 20] = 5;
            },
            kZipBadData},
        {"encrypted in the directory only", [](std::string& z) { z[z.find("PK\1\2") + 8] = 1; },
            kZipEncrypted},
        {"method 9", [](std::string& z) { z[8] = 9; }, kZipUnsupportedMethod},
        {"method 12", [](std::string& z) { z[8] = 12; }, kZipUnsupportedMethod},
        {"data ends beyond the archive",
            [](std::string& z) {
                z[21] = 0x10;
                z[z.find("PK\1\2") + 23] = 0x10;
            },
            kZipBadData},
        {"flag bit 3 without a data descriptor", [](std::string& z) { z[6] = 8; }, kZipBadData},
    };
    for (const TCase& c : cases) {
        std::string zip = BuildArchive({Stored("bad.txt", content), Stored("good.txt", "good")});
        c.damage(zip);
        std::vector<TZipEntryResult> results;
        EXPECT_EQ(Extract(WriteArchive(zip), Target(), "*", &results), 1) << c.what;
        ASSERT_EQ(results.size(), 2u) << c.what;
        EXPECT_EQ(results[0].result, c.result) << c.what;
        EXPECT_EQ(Listing(Target()), std::set<std::string> {"good.txt"}) << c.what;
        fs::remove_all(Target());
    }
}

TEST_F(ArchiveTest, DataDescriptorWithoutSignatureIsRead)
{
    // Flag bit 3 with zeros in the local header and a descriptor of CRC and sizes only.
    const std::string content = "descriptor without its signature";
    std::string zip = BuildArchive({Stored("dd.txt", content)});
    const std::size_t dataEnd = 30 + 6 + content.size();
    std::string descriptor;
    Put32(descriptor, Crc(content));
    Put32(descriptor, static_cast<std::uint32_t>(content.size()));
    Put32(descriptor, static_cast<std::uint32_t>(content.size()));
    zip.insert(dataEnd, descriptor);
    zip.replace(14, 12, std::string(12, '\0'));
    zip[6] = 8;
    const std::size_t central = zip.find("PK\1\2");
    zip[central + 8] = 8;
    zip[zip.size() - 6] = static_cast<char>(zip[zip.size() - 6] + 12); // directory offset
    EXPECT_EQ(Extract(WriteArchive(zip), Target(), "*"), 1);
    EXPECT_EQ(test::ReadFile(Target() / "dd.txt"), content);
}

// ---- entries that share data, entries of one name, the cap on what is written ------------

/// Points the central directory record of entry `index` (names of `nameLength` bytes, no extra
/// fields) at the local header offset `offset`.
void PointEntryAt(std::string& zip, std::size_t index, std::size_t nameLength, std::uint32_t offset)
{
    const std::size_t record = Get32(zip, zip.size() - 6) + index * (46 + nameLength);
    std::string bytes;
    Put32(bytes, offset);
    zip.replace(record + 42, 4, bytes);
}

TEST_F(ArchiveTest, EntriesThatShareDataAreRefusedWithoutDecodingItAgain)
{
    struct TCase {
        const char* what;
        std::string zip;
        std::string wanted;
    };
    // A thousand entries on one deflated stream of 64 KiB: decoded per entry, a few kilobytes
    // of archive would write 64 MB.
    std::vector<TRawEntry> many(1000, Deflated("", std::string(65536, 'x')));
    for (std::size_t i = 0; i < many.size(); ++i) {
        many[i].name = "f" + std::to_string(1000 + i) + ".txt"; // names of 9 bytes
    }
    std::string oneStream = BuildArchive(many);
    for (std::size_t i = 0; i < many.size(); ++i)
        PointEntryAt(oneStream, i, 9, 0);

    // "a.txt" stores the whole local record of "b.txt", and b's directory entry points into it.
    const std::string bRecord = BuildArchive({Stored("b.txt", "inner")}).substr(0, 30 + 5 + 5);
    std::string nested = BuildArchive({Stored("a.txt", bRecord), Stored("b.txt", "other")});
    PointEntryAt(nested, 1, 5, 30 + 5);

    const std::vector<TCase> cases = {
        {"a thousand entries on one stream", oneStream, "*"},
        {"one entry's data holds another entry", nested, "*"},
        {"only the inner entry wanted", nested, "b.txt"},
    };
    for (const TCase& c : cases) {
        std::vector<TZipEntryResult> results;
        EXPECT_EQ(Extract(WriteArchive(c.zip), Target(), c.wanted, &results), 0) << c.what;
        EXPECT_FALSE(results.empty()) << c.what;
        EXPECT_EQ(std::count_if(results.begin(), results.end(),
                      [](const TZipEntryResult& r) { return r.result == kZipOverlapping; }),
            static_cast<std::ptrdiff_t>(results.size()))
            << c.what << ": every entry refused as sharing data";
        EXPECT_TRUE(Listing(Target()).empty()) << c.what;
        fs::remove_all(Target());
    }
}

TEST_F(ArchiveTest, EntriesOfOneNameCountOnlyTheFileLeftInPlace)
{
    TRawEntry corrupt = Stored("ToPDA.sqd", "corrupt");
    corrupt.crc ^= 1;
    struct TCase {
        const char* what;
        std::vector<TRawEntry> entries;
        int count;
        std::vector<int> results;
        const char* content; // of ToPDA.sqd at the end, nullptr for none
    };
    const std::vector<TCase> cases = {
        // The import must then say that the archive could not be unpacked, not that the
        // script is missing.
        {"a good entry, then a corrupt one", {Stored("ToPDA.sqd", "first"), corrupt}, 0,
            {0, kZipCrcMismatch}, nullptr},
        {"a corrupt entry, then a good one", {corrupt, Stored("ToPDA.sqd", "second")}, 1,
            {kZipCrcMismatch, 0}, "second"},
        {"two good entries", {Stored("ToPDA.sqd", "first"), Stored("ToPDA.sqd", "second")}, 1,
            {0, 0}, "second"},
    };
    for (const TCase& c : cases) {
        std::vector<TZipEntryResult> results;
        EXPECT_EQ(Extract(WriteArchive(BuildArchive(c.entries)), Target(), "ToPDA.sqd", &results),
            c.count)
            << c.what;
        std::vector<int> outcomes;
        for (const auto& r : results)
            outcomes.push_back(r.result);
        EXPECT_EQ(outcomes, c.results) << c.what;
        if (c.content) {
            EXPECT_EQ(test::ReadFile(Target() / "ToPDA.sqd"), c.content) << c.what;
        }
        EXPECT_EQ(Listing(Target()).size(), c.content ? 1u : 0u) << c.what;
        fs::remove_all(Target());
    }
}

TEST_F(ArchiveTest, ExtractionWritesNoMoreThanItsLimit)
{
    constexpr std::uint64_t kLimit = 1000;
    TRawEntry corrupt = Stored("a.txt", std::string(600, 'a'));
    corrupt.crc ^= 1;
    struct TCase {
        const char* what;
        std::vector<TRawEntry> entries;
        int count;
        std::vector<int> results;
        std::set<std::string> files;
    };
    const std::vector<TCase> cases = {
        {"exactly the limit", {Stored("a.txt", std::string(1000, 'a'))}, 1, {0}, {"a.txt"}},
        {"one byte past it", {Stored("a.txt", std::string(1001, 'a'))}, 0, {kZipPastLimit}, {}},
        {"two entries past it together",
            {Stored("a.txt", std::string(600, 'a')), Stored("b.txt", std::string(600, 'b'))}, 1,
            {0, kZipPastLimit}, {"a.txt"}},
        {"the bytes of a failed entry count too", {corrupt, Stored("b.txt", std::string(600, 'b'))},
            0, {kZipCrcMismatch, kZipPastLimit}, {}},
        {"a deflated megabyte in a kilobyte", {Deflated("a.txt", std::string(1 << 20, '\0'))}, 0,
            {kZipPastLimit}, {}},
    };
    for (const TCase& c : cases) {
        // A refused entry leaves no file of its name, as any failed one: no older file either.
        test::WriteFile(Target() / "a.txt", "an older file");
        std::vector<TZipEntryResult> results;
        EXPECT_EQ(Extract(WriteArchive(BuildArchive(c.entries)), Target(), "*", &results, kLimit),
            c.count)
            << c.what;
        std::vector<int> outcomes;
        for (const auto& r : results)
            outcomes.push_back(r.result);
        EXPECT_EQ(outcomes, c.results) << c.what;
        EXPECT_EQ(Listing(Target()), c.files) << c.what << ": no partial file";
        fs::remove_all(Target());
        fs::create_directories(Target());
    }
    // The limit holds for each extraction, not for the program's run.
    EXPECT_EQ(Extract(WriteArchive(BuildArchive({Stored("a.txt", std::string(1000, 'a'))})),
                  Target(), "*", nullptr, kLimit),
        1);
    EXPECT_EQ(Extract(WriteArchive(BuildArchive({Stored("b.txt", std::string(1000, 'b'))})),
                  Target(), "*", nullptr, kLimit),
        1);
}

// ---- damaged and hostile compressed data -------------------------------------------------

const char* const kMethodFixtures[] = {
    "method1-shrink-msg.zip",
    "method2-reduce1-msg.zip",
    "method3-reduce2-msg.zip",
    "method4-reduce3-msg.zip",
    "method5-reduce4-msg.zip",
    "method6-implode-msg.zip",
    "method6-implode-4k-lit.zip",
    "method6-implode-8k-nolit.zip",
    "method6-implode-4k-nolit.zip",
    "method8-deflate-msg.zip",
    "method0-store-msg.zip",
};

TZipDecode DecodeWith(const TRawEntry& e, std::uint64_t declared, std::uint64_t& written)
{
    TZipInput in(reinterpret_cast<const std::uint8_t*>(e.data.data()), e.data.size());
    written = 0;
    TZipOutput out(declared, [&](const std::uint8_t*, std::size_t n) {
        written += n;
        return true;
    });
    switch (e.method) {
    case 0:
        return DecodeStored(in, out);
    case 1:
        return DecodeShrunk(in, out);
    case 6:
        return DecodeImploded(in, out, e.flags & 2, e.flags & 4);
    case 8:
        return DecodeDeflated(in, out);
    default:
        return DecodeReduced(in, out, e.method - 1);
    }
}

TEST_F(ArchiveTest, CutOrOverlongStreamsFailTheEntryAndLeaveNoFile)
{
    for (const char* fixture : kMethodFixtures) {
        const TRawEntry whole = FirstEntry(fixture);
        TRawEntry cut = whole;
        cut.data.resize(whole.data.size() / 2);
        TRawEntry shortDeclared = whole; // the stream decodes to more than the declared size
        shortDeclared.size = whole.size / 2;
        TRawEntry longDeclared = whole; // the stream ends before the declared size
        longDeclared.size = whole.size + 1;
        std::vector<TZipEntryResult> results;
        EXPECT_EQ(Extract(WriteArchive(BuildArchive({cut, shortDeclared, longDeclared})), Target(),
                      "*", &results),
            0)
            << fixture;
        for (const auto& r : results)
            EXPECT_TRUE(r.result == kZipBadData || r.result == kZipCrcMismatch)
                << fixture << " " << r.result;
        EXPECT_TRUE(Listing(Target()).empty()) << fixture;
    }
}

TEST(ZipDecoders, NeverWriteMoreThanTheDeclaredSize)
{
    for (const char* fixture : kMethodFixtures) {
        const TRawEntry e = FirstEntry(fixture);
        for (std::uint64_t declared : {std::uint64_t(0), std::uint64_t(1),
                 std::uint64_t(e.size / 3), std::uint64_t(e.size - 1)}) {
            std::uint64_t written = 0;
            DecodeWith(e, declared, written);
            EXPECT_LE(written, declared) << fixture;
        }
        std::uint64_t written = 0;
        EXPECT_EQ(DecodeWith(e, e.size, written), TZipDecode::Ok) << fixture;
        EXPECT_EQ(written, e.size) << fixture;
    }
}

TEST(ZipDecoders, GarbageAndFlippedBytesEndInBoundedTime)
{
    // Random streams under every method, and every byte of each real stream flipped in turn:
    // whatever comes out, decoding ends, and never passes the declared size.
    std::mt19937 random(4);
    const std::uint16_t methods[] = {1, 2, 3, 4, 5, 6, 6, 6, 6, 8};
    const std::uint16_t flags[] = {0, 0, 0, 0, 0, 0, 2, 4, 6, 0};
    for (int round = 0; round < 300; ++round) {
        TRawEntry e;
        const std::size_t k = round % 10;
        e.method = methods[k];
        e.flags = flags[k];
        e.data.resize(random() % 3000);
        for (char& ch : e.data)
            ch = static_cast<char>(random());
        const std::uint64_t declared = random() % 100000;
        std::uint64_t written = 0;
        DecodeWith(e, declared, written);
        EXPECT_LE(written, declared);
    }
    for (const char* fixture : kMethodFixtures) {
        const TRawEntry whole = FirstEntry(fixture);
        for (std::size_t at = 0; at < whole.data.size(); at += 3) {
            TRawEntry e = whole;
            e.data[at] = static_cast<char>(e.data[at] ^ (1 << (at % 8)));
            std::uint64_t written = 0;
            DecodeWith(e, e.size, written);
            EXPECT_LE(written, e.size);
        }
    }
}

/// Codes packed least significant bit first, as the old methods read them.
std::string PackBits(const std::vector<std::pair<std::uint32_t, int>>& codes)
{
    std::string out;
    std::uint32_t bits = 0;
    int count = 0;
    for (const auto& [value, width] : codes) {
        bits |= value << count;
        count += width;
        while (count >= 8) {
            out.push_back(static_cast<char>(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    }
    if (count > 0)
        out.push_back(static_cast<char>(bits));
    return out;
}

TEST(ZipDecoders, HostileStreamsAreRejected)
{
    // Each stream would decode to the declared size (or run wild) but for the check it names.
    struct TCase {
        const char* what;
        std::uint16_t method;
        std::string data;
        std::uint64_t declared;
    };
    std::vector<std::pair<std::uint32_t, int>> followers; // S(255) .. S(1) empty, S(0) = {1, 2, 3}
    for (int j = 255; j >= 1; --j)
        followers.push_back({0, 6});
    followers.insert(followers.end(), {{3, 6}, {1, 8}, {2, 8}, {3, 8}});
    auto pastTheSet = followers;
    pastTheSet.insert(pastTheSet.end(), {{0, 1}, {3, 2}}); // index 3 of a set of three
    const std::vector<TCase> cases = {
        {"shrink: first code is not a byte", 1, PackBits({{300, 9}}), 1},
        {"shrink: code neither defined nor next", 1, PackBits({{65, 9}, {66, 9}, {400, 9}}), 3},
        {"shrink: unknown control", 1, PackBits({{65, 9}, {256, 9}, {3, 9}, {66, 9}}), 2},
        {"shrink: code size beyond 13 bits", 1,
            PackBits({{65, 9}, {256, 9}, {1, 9}, {256, 10}, {1, 10}, {256, 11}, {1, 11}, {256, 12},
                {1, 12}, {256, 13}, {1, 13}, {66, 13}}),
            2},
        // "AB" is 257; after the clear frees it, the next entry lands on 257 with 257 as its
        // own prefix.
        {"shrink: chain that loops after a partial clear", 1,
            PackBits({{65, 9}, {66, 9}, {257, 9}, {256, 9}, {2, 9}, {65, 9}, {257, 9}}), 100},
        {"shrink: freed code used after a partial clear", 1,
            PackBits({{65, 9}, {66, 9}, {67, 9}, {256, 9}, {2, 9}, {258, 9}}), 4},
        {"reduce: follower set of 33", 2, PackBits({{33, 6}}), 1},
        {"reduce: follower index past the set", 2, PackBits(pastTheSet), 1},
        {"implode: too many code lengths", 6, std::string("\x04\xF0\xF0\xF0\xF0\xF0", 6), 1},
        {"implode: too few code lengths", 6, std::string("\x00\x00", 2), 1},
        {"implode: oversubscribed lengths", 6, std::string("\x03\xF0\xF0\xF0\xF0", 5), 1},
        // One 7-bit code and 63 of 6 bits: the 6-bit codes would start inside the 7-bit one.
        {"implode: lengths that leave a code misaligned", 6,
            std::string("\x04\x06\xF5\xF5\xF5\xE5"
                        "\x03\xF5\xF5\xF5\xF5",
                11)
                + PackBits({{1, 1}, {65, 8}}),
            1},
        {"deflate: reserved block type", 8, std::string("\x07", 1), 1},
    };
    for (const TCase& c : cases) {
        TRawEntry e;
        e.method = c.method;
        e.data = c.data;
        std::uint64_t written = 0;
        EXPECT_EQ(DecodeWith(e, c.declared, written), TZipDecode::BadData) << c.what;
        EXPECT_LE(written, c.declared) << c.what;
    }
    // The follower sets themselves decode: S(0) picks "2" by index 1.
    auto valid = followers;
    valid.insert(valid.end(), {{0, 1}, {1, 2}});
    TRawEntry e;
    e.method = 2;
    e.data = PackBits(valid);
    std::uint64_t written = 0;
    EXPECT_EQ(DecodeWith(e, 1, written), TZipDecode::Ok);
}

// ---- packing the export ------------------------------------------------------------------

/// Export-like windows-1251 text of `size` bytes: order lines with changing numbers and, now
/// and then, a run of bytes that does not compress.
std::string ExportText(std::size_t size)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n";
    std::mt19937 random(7);
    for (int i = 0; out.size() < size; ++i) {
        out += "<ORDER GUID=\"" + std::to_string(random()) + "\" QTY=\"" + std::to_string(i % 97)
            + "\" NAME=\"" + Utf8ToCp1251("Товар №") + std::to_string(i % 1000) + "\"/>\r\n";
        if (i % 50 == 0) {
            for (int k = 0; k < 64; ++k)
                out.push_back(static_cast<char>(random()));
        }
    }
    out.resize(size);
    return out;
}

/// What Python's zipfile sees: a line "name|compressed|size|crc|yyyy-mm-dd hh:mm:ss" per entry;
/// the first entry's bytes, read with its CRC check, go to `content`. Empty when it fails.
std::string PythonView(const fs::path& zip, const fs::path& content)
{
    const std::string script
        = "import sys, zipfile\n"
          "z = zipfile.ZipFile(sys.argv[1])\n"
          "for i in z.infolist():\n"
          "    print('%s|%d|%d|%08x|%04d-%02d-%02d %02d:%02d:%02d' % ((i.filename, i.compress_size,"
          " i.file_size, i.CRC) + i.date_time))\n"
          "open(sys.argv[2], 'wb').write(z.read(z.infolist()[0]))\n";
    std::string out;
    if (Run("/usr/bin/python3 -c \"" + script + "\" '" + zip.string() + "' '" + content.string()
                + "' 2>&1",
            &out)
        != 0) {
        ADD_FAILURE() << out;
        return {};
    }
    return out;
}

bool UnzipAccepts(const fs::path& zip)
{
    std::string out;
    const int status = Run("/usr/bin/unzip -t '" + zip.string() + "' 2>&1", &out);
    EXPECT_EQ(status, 0) << out;
    return status == 0;
}

struct TPackCase {
    const char* what;
    std::size_t size;
    std::time_t stamp;
    const char* seenStamp; // as Python shows the DOS time stamp
};

class PackReadersTest : public ArchiveTest, public ::testing::WithParamInterface<TPackCase> { };

TEST_P(PackReadersTest, IndependentReadersGetTheSourceBackByteForByte)
{
    const TPackCase& c = GetParam();
    const fs::path source = Work() / "PDATo1C.xml";
    const std::string text = c.size == 2081
        ? test::ReadFile(test::Fixture("zip/inputs/message-cp1251.txt"))
        : ExportText(c.size);
    test::WriteFile(source, text);
    SetModificationTime(source, c.stamp);
    const fs::path zip = Work() / "PDATo1C.zip";
    ASSERT_TRUE(Pack(source, zip));

    EXPECT_TRUE(UnzipAccepts(zip));
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", Crc(text));
    const std::string view = PythonView(zip, Work() / "read-back");
    const std::string compressed = std::to_string(Get32(test::ReadFile(zip), 18));
    EXPECT_EQ(view,
        "PDATo1C.xml|" + compressed + "|" + std::to_string(text.size()) + "|" + crc + "|"
            + c.seenStamp + "\n");
    EXPECT_TRUE(test::ReadFile(Work() / "read-back") == text) << "content differs";
    if (text.empty()) {
        EXPECT_EQ(compressed, "2") << "the empty final block";
        EXPECT_STREQ(crc, "00000000");
    }
    EXPECT_EQ(Listing(folder.Path()),
        (std::set<std::string> {
            "exchange/", "work/", "work/PDATo1C.xml", "work/PDATo1C.zip", "work/read-back"}))
        << "no temporary file is left in the program folder";
    EXPECT_TRUE(folder.ui.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(Sources, PackReadersTest,
    ::testing::Values(
        TPackCase {"empty", 0, LocalTime(2024, 1, 15, 10, 30, 17), "2024-01-15 10:30:16"},
        TPackCase {"one byte", 1, LocalTime(2024, 1, 15, 10, 30, 17), "2024-01-15 10:30:16"},
        TPackCase {
            "office message", 2081, LocalTime(2023, 12, 31, 23, 59, 59), "2023-12-31 23:59:58"},
        TPackCase {"above 4 MiB", 5 * 1048576 + 123, LocalTime(2024, 1, 15, 10, 30, 17),
            "2024-01-15 10:30:16"},
        TPackCase {
            "stamp before 1980", 100, LocalTime(1975, 6, 1, 12, 0, 0), "1980-01-01 00:00:00"}),
    [](const ::testing::TestParamInfo<TPackCase>& info) {
        std::string name = info.param.what;
        for (char& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        }
        return name;
    });

TEST_F(ArchiveTest, PackLaysOutTheArchiveByteForByte)
{
    const fs::path source = Work() / "PDATo1C.xml";
    const std::string text = test::ReadFile(test::Fixture("zip/inputs/topda-60k.sqd"));
    test::WriteFile(source, text);
    SetModificationTime(source, LocalTime(2024, 1, 15, 10, 30, 17));
    const fs::path zip = Work() / "PDATo1C.zip";
    ASSERT_TRUE(Pack(source, zip));
    const std::string a = test::ReadFile(zip);

    // Level 9 raw deflate, memory level 8, default strategy, in one go: chunking the input
    // does not change zlib's output.
    std::string expected(compressBound(static_cast<uLong>(text.size())) + 64, '\0');
    z_stream z {};
    ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(expected.data());
    z.avail_out = static_cast<uInt>(expected.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    expected.resize(z.total_out);
    deflateEnd(&z);

    const std::size_t cs = expected.size();
    ASSERT_EQ(a.size(), 30 + 11 + cs + 46 + 11 + 22);
    EXPECT_EQ(Get32(a, 0), 0x04034B50u);
    EXPECT_EQ(Get16(a, 4), 10) << "version needed: 1.0";
    EXPECT_EQ(Get16(a, 6), 0) << "flags";
    EXPECT_EQ(Get16(a, 8), 8) << "deflated";
    EXPECT_EQ(Get16(a, 10), (10 << 11) | (30 << 5) | 8) << "10:30:16";
    EXPECT_EQ(Get16(a, 12), (44 << 9) | (1 << 5) | 15) << "2024-01-15";
    EXPECT_EQ(Get32(a, 14), Crc(text));
    EXPECT_EQ(Get32(a, 18), cs);
    EXPECT_EQ(Get32(a, 22), text.size());
    EXPECT_EQ(Get16(a, 26), 11);
    EXPECT_EQ(Get16(a, 28), 0) << "no extra field";
    EXPECT_EQ(a.substr(30, 11), "PDATo1C.xml");
    EXPECT_TRUE(a.substr(41, cs) == expected) << "the compressed data";

    const std::size_t c = 41 + cs;
    EXPECT_EQ(Get32(a, c), 0x02014B50u);
    EXPECT_EQ(Get16(a, c + 4), 10) << "made by MS-DOS, 1.0";
    EXPECT_EQ(a.substr(c + 6, 26), a.substr(4, 26)) << "copy of the local header";
    EXPECT_EQ(a.substr(c + 32, 6), std::string(6, '\0')) << "comment, disk, internal attributes";
    EXPECT_EQ(Get32(a, c + 38), 0x20u) << "the archive attribute";
    EXPECT_EQ(Get32(a, c + 42), 0u) << "offset of the local header";
    EXPECT_EQ(a.substr(c + 46, 11), "PDATo1C.xml");

    const std::size_t e = c + 57;
    EXPECT_EQ(Get32(a, e), 0x06054B50u);
    EXPECT_EQ(Get16(a, e + 4), 0);
    EXPECT_EQ(Get16(a, e + 6), 0);
    EXPECT_EQ(Get16(a, e + 8), 1);
    EXPECT_EQ(Get16(a, e + 10), 1);
    EXPECT_EQ(Get32(a, e + 12), 57u);
    EXPECT_EQ(Get32(a, e + 16), c);
    EXPECT_EQ(Get16(a, e + 20), 0) << "no archive comment";
}

TEST_F(ArchiveTest, EntryNameIsTheSourceNameInWindows1251)
{
    const fs::path source = Work() / "Заказы агента.xml";
    test::WriteFile(source, "<x/>");
    const fs::path zip = Work() / "out.zip";
    ASSERT_TRUE(Pack(source, zip));
    const std::string a = test::ReadFile(zip);
    const std::string name = Utf8ToCp1251("Заказы агента.xml");
    EXPECT_EQ(Get16(a, 26), name.size());
    EXPECT_EQ(a.substr(30, name.size()), name);
    EXPECT_TRUE(UnzipAccepts(zip));
}

TEST_F(ArchiveTest, LargeSourceLeavesAnExistingPackTmpAlone)
{
    test::WriteFile(folder.Path() / "pack.tmp", "someone else's file");
    const fs::path source = Work() / "PDATo1C.xml";
    const std::string text = ExportText(4194304 + 1);
    test::WriteFile(source, text);
    const fs::path zip = Work() / "PDATo1C.zip";
    ASSERT_TRUE(Pack(source, zip));

    EXPECT_EQ(test::ReadFile(folder.Path() / "pack.tmp"), "someone else's file");
    EXPECT_EQ(Listing(folder.Path()),
        (std::set<std::string> {
            "exchange/", "pack.tmp", "work/", "work/PDATo1C.xml", "work/PDATo1C.zip"}));
    // Our own reader gets it back too, with the time stamp.
    SetModificationTime(source, LocalTime(2024, 1, 15, 10, 30, 18));
    ASSERT_TRUE(Pack(source, zip));
    EXPECT_EQ(Extract(zip, Target(), "PDATo1C.xml"), 1);
    EXPECT_TRUE(test::ReadFile(Target() / "PDATo1C.xml") == text);
    EXPECT_EQ(ModificationTime(Target() / "PDATo1C.xml"), LocalTime(2024, 1, 15, 10, 30, 18));
}

TEST_F(ArchiveTest, TemporaryFileNamesRunFromPackTmpThrough0001ToFFFF)
{
    // With every name taken only a source up to 4 MiB packs (in memory); a larger one fails
    // instead of taking over any of them.
    test::WriteFile(folder.Path() / "pack.tmp", "");
    for (int i = 1; i <= 0xFFFF; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "%04X", i);
        std::FILE* f = std::fopen((folder.Path() / name).c_str(), "wb");
        ASSERT_TRUE(f);
        std::fclose(f);
    }
    const fs::path source = Work() / "PDATo1C.xml";
    const fs::path zip = Work() / "PDATo1C.zip";
    test::WriteFile(source, ExportText(4194304));
    EXPECT_TRUE(Pack(source, zip)) << "4 MiB exactly still packs in memory";
    test::WriteFile(source, ExportText(4194304 + 1));
    EXPECT_FALSE(Pack(source, zip));
    EXPECT_FALSE(fs::exists(zip)) << "no broken archive";

    fs::remove(folder.Path() / "0001");
    EXPECT_TRUE(Pack(source, zip));
    EXPECT_TRUE(UnzipAccepts(zip));
    EXPECT_FALSE(fs::exists(folder.Path() / "0001")) << "the temporary file is removed";
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(folder.Path())) {
        if (entry.is_regular_file()) {
            ++files;
            EXPECT_EQ(fs::file_size(entry.path()), 0u) << entry.path();
        }
    }
    EXPECT_EQ(files, 0xFFFFu) << "pack.tmp and 0002 to FFFF, untouched";
    EXPECT_TRUE(folder.ui.Texts().empty());
}

/// True when process `pid` is deflating into the buffer file `path`: it has the file open and
/// has either unlinked it already or written into it.
bool DeflatesInto(pid_t pid, const fs::path& path)
{
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const std::string open = fs::read_symlink(fd.path(), ec).string();
        if (open == path.string() + " (deleted)")
            return true;
        if (open == path.string()) {
            const std::uintmax_t size = fs::file_size(path, ec);
            return !ec && size > 0;
        }
    }
    return false;
}

TEST_F(ArchiveTest, KilledPackLeavesTheEarlierArchiveAndNoTemporaryFileAfterTheNextPack)
{
    const fs::path source = Work() / "PDATo1C.xml";
    std::string text(24 << 20, '\0'); // incompressible, so deflating takes a while
    std::mt19937 random(11);
    for (char& ch : text)
        ch = static_cast<char>(random());
    test::WriteFile(source, text);
    const fs::path zip = Work() / "PDATo1C.zip";
    test::WriteFile(zip, "the earlier archive");

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(Pack(source, zip) ? 0 : 1);
    // Killed while it deflates into the buffer file, the fault injector's moment.
    int status = 0;
    const fs::path spill = fs::canonical(folder.Path()) / "pack.tmp";
    pid_t ended = 0;
    while (!DeflatesInto(child, spill) && (ended = waitpid(child, &status, WNOHANG)) == 0)
        usleep(200);
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    ASSERT_TRUE(WIFSIGNALED(status)) << "the pack ended before it could be killed";

    EXPECT_EQ(test::ReadFile(zip), "the earlier archive");
    EXPECT_EQ(Listing(folder.Path()),
        (std::set<std::string> {
            "exchange/", "work/", "work/PDATo1C.xml", "work/PDATo1C.zip", "work/PDATo1C.zip.part"}))
        << "no buffer file survives the kill";

    ASSERT_TRUE(Pack(source, zip));
    EXPECT_EQ(Listing(folder.Path()),
        (std::set<std::string> {"exchange/", "work/", "work/PDATo1C.xml", "work/PDATo1C.zip"}))
        << "the next pack removes what the killed one left";
    EXPECT_TRUE(UnzipAccepts(zip));
}

TEST_F(ArchiveTest, PackFailsSilentlyAndLeavesNoArchive)
{
    const fs::path source = Work() / "PDATo1C.xml";
    test::WriteFile(source, "<x/>");
    const fs::path zip = Work() / "PDATo1C.zip";
    test::WriteFile(zip, "an earlier archive");

    EXPECT_FALSE(Pack(Work() / "missing.xml", zip)) << "missing source";
    EXPECT_EQ(test::ReadFile(zip), "an earlier archive") << "a missing source touches nothing";
    EXPECT_FALSE(Pack(Work(), zip)) << "a folder as source";
    EXPECT_FALSE(Pack(source, Work() / "no-such-folder" / "a.zip"));
    EXPECT_FALSE(Pack(source, source)) << "onto itself";
    EXPECT_EQ(test::ReadFile(source), "<x/>");
    const fs::path part = Work() / "PDATo1C.zip.part";
    test::WriteFile(part, "<y/>");
    EXPECT_FALSE(Pack(part, zip)) << "from the archive's own temporary file";
    EXPECT_EQ(test::ReadFile(part), "<y/>");
    EXPECT_EQ(test::ReadFile(zip), "an earlier archive");
    EXPECT_TRUE(folder.ui.Texts().empty());

    ASSERT_TRUE(Pack(source, zip)) << "an existing archive is replaced";
    EXPECT_TRUE(UnzipAccepts(zip));
}

TEST(ZlibErrorText, NamesEveryCodeAsZlibDoes)
{
    const std::vector<std::pair<int, std::string>> cases = {
        {Z_NEED_DICT, "need dictionary"},
        {Z_STREAM_END, "stream end"},
        {Z_ERRNO, "file error"},
        {Z_STREAM_ERROR, "stream error"},
        {Z_DATA_ERROR, "data error"},
        {Z_MEM_ERROR, "insufficient memory"},
        {Z_BUF_ERROR, "buffer error"},
        {Z_VERSION_ERROR, "incompatible version"},
        {-7, "Unknown zlib error -7"},
        {42, "Unknown zlib error 42"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(ZlibErrorText(code), text);
}

} // namespace
} // namespace vendrix
