#include "sites/store_merge.h"

#include <algorithm>
#include <map>

namespace lv {

std::vector<std::string> MergeSiteRecords(const std::vector<IndexedRecord>& base,
                                          const std::vector<IndexedRecord>& ours,
                                          const std::vector<std::string>& theirs) {
  // Records counted as multisets: unchanged = in base and ours; dropped = in
  // base beyond what ours still has.
  std::map<std::string, int> unchanged, dropped, theirsAdded;
  for (const IndexedRecord& r : base) ++dropped[r.bytes];
  // Theirs beyond base: what the other instance added; the same added here is kept once.
  for (const std::string& t : theirs) ++theirsAdded[t];
  for (const IndexedRecord& r : base) --theirsAdded[r.bytes];
  for (const IndexedRecord& r : ours)
    if (auto it = dropped.find(r.bytes); it != dropped.end() && it->second > 0) {
      --it->second;
      ++unchanged[r.bytes];
    }

  struct Entry {
    std::string bytes;
    bool ours = false;  // placed by this merge: never taken out again
  };
  std::vector<Entry> merged;
  for (const std::string& t : theirs) merged.push_back({t, false});
  auto findTheirs = [&](const std::string& bytes) {
    return std::find_if(merged.begin(), merged.end(), [&](const Entry& e) { return !e.ours && e.bytes == bytes; });
  };

  for (const IndexedRecord& r : ours) {
    if (int& n = unchanged[r.bytes]; n > 0) {
      --n;  // as read: theirs decides whether it stays
      continue;
    }
    if (int& n = theirsAdded[r.bytes]; n > 0) {
      --n;  // added or changed alike by both: once is enough
      continue;
    }
    // Changed in place: the record the same index held when read, if ours dropped it.
    const auto old = std::find_if(base.begin(), base.end(), [&](const IndexedRecord& b) { return b.index == r.index; });
    if (old != base.end() && dropped[old->bytes] > 0) {
      if (auto at = findTheirs(old->bytes); at != merged.end()) {
        --dropped[old->bytes];
        *at = {r.bytes, true};
        continue;
      }
    }
    merged.push_back({r.bytes, true});
  }
  for (auto& [bytes, count] : dropped)
    for (; count > 0; --count)
      if (auto at = findTheirs(bytes); at != merged.end()) merged.erase(at);

  std::vector<std::string> out;
  out.reserve(merged.size());
  for (Entry& e : merged) out.push_back(std::move(e.bytes));
  return out;
}

}  // namespace lv
