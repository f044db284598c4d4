// The receive ring against a plain queue: any sequence of writes, reads,
// peeks, single-byte reads and skips, on small capacities so that every
// operation meets the wrap. Counters and contents must agree at every step.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "fuzz_check.h"
#include "net/ring_buffer.h"

using namespace lv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::int32_t capacity = 1 + data[0] % 64;
  std::size_t pos = 1;
  auto next = [&]() -> std::uint8_t { return pos < size ? data[pos++] : 0; };

  CRingBuffer ring(capacity);
  std::deque<std::uint8_t> model;
  while (pos < size) {
    const std::uint8_t op = next();
    const std::int32_t n = next() % (capacity + 2);  // one past the limits too
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(n));
    const auto free = capacity - static_cast<std::int32_t>(model.size());
    switch (op % 5) {
      case 0: {
        for (auto& b : buffer) b = next();
        const bool fits = n <= free;
        FUZZ_CHECK(ring.Write(buffer.data(), n) == (fits ? 1 : 0));
        if (fits) model.insert(model.end(), buffer.begin(), buffer.end());
        break;
      }
      case 1:
      case 2: {
        const bool enough = n <= static_cast<std::int32_t>(model.size());
        const bool take = op % 5 == 1;
        FUZZ_CHECK((take ? ring.Read(buffer.data(), n) : ring.Peek(buffer.data(), n)) == (enough ? 1 : 0));
        if (!enough) break;
        FUZZ_CHECK(std::equal(buffer.begin(), buffer.end(), model.begin()));
        if (take) model.erase(model.begin(), model.begin() + n);
        break;
      }
      case 3: {
        std::uint8_t b = 0;
        FUZZ_CHECK(ring.ReadByte(&b) == (model.empty() ? 0 : 1));
        if (!model.empty()) {
          FUZZ_CHECK(b == model.front());
          model.pop_front();
        }
        break;
      }
      default: {
        const std::uint8_t a = next(), c = next();
        const auto hit = std::find_if(model.begin(), model.end(), [&](std::uint8_t v) { return v == a || v == c; });
        const auto skipped = static_cast<std::int32_t>(hit - model.begin());
        FUZZ_CHECK(ring.SkipTo(a, c) == skipped);
        model.erase(model.begin(), hit);
        break;
      }
    }
    FUZZ_CHECK(ring.DataSize() == static_cast<std::int32_t>(model.size()));
    FUZZ_CHECK(ring.EmptySize() == capacity - ring.DataSize());
    FUZZ_CHECK(ring.WriteIndex() >= 0 && ring.WriteIndex() < capacity);
    FUZZ_CHECK(ring.ReadIndex() >= 0 && ring.ReadIndex() < capacity);
  }
  return 0;
}
