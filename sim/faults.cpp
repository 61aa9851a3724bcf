#include "sim/faults.h"

#include <charconv>

namespace tavric::sim {
namespace {

bool parse_int(std::string_view text, int& out) {
  if (text.empty()) return false;
  const auto* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end && out >= 0;
}

// "2,5,7" into a set of positive numbers.
bool parse_list(std::string_view text, std::set<int>& out) {
  if (text.empty()) return false;
  while (!text.empty()) {
    const auto comma = text.find(',');
    int n = 0;
    if (!parse_int(text.substr(0, comma), n) || n < 1) return false;
    out.insert(n);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
  }
  return true;
}

}  // namespace

bool FaultPlan::empty() const {
  return silent.empty() && noise.empty() && bad_check.empty() && status_0.empty() &&
         bad_end.empty() && wrong_echo.empty() && foreign_address.empty() && wrong_block.empty() &&
         cut_short.empty() && dies_after == 0 && !ignores_speed_change && damaged_frames.empty() &&
         dropped_frames.empty() && stream_breaks_after == 0 && frame_number_low.empty() &&
         frame_number_high.empty() && repeated_frames.empty() && !slow_stream;
}

std::string add_fault(FaultPlan& plan, const std::string& item) {
  const auto eq = item.find('=');
  const std::string name = item.substr(0, eq);
  const std::string_view value =
      eq == std::string::npos ? std::string_view() : std::string_view(item).substr(eq + 1);
  struct ListFault {
    const char* name;
    std::set<int> FaultPlan::*field;
  };
  static const ListFault lists[] = {
      {"silent", &FaultPlan::silent},
      {"noise", &FaultPlan::noise},
      {"bad-check", &FaultPlan::bad_check},
      {"status-0", &FaultPlan::status_0},
      {"bad-end", &FaultPlan::bad_end},
      {"wrong-echo", &FaultPlan::wrong_echo},
      {"foreign-address", &FaultPlan::foreign_address},
      {"wrong-block", &FaultPlan::wrong_block},
      {"cut-short", &FaultPlan::cut_short},
      {"damage-frame", &FaultPlan::damaged_frames},
      {"drop-frame", &FaultPlan::dropped_frames},
      {"frame-number-low", &FaultPlan::frame_number_low},
      {"frame-number-high", &FaultPlan::frame_number_high},
      {"repeat-frame", &FaultPlan::repeated_frames},
  };
  for (const auto& l : lists) {
    if (name == l.name) {
      if (!parse_list(value, plan.*(l.field))) return "fault " + name + " needs =N[,N...]";
      return {};
    }
  }
  if (name == "dies-after" || name == "stream-breaks-after") {
    int n = 0;
    if (!parse_int(value, n) || n < 1) return "fault " + name + " needs =N with N >= 1";
    (name == "dies-after" ? plan.dies_after : plan.stream_breaks_after) = n;
    return {};
  }
  if (name == "ignores-speed-change" || name == "slow-stream") {
    if (!value.empty() || eq != std::string::npos) return "fault " + name + " takes no value";
    (name == "slow-stream" ? plan.slow_stream : plan.ignores_speed_change) = true;
    return {};
  }
  return "unknown fault '" + name + "'";
}

std::string fault_help() {
  return "  silent=N[,N...]        requests N get no reply (requests count from 1, retries too)\n"
         "  noise=N[,N...]         replies to requests N come after a few bytes of noise, one\n"
         "                         of them a false start byte 0x5E\n"
         "  bad-check=N[,N...]     replies to requests N carry a wrong checksum or CRC\n"
         "  status-0=N[,N...]      requests N are refused: not carried out, and answered\n"
         "                         with status 0 and a sound check\n"
         "  bad-end=N[,N...]       legacy: replies to requests N end in 0x00, not 0x5F\n"
         "  wrong-echo=N[,N...]    v5: replies to requests N echo another command\n"
         "  foreign-address=N[,N...]\n"
         "                         v5: replies to requests N carry another unit's address,\n"
         "                         their CRC sound. A request for any unit (address FF FF, as\n"
         "                         the download program sends) must take such a reply as\n"
         "                         the unit's own; only a request that names a unit drops it\n"
         "  wrong-block=N[,N...]   legacy block replies to requests N carry the previous "
         "block\n"
         "  cut-short=N[,N...]     replies to requests N stop half way\n"
         "  dies-after=N           the server answers nothing after its Nth request\n"
         "  ignores-speed-change   legacy: answers command 14 but keeps listening at 9600\n"
         "  damage-frame=N[,N...]  bulk stream frames N fail their record check\n"
         "  drop-frame=N[,N...]    bulk stream frames N are never sent\n"
         "  stream-breaks-after=N  the bulk stream stops after N frames\n"
         "  frame-number-low=N[,N...]\n"
         "                         bulk stream frames N carry the number N-1\n"
         "  frame-number-high=N[,N...]\n"
         "                         bulk stream frames N carry the number N+1\n"
         "  repeat-frame=N[,N...]  bulk stream frames N are sent twice in a row\n"
         "  slow-stream            the bulk stream comes at half the line speed, with a\n"
         "                         pause of 1 to 4 s after every 200 frames\n";
}

}  // namespace tavric::sim
