#include "fs/copy_tree.h"

namespace {

bool startsWith(const Text& name, std::u16string_view prefix) {
  return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool isOfficeLockFile(const Text& name, bool (*siblingExists)(const Text& name, void* context),
                      void* context) {
  if (startsWith(name, u"~$")) return true;
  if (startsWith(name, u".~lock.") && name.size() > 8 && name.back() == u'#') return true;
  // ".~" also starts the names of other programs' hidden files, so only a
  // document beside it makes it a lock file.
  return startsWith(name, u".~") && siblingExists != nullptr &&
         siblingExists(name.substr(2), context);
}
