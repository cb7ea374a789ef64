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
  void SetUp() override { std::setlocale(LC_CTYPE, "C.UTF-8"); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new PackEnvironment);

class PackReaderTest : public TempFolderTest {
 protected:
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

  // Opens the archive and makes its first entry current.
  bool openFirst(const Text& zip) { return !pack.open(zip) && pack.nextEntry(); }

  // Extracts the current entry to target; the kind of failure, kNone when whole.
  ErrorKind extract(const Text& target) { return pack.extractEntryTo(target, budget).kind; }

  PackReader pack;
  int64_t budget = int64_t{2} << 30;
};

// Sets a bit in the general-purpose flags of every local and central header.
const char* const kSetFlagScript =
    "def set_flag(bit):\n"
    "    for sig, at in ((b'PK\\x03\\x04', 6), (b'PK\\x01\\x02', 8)):\n"
    "        i = data.find(sig)\n"
    "        while i >= 0:\n"
    "            data[i + at] |= bit\n"
    "            i = data.find(sig, i + 4)\n";

TEST_F(PackReaderTest, ArchiveWithoutEntriesOpensAndEndsAtOnce) {
  Text zip = dir + u"empty.zip";
  ASSERT_TRUE(makeZip(zip, ""));
  EXPECT_FALSE(pack.open(zip));
  EXPECT_FALSE(pack.nextEntry());
  EXPECT_EQ(u"", pack.entryName());
  EXPECT_EQ(ErrorKind::kNone, pack.walkFault());
}

TEST_F(PackReaderTest, ExtractionWritesOnlyFileEntries) {
  Text zip = dir + u"mixed.zip";
  ASSERT_TRUE(makeZip(zip,
                      "z.writestr('xl/', '')\n"
                      "z.writestr('xl/empty.xml', '')\n"
                      "z.writestr('xl/data.xml', '<sheet/>')\n"));
  Text out = dir + u"out.xml";
  ASSERT_FALSE(pack.open(zip));
  EXPECT_NE(ErrorKind::kNone, extract(out));  // no current entry yet
  EXPECT_FALSE(pathExists(out));

  ASSERT_TRUE(pack.nextEntry());
  EXPECT_EQ(u"xl/", pack.entryName());
  EXPECT_EQ(ErrorKind::kEntryIsFolder, extract(out));
  EXPECT_FALSE(pathExists(out));

  ASSERT_TRUE(pack.nextEntry());
  writeFile(out, "old content");
  EXPECT_EQ(ErrorKind::kNone, extract(out));
  EXPECT_EQ(0, fileSize(out));

  ASSERT_TRUE(pack.nextEntry());
  EXPECT_EQ(ErrorKind::kNone, extract(out));
  EXPECT_EQ("<sheet/>", readFile(out));
  // The data streams by once: a second extraction replaces the file with nothing.
  EXPECT_EQ(ErrorKind::kNone, extract(out));
  EXPECT_TRUE(pathExists(out));
  EXPECT_EQ(0, fileSize(out));
}

TEST_F(PackReaderTest, TargetThatCannotBeWrittenIsLeftAlone) {
  Text zip = dir + u"one.zip";
  ASSERT_TRUE(makeZip(zip, "z.writestr('data.xml', 'new content')"));
  ASSERT_TRUE(openFirst(zip));
  Failure failure = pack.extractEntryTo(dir + u"missing/data.xml", budget);
  EXPECT_EQ(ErrorKind::kCannotExtract, failure.kind);
  EXPECT_NE(0, failure.code);  // the system's, for the words
  EXPECT_FALSE(pathExists(dir + u"missing"));

  ASSERT_TRUE(std::filesystem::create_directory(native(dir + u"folder")));
  EXPECT_EQ(ErrorKind::kExtractTargetIsFolder, extract(dir + u"folder"));
  EXPECT_EQ(-2, fileSize(dir + u"folder"));

  Text locked = dir + u"locked.xml";
  writeFile(locked, "old content");
  std::filesystem::permissions(native(locked), std::filesystem::perms::owner_read);
  EXPECT_EQ(ErrorKind::kExtractTargetReadOnly, extract(locked));
  EXPECT_EQ("old content", readFile(locked));

  // The entry's data was not consumed by the refused attempts.
  EXPECT_EQ(ErrorKind::kNone, extract(dir + u"data.xml"));
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
  EXPECT_EQ(ErrorKind::kNone, extract(out));
  EXPECT_TRUE(readFile(out) == readFile(expected));
  ASSERT_TRUE(pack.nextEntry());
  EXPECT_EQ(u"after.txt", pack.entryName());
}

// Checksums, encryption and the rest: EntryFaultsAreToldApart.
TEST_F(PackReaderTest, DamagedDataLeavesNoTarget) {
  Text deflated = dir + u"deflated.zip";
  ASSERT_TRUE(makeZip(deflated,
                      "z.writestr('sheet.xml', ''.join('<row r=\"%d\"/>' % i for i in range(4000)))\n"
                      "z.writestr('next.xml', 'next')\n",
                      "start = 30 + struct.unpack('<H', data[26:28])[0] + "
                      "struct.unpack('<H', data[28:30])[0]\n"
                      "for i in range(start + 200, start + 240): data[i] ^= 0x5A\n"));
  Text out = dir + u"sheet.xml";
  ASSERT_TRUE(openFirst(deflated));
  EXPECT_EQ(ErrorKind::kEntryDamaged, extract(out));
  EXPECT_FALSE(pathExists(out));
}

TEST_F(PackReaderTest, NamesComeBackAsStored) {
  Text zip = dir + u"names.zip";
  ASSERT_TRUE(makeZip(zip,
                      "z.writestr('数据/子目录/Sheet1.XML', 'a')\n"
                      "z.writestr('xl/SharedStrings.xml', 'b')\n"
                      "z.writestr('cafX.txt', 'c')\n",
                      "data[:] = data.replace(b'cafX.txt', b'caf\\xe9.txt')"));
  ASSERT_FALSE(pack.open(zip));
  ASSERT_TRUE(pack.nextEntry());
  EXPECT_EQ(u"数据/子目录/Sheet1.XML", pack.entryName());
  ASSERT_TRUE(pack.nextEntry());
  EXPECT_EQ(u"xl/SharedStrings.xml", pack.entryName());
  // A legacy name that is not UTF-8 is read byte for byte as Latin-1.
  ASSERT_TRUE(pack.nextEntry());
  EXPECT_EQ(u"caf\u00e9.txt", pack.entryName());
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
  EXPECT_EQ(ErrorKind::kNone, extract(dir + u"bad.xml"));
  ASSERT_TRUE(pack.nextEntry());
  EXPECT_EQ(u"xl/sheet1.xml", pack.entryName());
  EXPECT_EQ(ErrorKind::kNone, extract(dir + u"sheet1.xml"));
  EXPECT_FALSE(pack.nextEntry());
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
  writeFile(dir + u"empty.bin", "");
  writeFile(dir + u"old.xls", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'));
  writeFile(dir + u"short.xls", "\xD0\xCF\x11\xE0");
  struct Case {
    Text path;
    ErrorKind kind;
  } cases[] = {
      {u"", ErrorKind::kWorkbookMissing},
      {dir + u"absent.zip", ErrorKind::kWorkbookMissing},
      {dir + u"absent/inner.zip", ErrorKind::kWorkbookMissing},
      {dir, ErrorKind::kNotAWorkbook},
      {dir + u"notes.txt", ErrorKind::kNotAWorkbook},
      {dir + u"empty.bin", ErrorKind::kNotAWorkbook},
      {dir + u"old.xls", ErrorKind::kWorkbookLocked},
      {dir + u"short.xls", ErrorKind::kNotAWorkbook},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.kind, pack.open(c.path).kind) << toUtf8(c.path);
    // Nothing is open after a failed open.
    EXPECT_FALSE(pack.nextEntry());
    EXPECT_EQ(u"", pack.entryName());
    EXPECT_NE(ErrorKind::kNone, extract(dir + u"out"));
    EXPECT_FALSE(pathExists(dir + u"out"));
  }
  ASSERT_TRUE(makeZip(dir + u"good.zip", "z.writestr('a', 'a')"));
  EXPECT_EQ(ErrorKind::kNone, pack.open(dir + u"good.zip").kind);
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
  EXPECT_EQ(ErrorKind::kEntryIsLink, extract(out));
  ASSERT_TRUE(pack.nextEntry());
  EXPECT_EQ(ErrorKind::kEntryIsFolder, extract(out));
  ASSERT_TRUE(pack.nextEntry());
  EXPECT_EQ(ErrorKind::kEntryChecksum, extract(out));
  EXPECT_FALSE(pathExists(out));
  ASSERT_TRUE(pack.nextEntry());
  EXPECT_EQ(ErrorKind::kNone, extract(out));
  EXPECT_FALSE(pack.nextEntry());
  EXPECT_EQ(ErrorKind::kNone, pack.walkFault());

  Text encrypted = dir + u"encrypted.zip";
  ASSERT_TRUE(makeZip(encrypted, "z.writestr('secret.xml', 's' * 64)",
                      std::string(kSetFlagScript) + "set_flag(1)"));
  ASSERT_TRUE(openFirst(encrypted));
  EXPECT_EQ(ErrorKind::kEntryEncrypted, extract(out));

  // Cut inside the second entry: that entry, and then the walk, end early.
  Text cut = dir + u"cut.zip";
  ASSERT_TRUE(makeZip(cut,
                      "r = random.Random(5)\n"
                      "z.writestr('a.bin', r.randbytes(1000))\n"
                      "z.writestr('b.bin', r.randbytes(100000))\n",
                      "del data[20000:]"));
  ASSERT_TRUE(openFirst(cut));
  EXPECT_EQ(ErrorKind::kNone, extract(out));
  ASSERT_TRUE(pack.nextEntry());
  EXPECT_EQ(ErrorKind::kEntryCutShort, extract(dir + u"b.bin"));
  EXPECT_FALSE(pack.nextEntry());
  EXPECT_EQ(ErrorKind::kArchiveCutShort, pack.walkFault());
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
  EXPECT_EQ(ErrorKind::kNone, extract(parts + u"part.xml"));
  ASSERT_TRUE(pack.nextEntry());
  EXPECT_EQ(ErrorKind::kEntryDamaged, extract(parts + u"part.xml"));
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
  budget = 4000;
  Text out = dir + u"out.bin";
  ASSERT_TRUE(openFirst(zip));
  EXPECT_EQ(ErrorKind::kNone, extract(out));
  EXPECT_EQ(1000, budget);
  ASSERT_TRUE(pack.nextEntry());
  EXPECT_EQ(ErrorKind::kEntryTooLarge, extract(dir + u"b.bin"));
  EXPECT_EQ(1000, budget);  // refused on its header: nothing inflated
  EXPECT_FALSE(pathExists(dir + u"b.bin"));
  ASSERT_TRUE(pack.nextEntry());
  EXPECT_EQ(ErrorKind::kNone, extract(dir + u"c.bin"));
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
  EXPECT_EQ(ErrorKind::kEntryDamaged, extract(out));
  EXPECT_LT(budget, int64_t{1} << 30);
  EXPECT_GT(budget, (int64_t{1} << 30) - (int64_t{16} << 20));
  pack.close();

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
  EXPECT_EQ(ErrorKind::kEntryTooLarge, extract(out));
  EXPECT_LT(budget, 0);
  EXPECT_EQ(std::string(3000, 'a'), readFile(out));  // the earlier good file stays
  EXPECT_FALSE(pathExists(out + u".partial"));
}

}  // namespace
