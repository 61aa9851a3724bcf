#include "sim/json_text.h"

#include <cmath>
#include <cstdio>

namespace tavric::sim {

void JsonText::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) out_ += ',';
    first_.back() = false;
  }
}

JsonText& JsonText::open(char c) {
  before_value();
  out_ += c;
  first_.push_back(true);
  return *this;
}

JsonText& JsonText::close(char c) {
  if (!first_.empty()) first_.pop_back();
  out_ += c;
  return *this;
}

JsonText& JsonText::key(std::string_view name) {
  string(name);
  out_ += ':';
  after_key_ = true;
  return *this;
}

JsonText& JsonText::string(std::string_view value) {
  before_value();
  out_ += '"';
  for (char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out_ += '\\';
      out_ += c;
    } else if (u < 0x20 || u >= 0x7F) {
      // Control characters and anything beyond ASCII (modem input is raw bytes).
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out_ += buf;
    } else {
      out_ += c;
    }
  }
  out_ += '"';
  return *this;
}

JsonText& JsonText::number(double value) {
  before_value();
  char buf[32];
  if (!std::isfinite(value)) {
    out_ += "null";
  } else if (value == std::floor(value) && std::fabs(value) < 1e15) {
    std::snprintf(buf, sizeof buf, "%.0f", value);
    out_ += buf;
  } else {
    std::snprintf(buf, sizeof buf, "%.6f", value);
    out_ += buf;
  }
  return *this;
}

JsonText& JsonText::boolean(bool value) {
  before_value();
  out_ += value ? "true" : "false";
  return *this;
}

}  // namespace tavric::sim
