// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kv770::backup {

// A file that is not a backup this program reads: the message names the
// place in the file and why ("meters[2].preambles: 12 is not one of 4..9").
struct BadFile {
  QString message;
};

// A JSON document as the file holds it, for reading a backup strictly: an
// object keeps every key in file order, and a number keeps the characters it
// was written with, so that "17.0" is not taken for 17 and a refusal quotes
// what the user wrote rather than a double's rendering of it.

struct JsonMember;

struct JsonNode {
  enum class Kind { kNull, kBool, kNumber, kText, kObject, kArray };
  Kind kind = Kind::kNull;
  bool boolean = false;
  std::string text;                 // a text (UTF-8), or a number as written
  std::vector<JsonMember> members;  // an object's, in file order
  std::vector<JsonNode> elements;   // an array's

  // The member `key` of an object, or nullptr.
  const JsonNode* Find(std::string_view key) const;
};

struct JsonMember {
  std::string key;
  JsonNode value;
};

// Reads a whole document. Anything that is not JSON, a key given twice in one
// object, or nesting deeper than a backup ever has throws BadFile
// naming the place ("meters[2].preambles: duplicated key").
JsonNode ReadJson(const QByteArray& contents);

// How the messages name a place in the file: "meters[2]" and "preambles"
// give "meters[2].preambles"; a key of the top level is just the key.
QString MemberPath(const QString& object, const QString& key);
QString ElementPath(const QString& array, std::size_t index);

}  // namespace kv770::backup
