// Times the two readers on a large relation table: 100,000 entries by 20
// groups, every cell a shared string, as a spreadsheet program writes them,
// and measures the peak memory of reading it in a child process.
//
//   read_table_bench [rows] [groups]
//   read_table_bench --huge [MiB]   one cell of that many MiB (default 100),
//                                   as a shared string, an inline string and a
//                                   plain value: the peak against its bound of
//                                   4 x the two parts + 64 MiB

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <expat.h>

#include <functional>
#include <vector>

#include "fs/paths.h"
#include "text/pattern.h"
#include "text/text.h"
#include "workbook/cell_map.h"
#include "workbook/workbook.h"
#include "xml/xml_document.h"

namespace {

constexpr int kDestinationTexts = 40;
constexpr int kFirstGroupColumn = 4;

bool WriteText(const Text& path, const std::string& bytes) {
  std::FILE* file = openFile(path, "wb");
  if (!file) return false;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

// Index layout: groups, then destination lists, then one name per row.
std::string SharedStringsXml(int rows, int groups) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
  for (int g = 0; g < groups; ++g) xml += "<si><t>第" + std::to_string(g + 1) + "组</t></si>";
  for (int d = 0; d < kDestinationTexts; ++d)
    xml += "<si><t>一季度" + std::to_string(d) + ";二季度,年度总结</t></si>";
  for (int r = 0; r < rows; ++r) xml += "<si><t>人员" + std::to_string(r) + "</t></si>";
  return xml + "</sst>";
}

std::string Cell(const std::string& ref, int index) {
  return "<c r=\"" + ref + "\" s=\"1\" t=\"s\"><v>" + std::to_string(index) + "</v></c>";
}

std::string WorksheetXml(int rows, int groups) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<sheetData><row r=\"2\">";
  for (int g = 0; g < groups; ++g)
    xml += Cell(toUtf8(ColumnLetters(kFirstGroupColumn + g)) + "2", g);
  xml += "</row>";
  for (int r = 0; r < rows; ++r) {
    std::string row = std::to_string(r + 3);
    xml += "<row r=\"" + row + "\">" + Cell("C" + row, groups + kDestinationTexts + r);
    for (int g = 0; g < groups; ++g) {
      std::string ref = toUtf8(ColumnLetters(kFirstGroupColumn + g)) + row;
      xml += Cell(ref, groups + (r * 7 + g) % kDestinationTexts);
    }
    xml += "</row>";
  }
  return xml + "</sheetData></worksheet>";
}

// The largest resident size, in bytes, of a child process that runs read and
// ends; -1 where processes cannot be forked.
int64_t PeakOfChild(const std::function<void()>& read) {
#ifdef _WIN32
  (void)read;
  return -1;
#else
  std::fflush(stdout);
  pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    read();
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status)) return -1;
  return static_cast<int64_t>(usage.ru_maxrss) * 1024;
#endif
}

double MiB(int64_t bytes) { return bytes / 1048576.0; }

void ReadParts(const Text& strings, const Text& sheet) {
  ResetWorkbookCollections();
  Text problem;
  LoadSharedStrings(strings, problem);
  if (problem.empty()) LoadWorksheet(sheet, problem);
  if (!problem.empty()) std::printf("  reading failed: %s\n", toUtf8(problem).c_str());
}

// One cell of the given size at D3 below a header, the way it is stored.
int MeasureHugeCell(const Text& folder, int mib) {
  Text strings = folder + u"sharedStrings.xml";
  Text sheet = folder + u"sheet1.xml";
  const std::string open =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<sheetData><row r=\"2\"><c r=\"D2\" t=\"s\"><v>0</v></c></row><row r=\"3\">"
      "<c r=\"C3\" t=\"s\"><v>0</v></c>";
  const std::string close = "</row></sheetData></worksheet>";
  struct Placement {
    const char* name;
    std::string cell;  // with the huge text where "@" stands
    bool inStrings;
  } placements[] = {
      {"shared string", "<c r=\"D3\" t=\"s\"><v>1</v></c>", true},
      {"inline string", "<c r=\"D3\" t=\"inlineStr\"><is><t>@</t></is></c>", false},
      {"plain value", "<c r=\"D3\" t=\"str\"><v>@</v></c>", false},
  };
  bool withinAll = true;
  for (const Placement& placement : placements) {
    std::string huge(static_cast<size_t>(mib) << 20, 'x');
    std::string sst = "<sst><si><t>组</t></si><si><t>" + (placement.inStrings ? huge : "") +
                      "</t></si></sst>";
    std::string cell = placement.cell;
    size_t at = cell.find('@');
    if (at != std::string::npos) cell.replace(at, 1, huge);
    std::string().swap(huge);
    bool written = WriteText(strings, sst) && WriteText(sheet, open + cell + close);
    std::string().swap(sst);
    std::string().swap(cell);
    if (!written) return 1;
    int64_t parts = fileSize(strings) + fileSize(sheet);
    int64_t peak = PeakOfChild([&] { ReadParts(strings, sheet); });
    int64_t bound = 4 * parts + (int64_t{64} << 20);
    std::printf("%d MiB cell as %s: parts %.1f MiB, peak %.1f MiB (%.2f x parts), bound %.1f MiB: %s\n",
                mib, placement.name, MiB(parts), MiB(peak), double(peak) / parts, MiB(bound),
                peak < 0 ? "not measured" : peak < bound ? "within" : "OVER");
    withinAll = withinAll && peak < bound;
  }
  deleteFile(strings, kForceDelete);
  deleteFile(sheet, kForceDelete);
  return withinAll ? 0 : 2;
}

void XMLCALL NoElementStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL NoElementEnd(void*, const XML_Char*) {}
void XMLCALL NoCharacters(void*, const XML_Char*, int) {}

// The floor any reader of the file sits on: expat alone, handlers that do
// nothing, the file read in the chunks the loader uses.
bool BareExpatPass(const Text& path) {
  std::FILE* file = openFile(path, "rb");
  if (!file) return false;
  XML_Parser parser = XML_ParserCreate(nullptr);
  XML_SetElementHandler(parser, NoElementStart, NoElementEnd);
  XML_SetCharacterDataHandler(parser, NoCharacters);
  std::vector<char> buffer(16384);
  bool ok = true;
  for (;;) {
    size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
    bool last = got < buffer.size();
    if (XML_Parse(parser, buffer.data(), static_cast<int>(got), last) == XML_STATUS_ERROR) {
      ok = false;
      break;
    }
    if (last) break;
  }
  XML_ParserFree(parser);
  std::fclose(file);
  return ok;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--huge") {
    Text folder = createPrivateFolder(tempDirectory());
    if (folder.empty()) return 1;
    XmlDocument::startup();
    int result = MeasureHugeCell(folder, argc > 2 ? std::atoi(argv[2]) : 100);
    removeDirectory(folder);
    return result;
  }
  int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  int groups = argc > 2 ? std::atoi(argv[2]) : 20;
  Text folder = createPrivateFolder(tempDirectory());
  if (folder.empty()) return 1;
  Text strings = folder + u"sharedStrings.xml";
  Text sheet = folder + u"sheet1.xml";
  bool written = WriteText(strings, SharedStringsXml(rows, groups)) &&
                 WriteText(sheet, WorksheetXml(rows, groups));
  if (written) {
    XmlDocument::startup();
    ResetWorkbookCollections();
    auto start = std::chrono::steady_clock::now();
    std::clock_t readCpu = std::clock();
    LoadSharedStrings(strings);
    double stringsSeconds = SecondsSince(start);
    start = std::chrono::steady_clock::now();
    Text extent = LoadWorksheet(sheet);
    double sheetSeconds = SecondsSince(start);
    double readCpuSeconds = double(std::clock() - readCpu) / CLOCKS_PER_SEC;
    std::printf("table: %d rows x %d groups\n", rows, groups);
    std::printf("sharedStrings.xml: %lld bytes, %zu strings, %.3f s\n",
                static_cast<long long>(fileSize(strings)), SharedStrings.size(), stringsSeconds);
    std::printf("sheet1.xml: %lld bytes, %zu cells, extent %s, %.3f s (%.0f cells/s)\n",
                static_cast<long long>(fileSize(sheet)), Cells.size(), toUtf8(extent).c_str(),
                sheetSeconds, Cells.size() / sheetSeconds);
    std::printf("total: %.3f s\n", stringsSeconds + sheetSeconds);
    // Compared in processor time as well: on a shared machine the wall clock
    // also counts other programs.
    start = std::chrono::steady_clock::now();
    std::clock_t bareCpu = std::clock();
    bool bare = BareExpatPass(strings) && BareExpatPass(sheet);
    double bareCpuSeconds = double(std::clock() - bareCpu) / CLOCKS_PER_SEC;
    double bareSeconds = SecondsSince(start);
    std::printf("bare expat pass over both parts: %.3f s (processor %.3f s)%s\n", bareSeconds,
                bareCpuSeconds, bare ? "" : " (parse error)");
    std::printf("readers / bare expat: %.2f x (processor time %.2f x)\n",
                (stringsSeconds + sheetSeconds) / bareSeconds, readCpuSeconds / bareCpuSeconds);
    XmlDocument::free(-1);
    ResetWorkbookCollections();
    int64_t parts = fileSize(strings) + fileSize(sheet);
    int64_t peak = PeakOfChild([&] { ReadParts(strings, sheet); });
    std::printf("peak memory reading in a child: %.1f MiB (%.2f x the parts' %.1f MiB)\n",
                MiB(peak), double(peak) / parts, MiB(parts));
    XmlDocument::shutdown();
    releasePatterns(-1);
  }
  deleteFile(strings, kForceDelete);
  deleteFile(sheet, kForceDelete);
  removeDirectory(folder);
  return written ? 0 : 1;
}
