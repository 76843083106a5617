// The check of a set without joining it: which pieces are there and how
// long they are, and whether their bytes are what the set's record says.
// It reads the whole set and writes nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "file_services.h"
#include "job.h"
#include "record.h"
#include "user_interface.h"

namespace vexo {

struct SetCheck {
  struct Piece {
    std::string name;
    std::int64_t length = 0;
  };
  // Piece 1 (or 0, for sets numbered from 0) up to the first number
  // without a file: what a join takes.
  std::vector<Piece> pieces;
  // The first number without a file (piece 1's name when there is none).
  std::string firstMissing;
  // Piece 0 beside pieces from 1 whose lengths fit neither set (no
  // record to tell): why the set cannot be told.
  std::string ambiguousStart;
  // A piece's name that is not a regular file (a link to one counts as
  // one): the set is not taken beyond it.
  std::string notRegular;
  // A gap: the numbers missing between the set and pieces found beyond it
  // (the first few named, the rest counted), and those pieces.
  std::vector<std::string> missing;
  std::size_t moreMissing = 0;
  std::vector<std::string> beyond;
  // Without a record: the first piece whose length does not fit the set
  // (every piece but the last as long as piece 1, the last no longer).
  std::string oddLength;
  // The set's record, when a file of its name is there.
  std::string recordName;
  bool recordUnreadable = false;  // a file of that name that is no record
  std::optional<SetRecord> record;
  // What the pieces hold: their total length and the CRC-32 of all their
  // bytes, in order.
  std::int64_t total = 0;
  std::uint32_t crc = 0;

  bool gap() const { return !missing.empty() || moreMissing != 0; }
  bool sizeMatches() const { return record && record->size == total; }
  bool crcMatches() const { return record && record->crc == crc; }
  // Whole: pieces found, no gap, and either the record's size and CRC match
  // or, without a record, no piece's length is out of place.
  bool whole() const {
    if (pieces.empty() || !notRegular.empty() || !ambiguousStart.empty() || gap() || recordUnreadable) return false;
    if (record) return sizeMatches() && crcMatches();
    return oddLength.empty();
  }
};

// Checks the set the chosen piece belongs to (job.folder, job.chosen). Every
// piece is read to its end: progress is reported to ui, and a stop asked
// for through ui ends the check by throwing StopRequested. File errors are
// thrown as RuntimeError. Nothing is written.
SetCheck checkSet(FileServices& fs, UserInterface& ui, const Job& job);

// The check as lines for the user, one fact each, the verdict last.
std::vector<std::string> checkReport(const SetCheck& check);

}  // namespace vexo
