#include "sim/request_parser.h"

#include "protocol/crc.h"

namespace tavric::sim {
namespace {

constexpr Byte kStart = 0x5E;
constexpr Byte kLegacyEnd = 0x5F;
// Every legacy request is 14 bytes up to its end byte; a little more is tolerated.
constexpr int kLegacyMinLength = 14;
constexpr int kLegacyMaxLength = 32;
// v5: status, command and at most a handful of arguments.
constexpr int kV5MinLength = 2;
constexpr int kV5MaxLength = 20;

}  // namespace

std::vector<ParsedRequest> RequestParser::feed(ByteView bytes, MonoTime at) {
  if (!pending_.empty() && at - last_at_ > gap_) pending_.clear();
  last_at_ = at;
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  std::vector<ParsedRequest> found;
  for (;;) {
    std::size_t skip = 0;
    while (skip < pending_.size() && pending_[skip] != kStart) ++skip;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(skip));
    if (pending_.empty()) break;
    ParsedRequest request;
    const int r = generation_ == Generation::Legacy ? take_legacy(request) : take_v5(request);
    if (r == 0) break;
    if (r < 0) {
      ++rejected_;
      pending_.erase(pending_.begin());
      continue;
    }
    found.push_back(std::move(request));
  }
  return found;
}

int RequestParser::take_legacy(ParsedRequest& out) {
  if (pending_.size() < 5) return 0;
  const int length = pending_[4];
  if (length < kLegacyMinLength || length > kLegacyMaxLength) return -1;
  if (pending_.size() < static_cast<std::size_t>(length)) return 0;
  int sum = 0;
  for (int i = 1; i < length - 3; ++i) sum += pending_[i];
  const bool good = pending_[5] == 0x00 && pending_[length - 1] == kLegacyEnd &&
                    pending_[length - 3] == ((sum >> 8) & 0xFF) &&
                    pending_[length - 2] == (sum & 0xFF);
  if (!good) return -1;
  out.command = pending_[6];
  out.args.assign(pending_.begin() + 7, pending_.begin() + (length - 3));
  out.address = {pending_[2], pending_[3]};
  pending_.erase(pending_.begin(), pending_.begin() + length);
  return 1;
}

int RequestParser::take_v5(ParsedRequest& out) {
  if (pending_.size() < 4) return 0;
  const int length = pending_[3];
  if (length < kV5MinLength || length > kV5MaxLength) return -1;
  const auto total = static_cast<std::size_t>(length + 6);
  if (pending_.size() < total) return 0;
  std::int32_t crc = 0xFFFF;
  for (std::size_t i = 1; i < total; ++i) update_crc(crc, pending_[i]);
  if (crc != 0 || pending_[4] != 0x00) return -1;
  out.command = pending_[5];
  out.args.assign(pending_.begin() + 6, pending_.begin() + static_cast<std::ptrdiff_t>(total - 2));
  out.address = {pending_[1], pending_[2]};
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(total));
  return 1;
}

}  // namespace tavric::sim
