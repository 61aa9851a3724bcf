#pragma once

#include <array>
#include <cstdint>

#include "platform/bytes.h"
#include "platform/calendar.h"

namespace tavric::sim {

// One 32-byte reading record as the server stores and sends it.
using Record = std::array<Byte, 32>;

// A record of 32 bytes of 0xFF: what an erased, never written slot holds.
Record erased_record();

// The record check: CRC-16/MODBUS over all 32 bytes; an intact kind-1, 2, 4 or 5
// record (whose bytes 30-31 hold the check) gives 0.
std::uint16_t record_check(const Record& r);

// Writes the check of bytes 0..29 into bytes 30-31 (low byte first), so that
// record_check() gives 0.
void seal(Record& r);

// The decoded values of a reading, in engineering units, from which the encoders
// build records. Unused fields of a kind are ignored.
struct Reading {
  int probe_id = 1;
  int record_number = 0;
  LocalDateTime time{2012, 3, 4, 14, 5, 0};  // kinds 1 and 2 keep whole minutes
  double ambient = 20.0;                     // degrees C
  std::array<double, 6> temperature{};       // degrees C, pairs 1..6
  std::array<double, 6> moisture{};          // percent, pairs 1..6
  int battery_code = 10;                     // kinds 1 and 2: index of the voltage table
  double volts = 3.6;                        // kind 0: the battery byte in tenths
  bool power_fail = false;                   // kind 0
  int tail_word = 0;
};

// Kind 0: clock in seconds, battery voltage and power-fail flag in byte 11, tail word
// in bytes 30-31 (no check). Byte 0 is 0x00 unless `battery_nibble` is given.
Record encode_kind0(const Reading& r, int battery_nibble = 0);
// Kind 1: clock in minutes, 11-bit temperatures, battery code, sealed check.
// Pairs 5 and 6 share their top temperature bit; pair 5's wins.
Record encode_kind1(const Reading& r);
// Kind 2: an entry without sensor values; bytes 8-27 are zero; sealed check.
Record encode_kind2(const Reading& r);
// A settings record (kind 4 probe settings, kind 5 repeater settings) or any other kind,
// with the given payload in bytes 3-29 and a sealed check.
Record encode_other_kind(int kind, int probe_id, const std::array<Byte, 27>& payload);

// The battery voltage of a battery code, as the voltage table has it.
double battery_volts(int code);

}  // namespace tavric::sim
