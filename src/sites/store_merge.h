#pragma once
// Merging the site list of this instance into a store another instance has
// changed since this one read it. Sites are compared by their stored record
// bytes: a record is a site as it is kept, and nothing else names a site
// across instances.
#include <string>
#include <vector>

namespace lv {

struct IndexedRecord {
  int index = 0;      // the site's index in memory (its value number when loaded)
  std::string bytes;  // its stored record
};

// base: the records as this instance last read or wrote them; ours: its list
// now; theirs: the store's records now. The other instance's changes stay;
// ours go on top: a record ours dropped is taken out of theirs (if it is
// still there); a record ours changed replaces the old one where it stands,
// or goes at the end if the other instance dropped or changed the old one
// (both versions are then kept); a record ours added goes at the end. A
// record both added is kept once.
std::vector<std::string> MergeSiteRecords(const std::vector<IndexedRecord>& base,
                                          const std::vector<IndexedRecord>& ours,
                                          const std::vector<std::string>& theirs);

}  // namespace lv
