#include "pack/pack_reader.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fs/paths.h"
#include "support/temp_folder.h"

namespace {

// The program takes its character-type locale from the environment; tests pin
// the UTF-8 one it falls back to.
class PackEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    PackReader::startup();
    PackReader::registerZip();
  }
  void TearDown() override { PackReader::shutdown(); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new PackEnvironment);

class PackReaderTest : public TempFolderTest {
 protected:
  void TearDown() override {
    PackReader::close(-1);
    TempFolderTest::TearDown();
  }

  // Builds an archive with Python's zipfile module, so the fixtures come from
  // an archiver nobody here wrote. `body` runs with `z` open for writing,
  // `patch` afterwards with the file's bytes in `data` (a bytearray).
  bool makeZip(const Text& zip, const std::string& body, const std::string& patch = "") {
    Text script = dir + u"make_zip.py";
    writeFile(script, "import random, struct, sys, zipfile\n"
                      "path = sys.argv[1]\n"
                      "z = zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED)\n" +
                          body +
                          "\nz.close()\n"
                          "data = bytearray(open(path, 'rb').read())\n" +
                          patch + "\nopen(path, 'wb').write(data)\n");
    std::string command = "python3 '" + native(script) + "' '" + native(zip) + "'";
    return std::system(command.c_str()) == 0;
  }

  // Opens the archive on handle 0 and makes its first entry current.
  bool openFirst(const Text& zip) {
    return PackReader::open(0, zip) && PackReader::examine(0) && PackReader::nextEntry(0);
  }
};

// Sets a bit in the general-purpose flags of every local and central header.
const char* const kSetFlagScript =
    "def set_flag(bit):\n"
    "    for sig, at in ((b'PK\\x03\\x04', 6), (b'PK\\x01\\x02', 8)):\n"
    "        i = data.find(sig)\n"
    "        while i >= 0:\n"
    "            data[i + at] |= bit\n"
    "            i = data.find(sig, i + 4)\n";

TEST_F(PackReaderTest, OpenRefusesWhatIsNoZipArchive) {
  writeFile(dir + u"notes.txt", "PK is not enough to make an archive\n");
  writeFile(dir + u"empty.bin", "");
  EXPECT_FALSE(PackReader::open(0, u""));
  EXPECT_FALSE(PackReader::open(0, dir + u"absent.zip"));
  EXPECT_FALSE(PackReader::open(0, dir));
  EXPECT_FALSE(PackReader::open(0, dir + u"notes.txt"));
  EXPECT_FALSE(PackReader::open(0, dir + u"empty.bin"));
  EXPECT_FALSE(PackReader::open(-2, dir + u"notes.txt"));
  EXPECT_FALSE(PackReader::examine(0));
  EXPECT_FALSE(PackReader::nextEntry(0));
  EXPECT_EQ(u"", PackReader::entryName(0));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, dir + u"out"));
  EXPECT_FALSE(pathExists(dir + u"out"));
}

TEST_F(PackReaderTest, HandlesAreIndependentAndReuseClosesThePreviousPack) {
  Text zip = dir + u"a.zip";
  ASSERT_TRUE(makeZip(zip, "z.writestr('one.txt', 'one')"));
  ASSERT_TRUE(PackReader::open(0, zip));
  ASSERT_TRUE(PackReader::open(40, zip));  // far beyond the table's first slots
  EXPECT_TRUE(PackReader::examine(40));
  EXPECT_TRUE(PackReader::nextEntry(40));

  // A failed open still closes what the handle held.
  EXPECT_FALSE(PackReader::open(40, dir + u"absent.zip"));
  EXPECT_FALSE(PackReader::examine(40));
  EXPECT_FALSE(PackReader::nextEntry(40));
  EXPECT_EQ(u"", PackReader::entryName(40));

  EXPECT_TRUE(PackReader::examine(0));
  EXPECT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(u"one.txt", PackReader::entryName(0));
  EXPECT_FALSE(PackReader::open(INT32_MAX - 4, zip));  // no table that large
  PackReader::close(7);  // never used: nothing happens
  PackReader::close(-1);
  EXPECT_FALSE(PackReader::examine(0));
  EXPECT_EQ(u"", PackReader::entryName(0));
}

TEST_F(PackReaderTest, ArchiveWithoutEntriesOpensAndEndsAtOnce) {
  Text zip = dir + u"empty.zip";
  ASSERT_TRUE(makeZip(zip, ""));
  EXPECT_TRUE(PackReader::open(0, zip));
  EXPECT_TRUE(PackReader::examine(0));
  EXPECT_FALSE(PackReader::nextEntry(0));
  EXPECT_EQ(u"", PackReader::entryName(0));
}

TEST_F(PackReaderTest, SecondExamineDeliversTheFirstEntryAgain) {
  Text zip = dir + u"three.zip";
  ASSERT_TRUE(makeZip(zip, "for name in ('a.xml', 'b.xml', 'c.xml'): z.writestr(name, name)"));
  ASSERT_TRUE(PackReader::open(0, zip));
  ASSERT_TRUE(PackReader::examine(0));
  for (const char16_t* name : {u"a.xml", u"b.xml", u"c.xml"}) {
    ASSERT_TRUE(PackReader::nextEntry(0));
    EXPECT_EQ(name, PackReader::entryName(0));
  }
  EXPECT_FALSE(PackReader::nextEntry(0));

  ASSERT_TRUE(PackReader::examine(0));
  EXPECT_EQ(u"", PackReader::entryName(0));
  ASSERT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(u"a.xml", PackReader::entryName(0));
  EXPECT_EQ(5, PackReader::extractEntryTo(0, dir + u"a.xml"));
  EXPECT_EQ("a.xml", readFile(dir + u"a.xml"));

  // Once the file is gone a restart fails and leaves a pack without archive.
  ASSERT_TRUE(std::filesystem::remove(native(zip)));
  EXPECT_FALSE(PackReader::examine(0));
  EXPECT_FALSE(PackReader::nextEntry(0));
  EXPECT_EQ(u"", PackReader::entryName(0));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, dir + u"late.xml"));
  EXPECT_FALSE(pathExists(dir + u"late.xml"));
}

TEST_F(PackReaderTest, ExtractionWritesOnlyFileEntries) {
  Text zip = dir + u"mixed.zip";
  ASSERT_TRUE(makeZip(zip,
                      "z.writestr('xl/', '')\n"
                      "z.writestr('xl/empty.xml', '')\n"
                      "z.writestr('xl/data.xml', '<sheet/>')\n"));
  Text out = dir + u"out.xml";
  ASSERT_TRUE(PackReader::open(0, zip));
  ASSERT_TRUE(PackReader::examine(0));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, out));  // no current entry yet
  EXPECT_FALSE(pathExists(out));

  ASSERT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(u"xl/", PackReader::entryName(0));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, out));
  EXPECT_FALSE(pathExists(out));

  ASSERT_TRUE(PackReader::nextEntry(0));
  writeFile(out, "old content");
  EXPECT_EQ(0, PackReader::extractEntryTo(0, out));
  EXPECT_EQ(0, fileSize(out));

  ASSERT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(8, PackReader::extractEntryTo(0, out));
  EXPECT_EQ("<sheet/>", readFile(out));
  // The data streams by once: a second extraction replaces the file with nothing.
  EXPECT_EQ(0, PackReader::extractEntryTo(0, out));
  EXPECT_TRUE(pathExists(out));
  EXPECT_EQ(0, fileSize(out));
}

TEST_F(PackReaderTest, TargetThatCannotBeWrittenIsLeftAlone) {
  Text zip = dir + u"one.zip";
  ASSERT_TRUE(makeZip(zip, "z.writestr('data.xml', 'new content')"));
  ASSERT_TRUE(openFirst(zip));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, dir + u"missing/data.xml"));
  EXPECT_FALSE(pathExists(dir + u"missing"));

  ASSERT_TRUE(std::filesystem::create_directory(native(dir + u"folder")));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, dir + u"folder"));
  EXPECT_EQ(-2, fileSize(dir + u"folder"));

  Text locked = dir + u"locked.xml";
  writeFile(locked, "old content");
  std::filesystem::permissions(native(locked), std::filesystem::perms::owner_read);
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, locked));
  EXPECT_EQ("old content", readFile(locked));

  // The entry's data was not consumed by the refused attempts.
  EXPECT_EQ(11, PackReader::extractEntryTo(0, dir + u"data.xml"));
  EXPECT_EQ("new content", readFile(dir + u"data.xml"));
}

TEST_F(PackReaderTest, EntryLargerThanTheTransferBufferArrivesWhole) {
  Text zip = dir + u"big.zip";
  Text expected = dir + u"big.bin";
  ASSERT_TRUE(makeZip(zip,
                      "blob = random.Random(7).randbytes(5 * 1024 * 1024 + 13)\n"
                      "open('" + native(expected) + "', 'wb').write(blob)\n"
                      "z.writestr('big.bin', blob)\n"
                      "z.writestr('after.txt', 'after')\n"));
  ASSERT_TRUE(openFirst(zip));
  Text out = dir + u"out.bin";
  EXPECT_EQ(5 * 1024 * 1024 + 13, PackReader::extractEntryTo(0, out));
  EXPECT_TRUE(readFile(out) == readFile(expected));
  ASSERT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(u"after.txt", PackReader::entryName(0));
}

TEST_F(PackReaderTest, DamagedOrEncryptedDataLeavesNoTarget) {
  Text deflated = dir + u"deflated.zip";
  ASSERT_TRUE(makeZip(deflated,
                      "z.writestr('sheet.xml', ''.join('<row r=\"%d\"/>' % i for i in range(4000)))\n"
                      "z.writestr('next.xml', 'next')\n",
                      "start = 30 + struct.unpack('<H', data[26:28])[0] + "
                      "struct.unpack('<H', data[28:30])[0]\n"
                      "for i in range(start + 200, start + 240): data[i] ^= 0x5A\n"));
  Text out = dir + u"sheet.xml";
  ASSERT_TRUE(openFirst(deflated));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, out));
  EXPECT_FALSE(pathExists(out));
  PackReader::close(0);

  // Stored data with one changed byte decodes fine; only the checksum tells.
  Text stored = dir + u"stored.zip";
  ASSERT_TRUE(makeZip(stored,
                      "z.writestr('sheet.xml', 'x' * 1000, zipfile.ZIP_STORED)",
                      "data[data.find(b'xxxx') + 500] = ord('y')"));
  ASSERT_TRUE(openFirst(stored));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, out));
  EXPECT_FALSE(pathExists(out));
  PackReader::close(0);

  Text encrypted = dir + u"encrypted.zip";
  ASSERT_TRUE(makeZip(encrypted, "z.writestr('secret.xml', 's' * 64, zipfile.ZIP_STORED)",
                      std::string(kSetFlagScript) + "set_flag(1)"));
  ASSERT_TRUE(openFirst(encrypted));
  EXPECT_EQ(u"secret.xml", PackReader::entryName(0));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, out));
  EXPECT_FALSE(pathExists(out));
}

TEST_F(PackReaderTest, TruncatedArchiveEndsCleanly) {
  Text zip = dir + u"cut.zip";
  ASSERT_TRUE(makeZip(zip,
                      "r = random.Random(3)\n"
                      "for name in ('a.bin', 'b.bin', 'c.bin'): z.writestr(name, r.randbytes(100000))",
                      "del data[len(data) // 2:]"));
  if (!PackReader::open(0, zip)) return;  // refusing the file is a clean answer too
  ASSERT_TRUE(PackReader::examine(0));
  int delivered = 0;
  int failed = 0;
  while (delivered < 10 && PackReader::nextEntry(0)) {
    Text out = dir + u"out" + intToText(++delivered);
    int64_t written = PackReader::extractEntryTo(0, out);
    if (written == -1) {
      ++failed;
      EXPECT_FALSE(pathExists(out));
    } else {
      EXPECT_EQ(100000, written);
    }
  }
  EXPECT_LE(delivered, 3);
  EXPECT_LE(delivered - failed, 1);  // only the first entry lies wholly before the cut
  EXPECT_FALSE(PackReader::nextEntry(0));
}

TEST_F(PackReaderTest, NamesComeBackAsStored) {
  Text zip = dir + u"names.zip";
  ASSERT_TRUE(makeZip(zip,
                      "z.writestr('数据/子目录/Sheet1.XML', 'a')\n"
                      "z.writestr('xl/SharedStrings.xml', 'b')\n"
                      "z.writestr('cafX.txt', 'c')\n",
                      "data[:] = data.replace(b'cafX.txt', b'caf\\xe9.txt')"));
  ASSERT_TRUE(PackReader::open(0, zip));
  ASSERT_TRUE(PackReader::examine(0));
  ASSERT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(u"数据/子目录/Sheet1.XML", PackReader::entryName(0));
  ASSERT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(u"xl/SharedStrings.xml", PackReader::entryName(0));
  // A legacy name that is not UTF-8 is read byte for byte as Latin-1.
  ASSERT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(u"caf\u00e9.txt", PackReader::entryName(0));
}

TEST_F(PackReaderTest, NameThatDoesNotConvertKeepsTheWalkGoing) {
  // Flagged as UTF-8 but holding a lone Latin-1 byte: libarchive warns about
  // the name while reading the header and delivers the entry without one.
  Text zip = dir + u"warn.zip";
  ASSERT_TRUE(makeZip(zip,
                      "z.writestr('bad\\u00e9.xml', 'a')\n"
                      "z.writestr('xl/sheet1.xml', 'sheet')\n",
                      "data[:] = data.replace('bad\\u00e9'.encode(), b'bad\\xe9X')"));
  ASSERT_TRUE(openFirst(zip));
  EXPECT_EQ(1, PackReader::extractEntryTo(0, dir + u"bad.xml"));
  ASSERT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(u"xl/sheet1.xml", PackReader::entryName(0));
  EXPECT_EQ(5, PackReader::extractEntryTo(0, dir + u"sheet1.xml"));
  EXPECT_FALSE(PackReader::nextEntry(0));
}

}  // namespace

namespace {

// Python's zipfile writes to a stream it cannot seek with data descriptors:
// the local headers give no sizes, as streaming archivers leave them.
const char* const kStreamedZipScript =
    "class Stream:\n"
    "    def __init__(self, f): self.f = f\n"
    "    def write(self, b): return self.f.write(b)\n"
    "    def flush(self): self.f.flush()\n"
    "z.close()\n"
    "z = zipfile.ZipFile(Stream(open(path, 'wb')), 'w', zipfile.ZIP_DEFLATED)\n";

// Makes the first entry claim 1000 bytes in both of its headers, whatever it holds.
const char* const kUnderstateSizeScript =
    "for sig, at in ((b'PK\\x03\\x04', 22), (b'PK\\x01\\x02', 24)):\n"
    "    i = data.find(sig)\n"
    "    data[i + at:i + at + 4] = struct.pack('<I', 1000)\n";

TEST_F(PackReaderTest, OpenFaultsSayWhyTheFileIsNoArchive) {
  writeFile(dir + u"notes.txt", "PK is not enough to make an archive\n");
  writeFile(dir + u"old.xls", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'));
  writeFile(dir + u"short.xls", "\xD0\xCF\x11\xE0");
  struct Case {
    Text path;
    PackReader::OpenFault fault;
  } cases[] = {
      {dir + u"absent.zip", PackReader::OpenFault::kMissing},
      {dir + u"absent/inner.zip", PackReader::OpenFault::kMissing},
      {dir, PackReader::OpenFault::kNotArchive},
      {dir + u"notes.txt", PackReader::OpenFault::kNotArchive},
      {dir + u"old.xls", PackReader::OpenFault::kCompoundFile},
      {dir + u"short.xls", PackReader::OpenFault::kNotArchive},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(PackReader::open(0, c.path)) << toUtf8(c.path);
    EXPECT_EQ(c.fault, PackReader::lastOpenFault()) << toUtf8(c.path);
  }
  ASSERT_TRUE(makeZip(dir + u"good.zip", "z.writestr('a', 'a')"));
  EXPECT_TRUE(PackReader::open(0, dir + u"good.zip"));
  EXPECT_EQ(PackReader::OpenFault::kNone, PackReader::lastOpenFault());
}

TEST_F(PackReaderTest, EntryFaultsAreToldApart) {
  Text zip = dir + u"kinds.zip";
  ASSERT_TRUE(makeZip(zip,
                      "link = zipfile.ZipInfo('link.xml')\n"
                      "link.create_system = 3\n"
                      "link.external_attr = 0o120777 << 16\n"
                      "z.writestr(link, '/etc/passwd')\n"
                      "z.writestr(zipfile.ZipInfo('folder.xml/'), '')\n"
                      "z.writestr('stored.xml', 'x' * 1000, zipfile.ZIP_STORED)\n"
                      "z.writestr('after.xml', 'after')\n",
                      "data[data.find(b'xxxx') + 500] = ord('y')"));
  Text out = dir + u"out.xml";
  ASSERT_TRUE(openFirst(zip));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, out));
  EXPECT_EQ(PackReader::EntryFault::kLink, PackReader::lastEntryFault(0));
  ASSERT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, out));
  EXPECT_EQ(PackReader::EntryFault::kFolder, PackReader::lastEntryFault(0));
  ASSERT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, out));
  EXPECT_EQ(PackReader::EntryFault::kChecksum, PackReader::lastEntryFault(0));
  EXPECT_FALSE(pathExists(out));
  ASSERT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(5, PackReader::extractEntryTo(0, out));
  EXPECT_EQ(PackReader::EntryFault::kNone, PackReader::lastEntryFault(0));
  EXPECT_FALSE(PackReader::nextEntry(0));
  EXPECT_EQ(PackReader::EntryFault::kNone, PackReader::walkFault(0));

  Text encrypted = dir + u"encrypted.zip";
  ASSERT_TRUE(makeZip(encrypted, "z.writestr('secret.xml', 's' * 64)",
                      std::string(kSetFlagScript) + "set_flag(1)"));
  ASSERT_TRUE(openFirst(encrypted));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, out));
  EXPECT_EQ(PackReader::EntryFault::kEncrypted, PackReader::lastEntryFault(0));

  // Cut inside the second entry: that entry, and then the walk, end early.
  Text cut = dir + u"cut.zip";
  ASSERT_TRUE(makeZip(cut,
                      "r = random.Random(5)\n"
                      "z.writestr('a.bin', r.randbytes(1000))\n"
                      "z.writestr('b.bin', r.randbytes(100000))\n",
                      "del data[20000:]"));
  ASSERT_TRUE(openFirst(cut));
  EXPECT_EQ(1000, PackReader::extractEntryTo(0, out));
  ASSERT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, dir + u"b.bin"));
  EXPECT_EQ(PackReader::EntryFault::kCutShort, PackReader::lastEntryFault(0));
  EXPECT_FALSE(PackReader::nextEntry(0));
  EXPECT_EQ(PackReader::EntryFault::kCutShort, PackReader::walkFault(0));
  // A new walk starts clean.
  ASSERT_TRUE(PackReader::examine(0));
  EXPECT_EQ(PackReader::EntryFault::kNone, PackReader::walkFault(0));
}

// A damaged entry written after a good one of the same name must not cost
// the good one, and no temporary file stays behind.
TEST_F(PackReaderTest, FailedEntryLeavesTheEarlierTargetWhole) {
  Text zip = dir + u"twice.zip";
  ASSERT_TRUE(makeZip(zip,
                      "z.writestr('part.xml', 'good ' * 100)\n"
                      "z.writestr('part.xml', ''.join('<r n=\"%d\"/>' % i for i in range(4000)))\n",
                      "at = data.rfind(b'part.xml', 0, data.find(b'PK\\x01\\x02')) + 8\n"
                      "for i in range(at + 200, at + 240): data[i] ^= 0x5A\n"));
  Text parts = dir + u"parts/";
  ASSERT_TRUE(std::filesystem::create_directory(native(parts)));
  ASSERT_TRUE(openFirst(zip));
  EXPECT_EQ(500, PackReader::extractEntryTo(0, parts + u"part.xml"));
  ASSERT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, parts + u"part.xml"));
  EXPECT_EQ(PackReader::EntryFault::kDamaged, PackReader::lastEntryFault(0));
  std::string good;
  for (int i = 0; i < 100; ++i) good += "good ";
  EXPECT_EQ(good, readFile(parts + u"part.xml"));
  int files = 0;
  for (auto& entry : std::filesystem::directory_iterator(native(parts))) (void)entry, ++files;
  EXPECT_EQ(1, files);
}

// Every byte inflated counts against a shared budget, also for entries that
// fail; an entry declaring more than is left is refused before inflating.
TEST_F(PackReaderTest, BudgetCountsEveryByteInflated) {
  Text zip = dir + u"budget.zip";
  ASSERT_TRUE(makeZip(zip,
                      "z.writestr('a.bin', b'a' * 3000)\n"
                      "z.writestr('b.bin', b'b' * 3000)\n"
                      "z.writestr('c.bin', b'c' * 100)\n"));
  int64_t budget = 4000;
  Text out = dir + u"out.bin";
  ASSERT_TRUE(openFirst(zip));
  EXPECT_EQ(3000, PackReader::extractEntryTo(0, out, &budget));
  EXPECT_EQ(1000, budget);
  ASSERT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, dir + u"b.bin", &budget));
  EXPECT_EQ(PackReader::EntryFault::kTooLarge, PackReader::lastEntryFault(0));
  EXPECT_EQ(1000, budget);  // refused on its header: nothing inflated
  EXPECT_FALSE(pathExists(dir + u"b.bin"));
  ASSERT_TRUE(PackReader::nextEntry(0));
  EXPECT_EQ(100, PackReader::extractEntryTo(0, dir + u"c.bin", &budget));
  EXPECT_EQ(900, budget);

  // An entry inflating past the size its headers give is cut short as damaged,
  // long before its end; what it inflated still counts.
  Text lying = dir + u"lying.zip";
  ASSERT_TRUE(makeZip(lying,
                      "z.writestr('big.bin', bytes(64 << 20))\n"
                      "z.writestr('small.bin', b'small')\n",
                      kUnderstateSizeScript));
  budget = int64_t{1} << 30;
  ASSERT_TRUE(openFirst(lying));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, out, &budget));
  EXPECT_EQ(PackReader::EntryFault::kDamaged, PackReader::lastEntryFault(0));
  EXPECT_LT(budget, int64_t{1} << 30);
  EXPECT_GT(budget, (int64_t{1} << 30) - (int64_t{16} << 20));
  PackReader::close(0);

  // Without a central directory the sizes are unknown: the count stops the
  // entry as it inflates.
  Text streamed = dir + u"streamed.zip";
  ASSERT_TRUE(makeZip(streamed,
                      std::string(kStreamedZipScript) +
                          "with z.open('big.bin', 'w') as f: f.write(bytes(3 << 20))\n"
                          "z.writestr('small.bin', b'small')\n",
                      "del data[data.find(b'PK\\x01\\x02'):]"));
  budget = 1 << 20;
  ASSERT_TRUE(openFirst(streamed));
  EXPECT_EQ(-1, PackReader::extractEntryTo(0, out, &budget));
  EXPECT_EQ(PackReader::EntryFault::kTooLarge, PackReader::lastEntryFault(0));
  EXPECT_LT(budget, 0);
  EXPECT_EQ(std::string(3000, 'a'), readFile(out));  // the earlier good file stays
  EXPECT_FALSE(pathExists(out + u".partial"));
}

}  // namespace
