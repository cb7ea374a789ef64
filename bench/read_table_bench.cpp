// Times the two readers on a large relation table: 100,000 entries by 20
// groups, every cell a shared string, as a spreadsheet program writes them.
//
//   read_table_bench [rows] [groups]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

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

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
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
    LoadSharedStrings(strings);
    double stringsSeconds = SecondsSince(start);
    start = std::chrono::steady_clock::now();
    Text extent = LoadWorksheet(sheet);
    double sheetSeconds = SecondsSince(start);
    std::printf("table: %d rows x %d groups\n", rows, groups);
    std::printf("sharedStrings.xml: %lld bytes, %zu strings, %.3f s\n",
                static_cast<long long>(fileSize(strings)), SharedStrings.size(), stringsSeconds);
    std::printf("sheet1.xml: %lld bytes, %zu cells, extent %s, %.3f s (%.0f cells/s)\n",
                static_cast<long long>(fileSize(sheet)), Cells.size(), toUtf8(extent).c_str(),
                sheetSeconds, Cells.size() / sheetSeconds);
    std::printf("total: %.3f s\n", stringsSeconds + sheetSeconds);
    XmlDocument::shutdown();
    releasePatterns(-1);
  }
  deleteFile(strings, kForceDelete);
  deleteFile(sheet, kForceDelete);
  removeDirectory(folder);
  return written ? 0 : 1;
}
