// The file operations as the Windows program sees them: drive roots, "\"
// separators, letter case, read-only attributes and paths past 260
// characters. Built for Windows only and run under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "fs/copy_tree.h"
#include "fs/part_name.h"
#include "fs/paths.h"
#include "fs/system_error_text.h"
#include "support/temp_folder.h"
#include "app/failure_words.h"

namespace stdfs = std::filesystem;

namespace {

stdfs::path fsPath(const Text& path) {
  return stdfs::u8path(native(path));
}

void makeReadOnly(const Text& path) {
  std::error_code error;
  stdfs::permissions(
      fsPath(path),
      stdfs::perms::owner_write | stdfs::perms::group_write | stdfs::perms::others_write,
      stdfs::perm_options::remove, error);
}

bool isReadOnly(const Text& path) {
  std::error_code error;
  return (stdfs::status(fsPath(path), error).permissions() & stdfs::perms::owner_write) ==
         stdfs::perms::none;
}

// A drive letter with nothing behind it, found without the code under test.
Text absentDrive() {
  for (char16_t letter = u'Y'; letter > u'D'; --letter) {
    Text root = Text(1, letter) + u":\\";
    std::error_code error;
    if (!stdfs::exists(fsPath(root), error)) return Text(1, letter) + u":";
  }
  return Text();
}

const Text kLevelName = u"层级-" + Text(20, u'x');

// A folder whose path runs well past 260 characters, built so that the 260th
// character falls inside a name: a path cut there names a folder of its own.
Text deepFolder(const Text& base) {
  const size_t level = kLevelName.size() + 1;
  size_t pad = 1;
  while ((260 - (base.size() + pad + 1)) % level != level / 2) ++pad;
  Text path = base + Text(pad, u'p') + u"\\";
  for (int i = 0; i < 12; ++i) path += kLevelName + u"\\";
  return path;
}

// Removes what deepFolder made below base, deepest first: the test folder's
// cleanup cannot walk paths that long.
void removeDeepFolder(Text path, const Text& base) {
  while (path.size() > base.size()) {
    removeDirectory(path);
    path = pathPart(trimRightChar(path, u"\\"));
  }
}

// The part files in folder, by their exact form.
int partFilesIn(const Text& folder) {
  int count = 0;
  std::error_code error;
  for (auto& entry : stdfs::directory_iterator(fsPath(folder), error)) {
    std::wstring name = entry.path().filename().wstring();
    if (isPartName(Text(name.begin(), name.end()))) ++count;
  }
  return count;
}

// Runs a POSIX program in folder, as Wine can; false where it cannot.
bool runPosix(const Text& folder, const Text& commandLine) {
  std::wstring line = fsPath(commandLine).wstring();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      fsPath(folder).wstring().c_str(), &startup, &process))
    return false;
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool isFolderLink(const Text& path) {
  DWORD attributes = GetFileAttributesW(fsPath(path).wstring().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Makes name in folder a link to the folder target, which relative names
// from folder with "/". A junction needs no privilege, unlike a symbolic
// link; the C++ library here makes neither, the command interpreter does.
// Wine's makes none, but there a POSIX symbolic link reads as a reparse
// folder, and Wine starts POSIX programs such as ln.
bool makeFolderLink(const Text& folder, const Text& name, const Text& target,
                    const Text& relative) {
  std::string command =
      "cmd /c \"mklink /J \"" + native(folder + name) + "\" \"" + native(target) + "\"\" >NUL 2>&1";
  std::system(command.c_str());
  if (isFolderLink(folder + name)) return true;
  removeDirectory(folder + name);  // an empty folder where the junction failed
  if (!runPosix(folder, u"Z:\\bin\\ln -s " + relative + u" " + name)) return false;
  // Wine does not wait for a POSIX program's end: the link shows up later.
  for (int i = 0; i < 500 && !isFolderLink(folder + name); ++i) Sleep(10);
  return isFolderLink(folder + name);
}

void removeFolderLink(const Text& folder, const Text& name) {
  if (RemoveDirectoryW(fsPath(folder + name).wstring().c_str()) ||
      !runPosix(folder, u"Z:\\bin\\rm " + name))
    return;
  for (int i = 0; i < 500 && pathExists(folder + name); ++i) Sleep(10);
}

}  // namespace

TEST(WindowsPaths, ProgramAndTemporaryFoldersUseBackslashes) {
  Text program = programFileName();
  EXPECT_EQ(u"windows_tests.exe", filePart(program));
  EXPECT_NE(u'\\', program[0]);  // no "\\?\" prefix left
  EXPECT_EQ(u'\\', programDirectory().back());
  EXPECT_EQ(-2, fileSize(programDirectory()));
  Text temp = tempDirectory();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(u'\\', temp.back());
  EXPECT_EQ(-2, fileSize(temp));
}

TEST(WindowsPaths, DriveRootsAreFoldersWhenTheDriveExists) {
  EXPECT_EQ(-2, fileSize(u"C:"));
  EXPECT_EQ(-2, fileSize(u"C:\\"));
  EXPECT_EQ(-2, fileSize(u"c:/"));
  Text absent = absentDrive();
  ASSERT_FALSE(absent.empty());
  EXPECT_EQ(-1, fileSize(absent));
  EXPECT_EQ(-1, fileSize(absent + u"\\"));
  EXPECT_EQ(0, makePath(absent + u"\\x\\y\\"));
  EXPECT_EQ(-1, fileSize(u"\\\\\\"));
}

class WindowsFiles : public TempFolderTest {};

TEST_F(WindowsFiles, FileSizeProbesBySearch) {
  writeFile(dir + u"材料.txt", "12345");
  writeFile(dir + u"empty.bin", "");
  EXPECT_EQ(5, fileSize(dir + u"材料.txt"));
  EXPECT_EQ(5, fileSize(dir + u"材料.TXT"));  // letter case does not matter here
  EXPECT_EQ(0, fileSize(dir + u"empty.bin"));
  EXPECT_EQ(-2, fileSize(dir));
  EXPECT_EQ(-2, fileSize(dir + u"/"));
  EXPECT_EQ(5, fileSize(dir + u"*.txt"));  // the first match decides
  EXPECT_EQ(-1, fileSize(dir + u"absent"));
  EXPECT_EQ(-2, fileSize(u"\\\\?\\" + dir));
}

TEST_F(WindowsFiles, CreateAndDeleteFollowTheAttributes) {
  EXPECT_EQ(1, createDirectory(dir + u"new\\ "));
  EXPECT_EQ(-2, fileSize(dir + u"new"));
  EXPECT_EQ(0, createDirectory(dir + u"new"));
  EXPECT_EQ(0, createDirectory(dir + u"missing\\new"));
  Text file = dir + u"只读.txt";
  writeFile(file, "x");
  makeReadOnly(file);
  ASSERT_TRUE(isReadOnly(file));
  EXPECT_EQ(0, deleteFile(file, 0));
  EXPECT_TRUE(pathExists(file));
  EXPECT_EQ(1, deleteFile(file, kForceDelete));
  EXPECT_FALSE(pathExists(file));
  EXPECT_EQ(0, deleteFile(file, kForceDelete));
}

TEST_F(WindowsFiles, MakePathEndsAtTheFirstExistingFolder) {
  EXPECT_EQ(1, makePath(dir + u"a\\b\\c\\"));
  EXPECT_EQ(-2, fileSize(dir + u"a\\b\\c"));
  writeFile(dir + u"f", "");
  Failure failure;
  EXPECT_EQ(1, makePath(dir + u"f\\g\\", &failure));
  EXPECT_EQ(-1, fileSize(dir + u"f\\g"));
  EXPECT_EQ(ErrorKind::kFileInTheWay, failure.kind);
}

TEST_F(WindowsFiles, PrivateFoldersAreDistinct) {
  Text one = createPrivateFolder(dir), two = createPrivateFolder(dir);
  ASSERT_FALSE(one.empty());
  EXPECT_NE(one, two);
  EXPECT_EQ(u'\\', one.back());
  writeFile(one + u"sheet1.xml", "x");
  makeReadOnly(one + u"sheet1.xml");
  EXPECT_EQ(1, removeFilesIn(one));
  EXPECT_EQ(1, removeDirectory(one));
  EXPECT_TRUE(createPrivateFolder(dir + u"absent\\").empty());
}

TEST_F(WindowsFiles, OpenFileReadsWhatItWrote) {
  Text file = dir + u"同步.xml";
  std::FILE* out = openFile(file, "wb");
  ASSERT_NE(nullptr, out);
  std::fputs("a\nb", out);
  std::fclose(out);
  EXPECT_EQ(3, fileSize(file));  // binary: no CR added
  std::FILE* in = openFile(file, "rb");
  ASSERT_NE(nullptr, in);
  char buffer[8] = {};
  EXPECT_EQ(3u, std::fread(buffer, 1, sizeof buffer, in));
  std::fclose(in);
  EXPECT_EQ(nullptr, openFile(dir + u"absent", "rb"));
  EXPECT_EQ(nullptr, openFile(file, "q"));
}

TEST_F(WindowsFiles, LongPathsAreNeverCut) {
  Text deep = deepFolder(dir);
  ASSERT_GT(deep.size(), 300u);
  EXPECT_EQ(1, makePath(deep));
  EXPECT_EQ(-2, fileSize(deep));
  EXPECT_EQ(-1, fileSize(deep.substr(0, 260)));
  std::FILE* out = openFile(deep + u"a.txt", "wb");
  ASSERT_NE(nullptr, out);
  std::fputs("abc", out);
  std::fclose(out);
  EXPECT_EQ(3, fileSize(deep + u"a.txt"));
  Text top = deep.substr(0, deep.find(u'\\', dir.size()) + 1);  // the padding folder
  CopyReport report;
  EXPECT_EQ(1, copyTree(top, dir + u"copy", 3, &report));
  EXPECT_EQ(0, report.failedEntries) << static_cast<int>(report.firstFailure.kind);
  Text copiedFolder = dir + u"copy\\" + deep.substr(top.size());
  EXPECT_EQ(3, fileSize(copiedFolder + u"a.txt"));
  EXPECT_EQ(1, deleteFile(copiedFolder + u"a.txt", 0));
  EXPECT_EQ(-1, fileSize(copiedFolder + u"a.txt"));
  EXPECT_EQ(1, deleteFile(deep + u"a.txt", 0));
  removeDeepFolder(copiedFolder, dir);
  removeDeepFolder(deep, dir);
  EXPECT_EQ(-1, fileSize(top));
}

class WindowsCopy : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    source = dir + u"src\\";
    makePath(source + u"s\\");
    writeFile(source + u"a.txt", "a");
    writeFile(source + u"readme", "r");
    writeFile(source + u"s\\c.txt", "c");
  }
  Text source;
};



TEST_F(WindowsCopy, DestinationInsideTheSourceIsRefusedWhateverItsCase) {
  EXPECT_EQ(0, copyTree(source, dir + u"SRC\\S\\inner\\", 3));
  EXPECT_FALSE(pathExists(source + u"s\\inner"));
}

TEST_F(WindowsCopy, FolderLinksAreNotFollowed) {
  if (!makeFolderLink(source + u"s\\", u"loop", source, u".."))
    GTEST_SKIP() << "no folder links on this system";
  CopyReport report;
  EXPECT_EQ(0, copyTree(source, dir + u"dest", 3, &report));
  EXPECT_EQ(1, report.failedEntries);
  EXPECT_EQ(dir + u"dest\\s\\loop", report.firstFailedPath);
  EXPECT_EQ(ErrorKind::kFolderLinkSkipped, report.firstFailure.kind);
  EXPECT_EQ("c", readFile(dir + u"dest\\s\\c.txt"));
  // The folder cleanup would walk round the loop.
  removeFolderLink(source + u"s\\", u"loop");
  EXPECT_FALSE(pathExists(source + u"s\\loop"));
}

TEST_F(WindowsCopy, NothingIsWrittenThroughAJunctionInTheDestination) {
  Text outside = dir + u"outside\\", x = dir + u"X\\";
  makePath(outside);
  makePath(x);
  if (!makeFolderLink(x, u"out", outside, u"../outside"))
    GTEST_SKIP() << "no folder links on this system";
  EXPECT_TRUE(passesThroughLink(dir, x + u"out\\"));
  EXPECT_TRUE(passesThroughLink(dir, x + u"OUT\\new\\deeper\\"));
  EXPECT_TRUE(passesThroughLink(toUpper(dir), x + u"out/new/"));
  EXPECT_FALSE(passesThroughLink(dir, x + u"real\\missing\\"));
  EXPECT_FALSE(passesThroughLink(dir, x));
  EXPECT_FALSE(passesThroughLink(x + u"out\\", u"C:\\elsewhere\\"));
  // The base may itself be a junction: the user chose it.
  EXPECT_FALSE(passesThroughLink(x + u"out\\", x + u"out\\new\\"));
  CopyReport report;
  EXPECT_EQ(0, copyTree(source, x + u"out\\", 3, &report));
  EXPECT_EQ(1, report.failedEntries);
  EXPECT_EQ(x + u"out", report.firstFailedPath);
  EXPECT_EQ(ErrorKind::kDestinationIsLink, report.firstFailure.kind);
  EXPECT_EQ(0, copyTree(source, x + u"out", 3));
  std::error_code error;
  EXPECT_TRUE(stdfs::is_empty(fsPath(outside), error));
}

TEST_F(WindowsCopy, PartNamesAreTheRunsOwnAndOfFixedLength) {
  // A name of 255 units, the most a component may have, still copies.
  Text longest(255, u'材');
  writeFile(source + longest, "longest");
  // Material that merely looks like a leftover, in the old and the new form.
  const uint32_t gone = 0xfffffff0;  // no process has this id
  Text lookalike = partName(gone, 1, 2);
  writeFile(source + u".~varnelo-a.txt.part", "material");
  writeFile(source + lookalike, "also material");
  Text dest = dir + u"dest\\";
  makePath(dest);
  Text leftover = partName(gone, 3, 4), live = partName(GetCurrentProcessId(), 5, 6);
  writeFile(dest + leftover, "left by a killed run");
  writeFile(dest + live, "being written by a running copy");
  for (int round = 0; round < 2; ++round) {
    CopyReport report;
    EXPECT_EQ(1, copyTree(source, dest, 3, &report)) << static_cast<int>(report.firstFailure.kind);
    EXPECT_EQ("longest", readFile(dest + longest));
    EXPECT_EQ("material", readFile(dest + u".~varnelo-a.txt.part"));
    EXPECT_EQ("also material", readFile(dest + lookalike));
    EXPECT_FALSE(pathExists(dest + leftover));
    EXPECT_TRUE(pathExists(dest + live));
  }
}


TEST_F(WindowsCopy, ATargetOpenElsewhereIsNamedAsInUse) {
  Text dest = dir + u"dest\\";
  ASSERT_EQ(1, copyTree(source, dest, 3));
  writeFile(source + u"a.txt", "new content");
  // Open without sharing, as an office program holds a document.
  HANDLE held = CreateFileW(fsPath(dest + u"a.txt").wstring().c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  CopyReport report;
  EXPECT_EQ(0, copyTree(source, dest, 3, &report));
  CloseHandle(held);
  EXPECT_EQ(ErrorKind::kInUse, report.firstFailure.kind);
  EXPECT_EQ(0, partFilesIn(dest));
  EXPECT_EQ(1, copyTree(source, dest, 3));
  EXPECT_EQ("new content", readFile(dest + u"a.txt"));
}

TEST(WindowsErrorText, CodesOutsideTheTableKeepTheSystemsMessage) {
  EXPECT_EQ(u"文件正被其他程序打开，请关闭后重新运行",
            reasonForError(ERROR_ACCESS_DENIED, ErrorContext::kReplacingTarget));
  EXPECT_EQ(u"源文件在同步时被删除或移走",
            reasonForError(ERROR_FILE_NOT_FOUND, ErrorContext::kReadingSource));
  Text system = reasonForError(ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(system.empty());
  EXPECT_EQ(system, reasonForError(ERROR_FILE_NOT_FOUND, ErrorContext::kReplacingTarget));
  SetLastError(ERROR_DISK_FULL);
  EXPECT_EQ(ErrorKind::kDiskFull, lastFailure().kind);
}

// Several files at once, as on a share, against one at a time: the same
// tree, counts and first failure. The destination was there before, so its
// targets are found through its listing, whatever their letter case.
TEST_F(WindowsCopy, SeveralAtOnceLeaveAndReportWhatOneAtATimeDoes) {
  for (int file = 0; file < 40; ++file)
    writeFile(source + u"s\\f" + intToText(file) + u".docx", std::string(1000 + file * 37, 'x'));
  struct Outcome {
    int result = 0;
    CopyReport report;
    std::string tree;
  };
  auto copyWith = [&](int workers, const Text& destination) {
    makePath(destination + u"s\\f7.docx\\");  // a folder where a file goes
    writeFile(destination + u"s\\f9.docx", "older");
    makeReadOnly(destination + u"s\\f9.docx");
    writeFile(destination + u"A.TXT", "b");  // the same file under other letters
    forcedCopyWorkers = workers;
    Outcome outcome;
    outcome.result = copyTree(source, destination, kCopyRecursive, &outcome.report);
    forcedCopyWorkers = 0;
    for (auto& entry : stdfs::recursive_directory_iterator(fsPath(destination)))
      outcome.tree += entry.path().filename().string() + " " +
                      (entry.is_directory() ? "" : std::to_string(entry.file_size())) + "\n";
    return outcome;
  };
  Outcome alone = copyWith(1, dir + u"one\\");
  Outcome together = copyWith(8, dir + u"many\\");
  EXPECT_EQ(alone.tree, together.tree);
  EXPECT_EQ(0, together.result);
  EXPECT_EQ(2, together.report.failedEntries);  // the folder in the way, the read-only target
  EXPECT_EQ(alone.report.firstFailedPath.substr(dir.size() + 4),
            together.report.firstFailedPath.substr(dir.size() + 5));
  EXPECT_EQ(alone.report.unchangedFiles, together.report.unchangedFiles);
  EXPECT_EQ(alone.report.copiedFiles, together.report.copiedFiles);
  EXPECT_EQ("a", readFile(dir + u"many\\A.TXT"));
}

// A sub-folder's destination is judged by what its folder's listing found:
// a folder there under other letters is used, a file there is in the way, a
// junction there is never written through.
TEST_F(WindowsCopy, TheListingDecidesEachSubFolder) {
  for (const char16_t* name : {u"t", u"u", u"v"}) {
    makePath(source + name + u"\\deeper\\");
    writeFile(source + name + u"\\deeper\\d.txt", "d");
  }
  Text destination = dir + u"dest\\", outside = dir + u"outside\\";
  makePath(destination + u"S\\");  // "s" under other letters
  writeFile(destination + u"S\\c.txt", "old");
  writeFile(destination + u"t", "a file where a folder goes");
  makePath(outside);
  bool junction = makeFolderLink(destination, u"u", outside, u"../outside");
  CopyReport report;
  EXPECT_EQ(0, copyTree(source, destination, kCopyRecursive, &report));
  EXPECT_EQ(junction ? 2 : 1, report.failedEntries);
  // The walk meets the two in the order the file system lists them.
  if (report.firstFailedPath == destination + u"t")
    EXPECT_EQ(ErrorKind::kFileInTheWay, report.firstFailure.kind);
  else
    EXPECT_EQ(ErrorKind::kDestinationIsLink, report.firstFailure.kind);
  EXPECT_EQ("c", readFile(destination + u"S\\c.txt"));
  EXPECT_EQ("d", readFile(destination + u"v\\deeper\\d.txt"));
  std::error_code error;
  EXPECT_TRUE(stdfs::is_empty(fsPath(outside), error));
  if (junction) removeFolderLink(destination, u"u");
}
