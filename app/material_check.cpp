// What the table misses among the material folders: a folder no row names
// is never delivered, and a name typed nearly right fails with nothing but
// "找不到材料文件夹". Both are found by one listing of the source folder and
// said in the summary; nothing of what is done changes.
#include <algorithm>
#include <set>

#include "app/sync_run.h"
#include "fs/paths.h"
#include "text/catalogue.h"

namespace {

// The run's own folder beside the material, hidden folders, and what an
// office program leaves behind are no one's material.
bool isMaterialName(const Text& name) {
  return name != u"同步记录" && name.rfind(u".", 0) != 0 && name.rfind(u"~$", 0) != 0;
}

// The name with its spaces gone, full-width forms as their ASCII letters and
// Latin letters in lower case.
Text loosely(const Text& name) {
  Text result;
  for (char16_t c : name) {
    if (c == u' ' || c == u'\u3000' || c == u'\u00A0' || c == u'\t') continue;
    if (c >= 0xFF01 && c <= 0xFF5E) c = static_cast<char16_t>(c - 0xFEE0);
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
    result += c;
  }
  return result;
}

std::u32string codePoints(const Text& text) {
  std::u32string points;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    points += c;
  }
  return points;
}

// One code point substituted, added or removed, or two neighbours swapped.
bool oneEditApart(const std::u32string& a, const std::u32string& b) {
  if (a == b) return false;
  const std::u32string& longer = a.size() >= b.size() ? a : b;
  const std::u32string& shorter = a.size() >= b.size() ? b : a;
  if (longer.size() - shorter.size() > 1) return false;
  size_t first = 0;
  while (first < shorter.size() && longer[first] == shorter[first]) ++first;
  if (longer.size() != shorter.size())
    return longer.compare(first + 1, std::u32string::npos, shorter, first) == 0;
  if (a.compare(first + 1, std::u32string::npos, b, first + 1) == 0) return true;
  return first + 1 < a.size() && a[first] == b[first + 1] && a[first + 1] == b[first] &&
         a.compare(first + 2, std::u32string::npos, b, first + 2) == 0;
}

}  // namespace

Text NearName(const Text& name, const std::vector<Text>& candidates) {
  const Text* found = nullptr;
  int count = 0;
  Text loose = loosely(name);
  for (const Text& candidate : candidates) {
    if (loosely(candidate) != loose) continue;
    found = &candidate;
    ++count;
  }
  if (count == 0) {
    std::u32string points = codePoints(name);
    for (const Text& candidate : candidates) {
      std::u32string other = codePoints(candidate);
      if (points.size() < 2 || other.size() < 2 || !oneEditApart(points, other)) continue;
      found = &candidate;
      ++count;
    }
  }
  return count == 1 ? *found : Text();
}

void CompareWithMaterials(RunPlan& plan, const Text& source) {
  std::vector<Text> folders;
  listFolders(source, folders);
  // A row naming a folder below a material folder names that folder too.
  std::set<Text> named;
  for (const Text& name : plan.entryNames)
    named.insert(comparedName(name.substr(0, name.find(kSeparator))));
  std::set<Text> present;
  std::vector<Text> unlisted;
  for (const Text& folder : folders) {
    present.insert(comparedName(folder));
    if (isMaterialName(folder) && !named.count(comparedName(folder))) unlisted.push_back(folder);
  }
  std::sort(unlisted.begin(), unlisted.end());
  // Each entry whose folder is missing is offered its one near folder.
  std::set<Text> offered;
  for (PlannedStep& step : plan.steps) {
    if (step.kind != PlannedStep::Kind::kDestination || step.materialIndex < 0) continue;
    const Text& name = plan.materialNames[static_cast<size_t>(step.materialIndex)];
    if (name.find(kSeparator) != Text::npos || present.count(comparedName(name))) continue;
    step.nearMaterial = NearName(name, unlisted);
    if (!step.nearMaterial.empty()) offered.insert(step.nearMaterial);
  }
  for (const Text& folder : unlisted) {
    if (offered.count(folder)) continue;
    PlannedStep notice;
    notice.kind = PlannedStep::Kind::kNotice;
    notice.text = kNoticeUnlistedOpen + folder + kNoticeUnlistedClose;
    plan.steps.push_back(std::move(notice));
  }
}
