#include "cli/json.h"

#include <cstdio>

#include "session/safe_text.h"

namespace tessaly::cli {

std::string JsonWriter::escape(std::string_view text) {
  std::string out = "\"";
  auto escaped = [&](unsigned code) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", code);
    out += buf;
  };
  walkSafeText(
      text,
      [&](std::string_view kept) {
        for (char c : kept) {
          if (c == '"')
            out += "\\\"";
          else if (c == '\\')
            out += "\\\\";
          else
            out += c;
        }
      },
      [&](char32_t c, std::string_view bytes) {
        // Control characters and direction overrides as escapes; a byte that is no UTF-8
        // by its own value, so that every byte stays visible and the document valid.
        if (c == '\n')
          out += "\\n";
        else if (c == '\r')
          out += "\\r";
        else if (c == '\t')
          out += "\\t";
        else
          escaped(bytes.size() == 1 ? static_cast<unsigned char>(bytes[0])
                                    : static_cast<unsigned>(c));
      });
  out += '"';
  return out;
}

void JsonWriter::separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) out_ << ',';
    first_.back() = false;
  }
}

JsonWriter& JsonWriter::beginObject() {
  separate();
  out_ << '{';
  first_.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::endObject() {
  first_.pop_back();
  out_ << '}';
  return *this;
}

JsonWriter& JsonWriter::beginArray() {
  separate();
  out_ << '[';
  first_.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::endArray() {
  first_.pop_back();
  out_ << ']';
  return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
  separate();
  out_ << escape(name) << ':';
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) {
  separate();
  out_ << escape(text);
  return *this;
}

JsonWriter& JsonWriter::value(std::uint64_t number) {
  separate();
  out_ << number;
  return *this;
}

JsonWriter& JsonWriter::value(std::int64_t number) {
  separate();
  out_ << number;
  return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
  separate();
  out_ << (flag ? "true" : "false");
  return *this;
}

JsonWriter& JsonWriter::null() {
  separate();
  out_ << "null";
  return *this;
}

}  // namespace tessaly::cli
