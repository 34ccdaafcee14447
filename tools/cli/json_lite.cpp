#include "json_lite.h"

#include <charconv>
#include <set>

#include "format.h"

namespace vktcli {

const JsonValue* JsonValue::Find(std::string_view key) const {
  if (type != Type::Object) return nullptr;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == key) return &items[i];
  }
  return nullptr;
}

std::string_view JsonTypeName(JsonValue::Type type) {
  switch (type) {
    case JsonValue::Type::Null: return "null";
    case JsonValue::Type::Boolean: return "a boolean";
    case JsonValue::Type::Number: return "a number";
    case JsonValue::Type::String: return "a string";
    case JsonValue::Type::Array: return "an array";
    case JsonValue::Type::Object: return "an object";
  }
  return "a value";
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  JsonParseResult Run() {
    JsonParseResult result;
    JsonValue value;
    SkipSpace();
    if (!ParseValue(value, 0)) {
      result.error = error_;
      return result;
    }
    SkipSpace();
    if (pos_ != text_.size()) {
      result.error = Where("unexpected text after the JSON value");
      return result;
    }
    result.value = std::move(value);
    return result;
  }

 private:
  std::string Where(std::string_view message) const {
    return std::string(message) + " at offset " + std::to_string(pos_);
  }

  bool Fail(std::string_view message) {
    if (error_.empty()) error_ = Where(message);
    return false;
  }

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

  void SkipSpace() {
    while (!AtEnd() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return Fail("unknown word");
    pos_ += word.size();
    return true;
  }

  bool ParseValue(JsonValue& value, int depth) {
    if (AtEnd()) return Fail("the JSON ends too early");
    const char c = Peek();
    if (c == '{' || c == '[') {
      if (depth >= kJsonMaxDepth) return Fail("nested too deeply");
      return c == '{' ? ParseObject(value, depth + 1) : ParseArray(value, depth + 1);
    }
    if (c == '"') {
      value.type = JsonValue::Type::String;
      return ParseString(value.text);
    }
    if (c == '-' || IsDigit(c)) return ParseNumber(value);
    if (c == 't' || c == 'f') {
      value.type = JsonValue::Type::Boolean;
      value.boolean = c == 't';
      return Literal(c == 't' ? "true" : "false");
    }
    if (c == 'n') {
      value.type = JsonValue::Type::Null;
      return Literal("null");
    }
    return Fail("expected a JSON value");
  }

  bool ParseObject(JsonValue& value, int depth) {
    value.type = JsonValue::Type::Object;
    ++pos_;  // '{'
    SkipSpace();
    if (Peek() == '}') {
      ++pos_;
      return true;
    }
    // A set, not Find(): a long object would make the check quadratic.
    std::set<std::string, std::less<>> seen;
    while (true) {
      SkipSpace();
      if (Peek() != '"') return Fail("expected a member name in quotes");
      std::string key;
      if (!ParseString(key)) return false;
      if (!seen.insert(key).second) return Fail("member \"" + JsonEscape(key) + "\" given twice");
      SkipSpace();
      if (Peek() != ':') return Fail("expected ':'");
      ++pos_;
      SkipSpace();
      JsonValue member;
      if (!ParseValue(member, depth)) return false;
      value.keys.push_back(std::move(key));
      value.items.push_back(std::move(member));
      SkipSpace();
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      if (Peek() == '}') {
        ++pos_;
        return true;
      }
      return Fail("expected ',' or '}'");
    }
  }

  bool ParseArray(JsonValue& value, int depth) {
    value.type = JsonValue::Type::Array;
    ++pos_;  // '['
    SkipSpace();
    if (Peek() == ']') {
      ++pos_;
      return true;
    }
    while (true) {
      SkipSpace();
      JsonValue item;
      if (!ParseValue(item, depth)) return false;
      value.items.push_back(std::move(item));
      SkipSpace();
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      if (Peek() == ']') {
        ++pos_;
        return true;
      }
      return Fail("expected ',' or ']'");
    }
  }

  bool ParseHex4(std::uint32_t& code) {
    if (text_.size() - pos_ < 4) return Fail("short \\u escape");
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = HexDigit(text_[pos_ + i]);
      if (digit < 0) return Fail("bad \\u escape");
      code = code * 16 + static_cast<std::uint32_t>(digit);
    }
    pos_ += 4;
    return true;
  }

  bool ParseEscape(std::string& out) {
    if (AtEnd()) return Fail("unterminated string");
    const char c = text_[pos_++];
    switch (c) {
      case '"': out += '"'; return true;
      case '\\': out += '\\'; return true;
      case '/': out += '/'; return true;
      case 'b': out += '\b'; return true;
      case 'f': out += '\f'; return true;
      case 'n': out += '\n'; return true;
      case 'r': out += '\r'; return true;
      case 't': out += '\t'; return true;
      case 'u': break;
      default: --pos_; return Fail("unknown escape");
    }
    std::uint32_t code = 0;
    if (!ParseHex4(code)) return false;
    if (code >= 0xDC00 && code <= 0xDFFF) return Fail("lone low surrogate");
    if (code >= 0xD800 && code <= 0xDBFF) {
      // A character outside the basic plane comes as a surrogate pair.
      std::uint32_t low = 0;
      if (text_.substr(pos_, 2) != "\\u") return Fail("lone high surrogate");
      pos_ += 2;
      if (!ParseHex4(low)) return false;
      if (low < 0xDC00 || low > 0xDFFF) return Fail("lone high surrogate");
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(out, code);
    return true;
  }

  bool ParseString(std::string& out) {
    ++pos_;  // opening quote
    while (true) {
      if (AtEnd()) return Fail("unterminated string");
      const char c = text_[pos_];
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in a string");
      ++pos_;
      if (c == '\\') {
        if (!ParseEscape(out)) return false;
      } else {
        out += c;
      }
    }
  }

  bool Digits() {
    const std::size_t start = pos_;
    while (!AtEnd() && IsDigit(text_[pos_])) ++pos_;
    return pos_ > start;
  }

  bool ParseNumber(JsonValue& value) {
    const std::size_t start = pos_;
    if (Peek() == '-') ++pos_;
    if (Peek() == '0') {
      ++pos_;
      if (IsDigit(Peek())) return Fail("leading zero in a number");
    } else if (!Digits()) {
      return Fail("expected digits");
    }
    if (Peek() == '.') {
      ++pos_;
      if (!Digits()) return Fail("expected digits after '.'");
    }
    if (Peek() == 'e' || Peek() == 'E') {
      ++pos_;
      if (Peek() == '+' || Peek() == '-') ++pos_;
      if (!Digits()) return Fail("expected digits in the exponent");
    }
    value.type = JsonValue::Type::Number;
    value.text = std::string(text_.substr(start, pos_ - start));
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::string error_;
};

}  // namespace

JsonParseResult ParseJson(std::string_view text) { return Parser(text).Run(); }

std::optional<std::int64_t> JsonInteger(const JsonValue& value) {
  if (value.type != JsonValue::Type::Number) return std::nullopt;
  const std::string& text = value.text;
  if (text.find_first_of(".eE") != std::string::npos) return std::nullopt;
  std::int64_t number = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

std::string JsonQuote(std::string_view text) { return "\"" + JsonEscape(text) + "\""; }

JsonObjectWriter& JsonObjectWriter::Raw(std::string_view key, std::string_view json) {
  if (!body_.empty()) body_ += ", ";
  body_ += JsonQuote(key);
  body_ += ": ";
  body_ += json;
  return *this;
}

JsonObjectWriter& JsonObjectWriter::Number(std::string_view key, std::int64_t value) {
  return Raw(key, std::to_string(value));
}

JsonObjectWriter& JsonObjectWriter::String(std::string_view key, std::string_view value) {
  return Raw(key, JsonQuote(value));
}

JsonObjectWriter& JsonObjectWriter::Boolean(std::string_view key, bool value) {
  return Raw(key, value ? "true" : "false");
}

JsonObjectWriter& JsonObjectWriter::Null(std::string_view key) { return Raw(key, "null"); }

}  // namespace vktcli
