// The whole read of a large relation table (taking the two parts out of the
// workbook, the shared strings, the worksheet and its extent) against what
// no reader can go below: the same two parts unzipped into memory and run
// once through expat without handlers. Peak memory is set against the size
// of the two parts unzipped.
//
//   read_table_bench [WORKBOOK.xlsx] [runs]
//   read_table_bench --generate ROWS GROUPS [runs]
//   read_table_bench --huge [MiB]
//
// Without a workbook it writes its own: 100,000 entries by 20 groups, every
// cell a shared string. bench/make_table_workbook.py writes one with
// XlsxWriter instead. Times are medians over the runs (default 5); the floor
// is measured in the same process, between the reads, so that both see the
// same machine load.
//
// --huge reads one cell of that many MiB (default 100), as a shared string,
// an inline string and a plain value, each in a child process, and sets its
// peak against the bound of 4 x the two parts + 64 MiB.

#include <archive.h>
#include <archive_entry.h>
#include <expat.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_workbook.h"
#include "fs/paths.h"
#include "text/text.h"
#include "workbook/table_reading.h"
#include "workbook/workbook.h"

namespace {

constexpr int kDestinationTexts = 40;
constexpr int kFirstGroupColumn = 4;
const char* const kSheetPart = "xl/worksheets/sheet1.xml";
const char* const kStringsPart = "xl/sharedStrings.xml";

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

void AppendCell(std::string& xml, const std::string& ref, int index) {
  xml += "<c r=\"" + ref + "\" s=\"1\" t=\"s\"><v>" + std::to_string(index) + "</v></c>";
}

std::string WorksheetXml(int rows, int groups) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<dimension ref=\"C2:" +
      toUtf8(ColumnLetters(kFirstGroupColumn + groups - 1)) + std::to_string(rows + 2) +
      "\"/><sheetData><row r=\"2\">";
  for (int g = 0; g < groups; ++g)
    AppendCell(xml, toUtf8(ColumnLetters(kFirstGroupColumn + g)) + "2", g);
  xml += "</row>";
  for (int r = 0; r < rows; ++r) {
    std::string row = std::to_string(r + 3);
    xml += "<row r=\"" + row + "\">";
    AppendCell(xml, "C" + row, groups + kDestinationTexts + r);
    for (int g = 0; g < groups; ++g)
      AppendCell(xml, toUtf8(ColumnLetters(kFirstGroupColumn + g)) + row,
                 groups + (r * 7 + g) % kDestinationTexts);
    xml += "</row>";
  }
  return xml + "</sheetData></worksheet>";
}

bool WriteWorkbook(const std::string& path, int rows, int groups) {
  return WriteWorkbookFile(path.c_str(), SharedStringsXml(rows, groups), WorksheetXml(rows, groups));
}

// The two parts unzipped into memory, as the floor reads them.
std::vector<std::string> UnzipParts(const std::string& path) {
  std::vector<std::string> parts;
  archive* zip = archive_read_new();
  archive_read_support_format_zip(zip);
  if (archive_read_open_filename(zip, path.c_str(), 10240) == ARCHIVE_OK) {
    archive_entry* entry;
    while (archive_read_next_header(zip, &entry) == ARCHIVE_OK) {
      const char* name = archive_entry_pathname(entry);
      if (!name || (!std::strstr(name, kSheetPart) && !std::strstr(name, kStringsPart))) continue;
      std::string bytes;
      bytes.reserve(static_cast<size_t>(std::max<la_int64_t>(archive_entry_size(entry), 0)));
      char block[65536];
      la_ssize_t got;
      while ((got = archive_read_data(zip, block, sizeof block)) > 0) bytes.append(block, got);
      parts.push_back(std::move(bytes));
    }
  }
  archive_read_free(zip);
  return parts;
}

void XMLCALL IgnoreStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL IgnoreEnd(void*, const XML_Char*) {}
void XMLCALL IgnoreText(void*, const XML_Char*, int) {}

// Unzip of both parts and one expat pass over each; with handlers that do
// nothing, expat also builds each element's attribute list.
size_t FloorPass(const std::string& workbook, bool emptyHandlers) {
  size_t bytes = 0;
  for (const std::string& part : UnzipParts(workbook)) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (emptyHandlers) {
      XML_SetElementHandler(parser, IgnoreStart, IgnoreEnd);
      XML_SetCharacterDataHandler(parser, IgnoreText);
    }
    XML_Parse(parser, part.data(), static_cast<int>(part.size()), XML_TRUE);
    XML_ParserFree(parser);
    bytes += part.size();
  }
  return bytes;
}

// Wall-clock and processor time since a start, in seconds. On a machine
// shared with other work the processor time wanders less: waiting for a core
// does not count in it.
struct Clock {
  std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
  double cpu = ProcessorSeconds();

  static double ProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
  }
  double WallSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
  }
  double CpuSeconds() const { return ProcessorSeconds() - cpu; }
};

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The process's resident peak and size now, in bytes, from /proc.
long long StatusBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  size_t length = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, length, field) == 0) return std::atoll(line.c_str() + length + 1) * 1024;
  }
  return -1;
}

// Starts a new peak from what is resident now (Linux 4.0 and later).
bool ResetPeak() {
  malloc_trim(0);
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.close();
  return clear.good();
}

// The read the program does, into the given parts folder and a fresh
// reading, as the program's one read does: the extent.
Text ReadTable(const Text& workbook, const Text& folder, TableReading& reading) {
  WorkbookStatus status = ExtractWorkbookParts(workbook, folder);
  if (!status.failure) status = LoadSharedStrings(reading, folder + u"sharedStrings.xml");
  SheetExtent extent;
  if (!status.failure) extent = LoadWorksheetCells(reading, folder + u"sheet1.xml", status);
  deleteFile(folder + u"sharedStrings.xml", kForceDelete);
  deleteFile(folder + u"sheet1.xml", kForceDelete);
  return intToText(extent.maxColumn) + u":" + intToText(extent.maxRow);
}

// The largest resident size, in bytes, of a child process that runs read and
// ends; -1 when the child cannot be started or fails.
int64_t PeakOfChild(const std::function<void()>& read) {
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
}

bool WriteText(const Text& path, const std::string& bytes) {
  std::FILE* file = openFile(path, "wb");
  if (!file) return false;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

double MiB(int64_t bytes) { return bytes / 1048576.0; }

void ReadParts(const Text& strings, const Text& sheet) {
  TableReading reading;
  WorkbookStatus status = LoadSharedStrings(reading, strings);
  if (!status.failure) LoadWorksheetCells(reading, sheet, status);
  if (status.failure)
    std::printf("  reading failed: kind %d\n", static_cast<int>(status.failure.kind));
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

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--huge") == 0) {
    Text folder = createPrivateFolder(tempDirectory());
    if (folder.empty()) return 1;
    int result = MeasureHugeCell(folder, argc > 2 ? std::atoi(argv[2]) : 100);
    removeDirectory(folder);
    return result;
  }
  std::string workbook;
  int rows = 100000, groups = 20, runs = 5;
  int next = 1;
  if (argc > 1 && std::strcmp(argv[1], "--generate") == 0) {
    rows = argc > 2 ? std::atoi(argv[2]) : rows;
    groups = argc > 3 ? std::atoi(argv[3]) : groups;
    next = 4;
  } else if (argc > 1) {
    workbook = argv[1];
    next = 2;
  }
  if (argc > next) runs = std::max(1, std::atoi(argv[next]));

  Text folder = createPrivateFolder(tempDirectory());
  if (folder.empty()) return 1;
  Text parts = createPrivateFolder(folder);
  bool generated = workbook.empty();
  if (generated) {
    workbook = toUtf8(folder) + "table.xlsx";
    if (!WriteWorkbook(workbook, rows, groups)) return 1;
    std::printf("workbook: generated, %d rows x %d groups\n", rows, groups);
  } else {
    std::printf("workbook: %s\n", workbook.c_str());
  }

  std::vector<double> reads, floors, floorsWithHandlers, ratios, cpuReads, cpuFloors, cpuRatios;
  long long peak = 0, before = 0;
  size_t partBytes = 0, strings = 0, cells = 0;
  Text extent;
  bool peaks = true;
  for (int run = 0; run < runs; ++run) {
    Clock clock;
    partBytes = FloorPass(workbook, false);
    floors.push_back(clock.WallSeconds());
    cpuFloors.push_back(clock.CpuSeconds());
    clock = Clock();
    FloorPass(workbook, true);
    floorsWithHandlers.push_back(clock.WallSeconds());

    peaks = ResetPeak() && peaks;
    before = std::max(before, StatusBytes("VmRSS:"));
    // The cells outlive the timing, as the table outlives the program's read.
    TableReading reading;
    clock = Clock();
    extent = ReadTable(fromUtf8(workbook), parts, reading);
    reads.push_back(clock.WallSeconds());
    cpuReads.push_back(clock.CpuSeconds());
    peak = std::max(peak, StatusBytes("VmHWM:"));
    ratios.push_back(reads.back() / floors.back());
    cpuRatios.push_back(cpuReads.back() / cpuFloors.back());
    strings = reading.sharedStrings.size();
    cells = reading.cells.size();
  }
  double mib = 1024.0 * 1024.0;
  std::printf("parts: %.1f MiB unzipped; %zu strings, %zu cells, extent %s\n", partBytes / mib,
              strings, cells, toUtf8(extent).c_str());
  std::printf("medians of %d runs        wall      processor\n", runs);
  std::printf("floor, no handlers:    %7.3f s  %7.3f s\n", Median(floors), Median(cpuFloors));
  std::printf("floor, empty handlers: %7.3f s\n", Median(floorsWithHandlers));
  std::printf("read:                  %7.3f s  %7.3f s\n", Median(reads), Median(cpuReads));
  std::printf("read / floor:          %7.2fx   %7.2fx  (each run's own ratio)\n", Median(ratios),
              Median(cpuRatios));
  if (peaks) {
    std::printf("peak resident during the read: %.1f MiB = %.2fx the parts (%.1f MiB before it)\n",
                peak / mib, peak / double(partBytes), before / mib);
  } else {
    std::printf("peak resident: cannot be reset here; whole process %.1f MiB = %.2fx the parts\n",
                peak / mib, peak / double(partBytes));
  }

  if (generated) deleteFile(fromUtf8(workbook), kForceDelete);
  removeDirectory(parts);
  removeDirectory(folder);
  return cells > 0 ? 0 : 1;
}
