// A transfer sink that keeps what the block transfer stores and the progress it reports.
#pragma once

#include <vector>

#include "download/block_transfer.h"

namespace movar::fake {

struct MemorySink final : download::TransferSink {
  Bytes stored;
  std::vector<int> positions;
  bool failWrites = false;
  bool store(const std::uint8_t* p, std::size_t n) override {
    if (failWrites) return false;
    stored.insert(stored.end(), p, p + n);
    return true;
  }
  void progress(std::uint64_t b, std::uint64_t n) override {
    positions.push_back(static_cast<int>(b * 100 / n));
  }
};

}  // namespace movar::fake
