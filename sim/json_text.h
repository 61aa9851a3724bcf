#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes.h"

namespace tavric::sim {

// A small JSON writer: values are appended in order, commas placed as needed.
class JsonText {
 public:
  JsonText& begin_object() { return open('{'); }
  JsonText& end_object() { return close('}'); }
  JsonText& begin_array() { return open('['); }
  JsonText& end_array() { return close(']'); }
  JsonText& key(std::string_view name);
  JsonText& string(std::string_view value);
  JsonText& number(double value);
  JsonText& boolean(bool value);
  const std::string& text() const { return out_; }

 private:
  JsonText& open(char c);
  JsonText& close(char c);
  void before_value();

  std::string out_;
  std::vector<bool> first_;  // per open container: nothing written in it yet
  bool after_key_ = false;
};

// Bytes as lower-case hexadecimal without separators.
template <typename Container>
std::string hex_text(const Container& bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string s;
  for (Byte b : bytes) {
    s.push_back(digits[b >> 4]);
    s.push_back(digits[b & 15]);
  }
  return s;
}

}  // namespace tavric::sim
