// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/json_reader.h"

#include <cstring>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <unordered_set>
#include <utility>


namespace kv770::backup {

namespace {

using Kind = JsonNode::Kind;

// A backup nests six deep (top level, meters, a meter, custom, variables, one
// variable). The tree is freed recursively, so its depth must stay bounded.
constexpr std::size_t kMaxDepth = 32;

// nlohmann-json's error number for a number no double holds.
constexpr int kNumberOverflow = 406;

[[noreturn]] void Refuse(const QString& message) {
  throw BadFile{message};
}

// Hands the file to the parser and keeps note of how far it has read. The
// parser passes an integer's value but not its characters; where its lexer
// stopped tells where the number ended.
class NotedInput {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  NotedInput(const char* at, const char** reached) : at_(at), reached_(reached) {}
  reference operator*() const { return *at_; }
  NotedInput& operator++() {
    *reached_ = ++at_;
    return *this;
  }
  NotedInput operator++(int) {
    NotedInput before = *this;
    ++*this;
    return before;
  }
  bool operator==(const NotedInput& other) const { return at_ == other.at_; }
  bool operator!=(const NotedInput& other) const { return at_ != other.at_; }

 private:
  const char* at_;
  const char** reached_;
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsNumberChar(char c) {
  return IsDigit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// Builds the tree from the parser's events. Every refusal is thrown from
// here, with the place it concerns.
class TreeBuilder final : public nlohmann::json::json_sax_t {
 public:
  TreeBuilder(std::string_view file, const char* const* reached) : file_(file), reached_(reached) {}

  JsonNode Take() { return std::move(root_); }

  bool null() override { return Put(JsonNode{}); }

  bool boolean(bool value) override {
    JsonNode node;
    node.kind = Kind::kBool;
    node.boolean = value;
    return Put(std::move(node));
  }

  bool number_integer(number_integer_t value) override {
    return Integer(std::to_string(value), value == 0);
  }

  bool number_unsigned(number_unsigned_t value) override {
    return Integer(std::to_string(value), value == 0);
  }

  // `lexed` is the lexer's copy, with the locale's decimal point for '.'.
  bool number_float(number_float_t, const string_t& lexed) override {
    std::string written = Written();
    if (written.empty() || !IsDigit(written.back())) written = lexed;
    return Number(std::move(written));
  }

  bool string(string_t& value) override {
    JsonNode node;
    node.kind = Kind::kText;
    node.text = std::move(value);
    return Put(std::move(node));
  }

  bool binary(binary_t&) override { return false; }  // none in JSON text

  bool start_object(std::size_t) override { return Open(Kind::kObject); }

  bool key(string_t& key) override {
    Frame& frame = frames_.back();
    if (!frame.keys.insert(key).second)
      Refuse(QStringLiteral("%1: duplicated key")
                 .arg(MemberPath(Here(), QString::fromStdString(key))));
    frame.key = std::move(key);
    return true;
  }

  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(Kind::kArray); }
  bool end_array() override { return Close(); }

  bool parse_error(std::size_t, const std::string& token,
                   const nlohmann::detail::exception& e) override {
    // Valid JSON, but beyond a double (1e400): the field can be named.
    if (e.id == kNumberOverflow)
      Refuse(QStringLiteral("%1: '%2' is too large a number")
                 .arg(frames_.empty() ? QStringLiteral("top level") : Inner(),
                      QString::fromStdString(token)));
    // "[json.exception.parse_error.101] parse error at line 2, column 5: ..."
    std::string_view what = e.what();
    if (const auto tag = what.find("] "); tag != std::string_view::npos)
      what.remove_prefix(tag + 2);
    Refuse(QStringLiteral("not JSON: %1")
               .arg(QString::fromUtf8(what.data(), static_cast<qsizetype>(what.size()))));
  }

 private:
  struct Frame {
    JsonNode node;
    std::string key;  // of the member being read, in an object
    std::unordered_set<std::string> keys;
  };

  // The characters of the number just read. The lexer stops one character
  // past a number, or at the end of the file; a number ends in a digit.
  std::string Written() const {
    std::size_t end = static_cast<std::size_t>(*reached_ - file_.data());
    if (end > file_.size()) return {};
    if (!(end == file_.size() && end > 0 && IsDigit(file_[end - 1]))) {
      if (end == 0) return {};
      --end;
    }
    std::size_t start = end;
    while (start > 0 && IsNumberChar(file_[start - 1])) --start;
    return std::string(file_.substr(start, end - start));
  }

  // An integer is written as its value prints, but for "-0".
  bool Integer(std::string printed, bool zero) {
    std::string written = Written();
    if (written == printed || (zero && written == "-0")) return Number(std::move(written));
    return Number(std::move(printed));
  }

  bool Number(std::string written) {
    JsonNode node;
    node.kind = Kind::kNumber;
    node.text = std::move(written);
    return Put(std::move(node));
  }

  bool Open(Kind kind) {
    if (frames_.size() >= kMaxDepth)
      Refuse(QStringLiteral("%1: nested more than %2 deep")
                 .arg(frames_.empty() ? QStringLiteral("top level") : Inner())
                 .arg(kMaxDepth));
    frames_.emplace_back();
    frames_.back().node.kind = kind;
    return true;
  }

  bool Close() {
    JsonNode node = std::move(frames_.back().node);
    frames_.pop_back();
    return Put(std::move(node));
  }

  bool Put(JsonNode node) {
    if (frames_.empty()) {
      root_ = std::move(node);
    } else if (Frame& frame = frames_.back(); frame.node.kind == Kind::kObject) {
      frame.node.members.push_back({std::move(frame.key), std::move(node)});
    } else {
      frame.node.elements.push_back(std::move(node));
    }
    return true;
  }

  // The path of the innermost open object or array ("" at the top level).
  QString Here() const {
    QString path;
    for (std::size_t i = 1; i < frames_.size(); ++i) path = Child(path, frames_[i - 1]);
    return path;
  }

  // The path of the value being read inside it.
  QString Inner() const { return Child(Here(), frames_.back()); }

  static QString Child(const QString& path, const Frame& parent) {
    return parent.node.kind == Kind::kArray ? ElementPath(path, parent.node.elements.size())
                                            : MemberPath(path, QString::fromStdString(parent.key));
  }

  std::string_view file_;
  const char* const* reached_;
  std::vector<Frame> frames_;
  JsonNode root_;
};

}  // namespace

const JsonNode* JsonNode::Find(std::string_view key) const {
  for (const JsonMember& member : members)
    if (member.key == key) return &member.value;
  return nullptr;
}

QString MemberPath(const QString& object, const QString& key) {
  return object.isEmpty() ? key : object + QLatin1Char('.') + key;
}

QString ElementPath(const QString& array, std::size_t index) {
  return QStringLiteral("%1[%2]").arg(array).arg(index);
}

JsonNode ReadJson(const QByteArray& contents) {
  const std::string_view file(contents.constData(), static_cast<std::size_t>(contents.size()));
  const char* reached = file.data();
  TreeBuilder builder(file, &reached);
  NotedInput first(file.data(), &reached);
  NotedInput last(file.data() + file.size(), &reached);
  if (!nlohmann::json::sax_parse(first, last, &builder))
    Refuse(QStringLiteral("not JSON"));  // every refusal above throws first
  return builder.Take();
}

}  // namespace kv770::backup
