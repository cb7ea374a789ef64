#include "fs/copy_parts.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "fs/copy_workers.h"
#include "fs/part_name.h"
#include "fs/paths.h"
#include "fs/system_error_text.h"

void (*copyChunkHook)() = nullptr;
int forcedCopyWorkers = 0;

namespace {

std::mutex partsLock;
std::vector<std::string> partsInProgress;
std::atomic<bool> abandoning{false};
// The counts of a report, which several copying threads may add to.
std::mutex countsLock;
// The placed calls, one at a time.
std::mutex placedLock;
// Callers see one call at a time, whichever threads are copying.
std::mutex progressLock;

void reportProgress(CopyReport* report, int64_t bytes, bool unchanged) {
  if (report == nullptr || report->progress == nullptr) return;
  std::lock_guard<std::mutex> hold(progressLock);
  report->progress(report->progressContext, bytes, unchanged);
}

// FNV-1a, over UTF-8 bytes where names are bytes and over upper-cased UTF-16
// units where the file system ignores letter case.
constexpr uint64_t kKeyStart = 14695981039346656037ull;
uint64_t addToKey(uint64_t key, uint32_t unit) { return (key ^ unit) * 1099511628211ull; }

uint64_t addToKey(uint64_t key, const Text& text) {
  if (!kFoldsLetterCase) {
    for (char byte : toUtf8(text)) key = addToKey(key, static_cast<unsigned char>(byte));
    return key;
  }
  for (char16_t unit : text) key = addToKey(key, upperUnit(unit));
  return key;
}

uint64_t addToKey(uint64_t key, const char* utf8) {
  if (kFoldsLetterCase) return addToKey(key, fromUtf8(utf8));
  for (const char* byte = utf8; *byte != '\0'; ++byte)
    key = addToKey(key, static_cast<unsigned char>(*byte));
  return key;
}

bool measuredFolderHolds(const Text& name, void* folder) {
  return static_cast<MeasuredFolder*>(folder)->holds(name);
}

bool measureFolder(MeasuredFolder& folder, TreeSize& size, const std::atomic<bool>* stop) {
  bool whole = true;
  MeasuredEntry entry;
  while (folder.next(entry)) {
    if (stop != nullptr && *stop) return false;
    switch (entry.kind) {
      case MeasuredEntry::Kind::kUnreadable:
        whole = false;
        break;
      case MeasuredEntry::Kind::kNotCounted:
        break;
      case MeasuredEntry::Kind::kFolder: {
        std::unique_ptr<MeasuredFolder> inner = folder.open(entry);
        whole = inner != nullptr && measureFolder(*inner, size, stop) && whole;
        break;
      }
      case MeasuredEntry::Kind::kFile:
        if (isOfficeLockFile(entry.name, measuredFolderHolds, &folder)) break;
        ++size.files;
        size.bytes += entry.bytes;
        break;
    }
  }
  return whole && folder.complete();
}

// Drawn once per process; the process id goes into each name separately, so
// a forked child never shares names with its parent.
uint32_t runToken() {
  static const uint32_t token = randomToken();
  return token;
}

}  // namespace

int copyTree(const Text& source, const Text& destination, int flags, CopyReport* report) {
  if (source.empty() || destination.empty()) return 0;
  CopyReport own;
  if (report == nullptr) report = &own;
  int before = report->failedEntries;
  if (destinationInsideSource(source, destination)) {
    countFailure(report, 0, destination, Failure{ErrorKind::kInsideSource});
    return 0;
  }
  CopySides sides = copySides(source, destination);
  int workers = forcedCopyWorkers > 0 ? forcedCopyWorkers : sides.either ? kShareCopyWorkers : 1;
  // A report that already names a failure from an earlier copy keeps it.
  uint64_t firstOrder = report->failedEntries > 0 ? report->firstFailedOrder + 1 : 0;
  bool whole = walkCopy(source, destination, flags, report, sides, workers, firstOrder);
  return whole && report->failedEntries == before ? 1 : 0;
}

bool measureTree(const Text& folder, TreeSize& size, const std::atomic<bool>* stop) {
  std::unique_ptr<MeasuredFolder> top = openMeasuredFolder(folder);
  return top != nullptr && measureFolder(*top, size, stop);
}

Text nextPartName() {
  static std::atomic<uint32_t> counter{0};
  return partName(currentProcessId(), runToken(), counter++);
}

bool abandonedPart(const Text& name) {
  uint32_t owner = 0;
  return isPartName(name, &owner) && !processAlive(owner);
}

ToldPath::ToldPath(const std::string& folder, const char* name) : folder_(&folder), name_(name) {}

ToldPath::ToldPath(const std::string& folder, uint64_t folderKey, const char* name)
    : folderKey_(folderKey), folderKeyKnown_(true), folder_(&folder), name_(name) {}

ToldPath::ToldPath(const Text& path) : path_(&path) {}

// Asked for only where someone listens: a copy without a placed call hashes
// nothing.
uint64_t ToldPath::key() const {
  if (path_ != nullptr) return pathKey(*path_);
  return addToKey(folderKeyKnown_ ? folderKey_ : addToKey(kKeyStart, folder_->c_str()), name_);
}

Text ToldPath::text() const { return path_ != nullptr ? *path_ : fromUtf8(*folder_ + name_); }

void ToldPath::appendUtf8(std::string& out, size_t skip) const {
  if (path_ != nullptr) {
    std::string utf8 = toUtf8(*path_);
    out.append(utf8, std::min(skip, utf8.size()), std::string::npos);
    return;
  }
  if (skip < folder_->size()) out.append(*folder_, skip, std::string::npos);
  out.append(name_ + std::min(skip - std::min(skip, folder_->size()), std::strlen(name_)));
}

uint64_t pathKey(const Text& path) { return addToKey(kKeyStart, path); }

uint64_t pathKey(const std::string& utf8) { return addToKey(kKeyStart, utf8.c_str()); }

bool keepPart(const std::string& path) {
  std::lock_guard<std::mutex> hold(partsLock);
  if (abandoning) return false;
  partsInProgress.push_back(path);
  return true;
}

void forgetPart(const std::string& path) {
  std::lock_guard<std::mutex> hold(partsLock);
  auto found = std::find(partsInProgress.begin(), partsInProgress.end(), path);
  if (found != partsInProgress.end()) partsInProgress.erase(found);
}

bool abandoningCopies() { return abandoning; }

void abandonCopies() {
  {
    std::lock_guard<std::mutex> hold(partsLock);
    abandoning = true;
  }
  cancelSystemCopies();
  // A copy between two pieces of data notices at once; one inside a slow
  // write is given a second before its part is taken from under it.
  for (int wait = 0; wait < 100; ++wait) {
    {
      std::lock_guard<std::mutex> hold(partsLock);
      if (partsInProgress.empty()) return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::lock_guard<std::mutex> hold(partsLock);
  for (const std::string& part : partsInProgress) deleteFile(fromUtf8(part), kForceDelete);
  partsInProgress.clear();
}

void reportBytes(CopyReport* report, int64_t bytes) { reportProgress(report, bytes, false); }

void countCopied(CopyReport* report, int64_t bytes) {
  if (report == nullptr) return;
  std::lock_guard<std::mutex> hold(countsLock);
  ++report->copiedFiles;
  report->copiedBytes += bytes;
}

void countUnchanged(CopyReport* report, int64_t bytes) {
  if (report == nullptr) return;
  {
    std::lock_guard<std::mutex> hold(countsLock);
    ++report->unchangedFiles;
    report->unchangedBytes += bytes;
  }
  reportProgress(report, bytes, true);
}

void notePlaced(CopyReport* report, const ToldPath& path, bool copied) {
  if (report == nullptr || report->placed == nullptr) return;
  std::lock_guard<std::mutex> hold(placedLock);
  report->placed(report->placedContext, path, copied);
}

void noteUnmatched(CopyReport* report, const ToldPath& path) {
  if (report == nullptr || report->unmatched == nullptr) return;
  std::lock_guard<std::mutex> hold(placedLock);
  report->unmatched(report->placedContext, path);
}

void countLockFile(CopyReport* report) {
  if (report == nullptr) return;
  std::lock_guard<std::mutex> hold(countsLock);
  ++report->lockFiles;
}

void countFailure(CopyReport* report, uint64_t order, const Text& path, const Failure& reason) {
  if (report == nullptr) return;
  std::lock_guard<std::mutex> hold(countsLock);
  ++report->failedEntries;
  if (order >= report->firstFailedOrder) return;
  report->firstFailedOrder = order;
  report->firstFailedPath = path;
  report->firstFailure = reason;
}

bool isLeftOverCandidate(const Text& name, bool (*siblingExists)(const Text& name, void* context),
                         void* context) {
  return name != u"同步记录" && !isPartName(name) && !isOfficeLockFile(name, siblingExists, context);
}

bool isLeftOverCandidate(const std::string& name,
                         bool (*siblingExists)(const Text& name, void* context), void* context) {
  // Part files and lock files begin with "." or "~": most names need no
  // conversion.
  if (name.empty() || (name[0] != '.' && name[0] != '~')) return name != "同步记录";
  return isLeftOverCandidate(fromUtf8(name), siblingExists, context);
}
