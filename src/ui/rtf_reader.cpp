#include "ui/rtf_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace kestrova::ui {
namespace {

// Deeper groups than this are read as skipped: real documents nest a few dozen
// levels, and the cap keeps the state stack small on hostile input.
constexpr size_t kMaxDepth = 256;
constexpr size_t kMaxKeywordLength = 32;
constexpr int kMaxParameterDigits = 10;

enum class Destination { Text, Skip, ColorTable };

struct GroupState {
  TextStyle style;
  TAlignment alignment = TAlignment::LeftJustify;
  int unicode_fallback = 1;  // \ucN: characters that follow each \uN as its fallback
  Destination destination = Destination::Text;
};

// Groups whose content is not part of the visible text.
bool IsSkippedDestination(std::string_view word) {
  static const std::unordered_set<std::string_view> kSkipped = {
      "fonttbl",  "stylesheet", "info",       "pict",       "object",     "header",
      "headerl",  "headerr",    "headerf",    "footer",     "footerl",    "footerr",
      "footerf",  "footnote",   "fldinst",    "themedata",  "colorschememapping",
      "latentstyles", "datastore", "listtable", "listoverridetable", "rsidtbl",
      "xmlnstbl", "generator",  "pgdsctbl",   "revtbl",     "filetbl",    "mmathPr",
      "nonshppict", "bkmkstart", "bkmkend",   "annotation", "atnid",      "atnauthor",
      "xe",       "tc",         "txe",        "userprops",  "docvar",     "do",
      "shpinst",  "template",   "aftncn",     "aftnsep",    "aftnsepc",   "ftncn",
      "ftnsep",   "ftnsepc",    "protusertbl", "wgrffmtfilter", "mhtmltag", "htmltag"};
  return kSkipped.count(word) != 0;
}

// Windows-1252 differs from Latin-1 only in 0x80-0x9F.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t FromCp1252(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kCp1252High[byte - 0x80];
  return byte;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
  if (c > 0x10FFFF) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct ControlWord {
  std::string_view name;
  bool has_parameter = false;
  int parameter = 0;
};

class RtfReader {
 public:
  explicit RtfReader(std::string_view input) : in_(input) {}

  StyledDocument Read() {
    while (pos_ < in_.size() && !finished_) {
      const char c = in_[pos_++];
      switch (c) {
        case '{': OpenGroup(); break;
        case '}': CloseGroup(); break;
        case '\\': ReadControl(); break;
        case '\r':
        case '\n': break;
        case '\t': Character(U'\t'); break;
        default:
          if (static_cast<unsigned char>(c) >= 0x20) {
            Character(FromCp1252(static_cast<unsigned char>(c)));
          }
      }
    }
    FlushParagraph(/*keep_empty=*/false);
    return std::move(doc_);
  }

 private:
  GroupState& State() { return stack_.back(); }

  bool Skipping() const { return overflow_ > 0 || stack_.back().destination != Destination::Text; }

  void OpenGroup() {
    pending_fallback_ = 0;
    if (stack_.size() >= kMaxDepth || overflow_ > 0) {
      ++overflow_;
      return;
    }
    stack_.push_back(stack_.back());
  }

  void CloseGroup() {
    pending_fallback_ = 0;
    if (overflow_ > 0) {
      --overflow_;
      return;
    }
    if (stack_.back().destination == Destination::ColorTable) colors_done_ = true;
    stack_.pop_back();
    // The document's own group has closed; anything after it is not part of it.
    if (stack_.size() == 1) finished_ = true;
  }

  void ReadControl() {
    if (pos_ >= in_.size()) return;
    const char c = in_[pos_];
    if (IsLetter(c)) {
      ControlWord word = ReadControlWord();
      if (ConsumeFallback()) {
        // A control word standing in for a \uN character counts as that character,
        // except \bin, whose bytes must still be stepped over.
        if (word.name == "bin") SkipBinary(word);
        return;
      }
      Keyword(word);
      return;
    }
    ++pos_;
    if (c == '\'') {
      ReadHexByte();
      return;
    }
    if (ConsumeFallback()) return;
    switch (c) {
      case '\\':
      case '{':
      case '}': Character(static_cast<unsigned char>(c)); break;
      case '~': Character(U'\u00A0'); break;
      case '_': Character(U'\u2011'); break;
      case '\r':
      case '\n': EndParagraph(); break;
      case '\t': Character(U'\t'); break;
      case '*': State().destination = Destination::Skip; break;
      default: break;  // \- optional hyphen, \| \: index marks, and anything unknown
    }
  }

  ControlWord ReadControlWord() {
    const size_t start = pos_;
    while (pos_ < in_.size() && IsLetter(in_[pos_])) ++pos_;
    ControlWord word;
    word.name = in_.substr(start, std::min(pos_ - start, kMaxKeywordLength));
    bool negative = false;
    if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() && IsDigit(in_[pos_ + 1])) {
      negative = true;
      ++pos_;
    }
    int64_t value = 0;
    int digits = 0;
    while (pos_ < in_.size() && IsDigit(in_[pos_])) {
      if (digits < kMaxParameterDigits) value = value * 10 + (in_[pos_] - '0');
      ++digits;
      ++pos_;
    }
    if (digits > 0) {
      value = std::min<int64_t>(value, INT32_MAX);
      word.has_parameter = true;
      word.parameter = static_cast<int>(negative ? -value : value);
    }
    if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
    return word;
  }

  void ReadHexByte() {
    int value = 0;
    int digits = 0;
    while (digits < 2 && pos_ < in_.size() && HexValue(in_[pos_]) >= 0) {
      value = value * 16 + HexValue(in_[pos_]);
      ++digits;
      ++pos_;
    }
    if (digits == 0) return;
    Character(FromCp1252(static_cast<unsigned char>(value)));
  }

  void SkipBinary(const ControlWord& word) {
    const size_t count = word.has_parameter && word.parameter > 0 ? static_cast<size_t>(word.parameter) : 0;
    pos_ += std::min(count, in_.size() - pos_);
  }

  // Drops one fallback character of the last \uN. Returns whether it did.
  bool ConsumeFallback() {
    if (pending_fallback_ <= 0) return false;
    --pending_fallback_;
    return true;
  }

  void Keyword(const ControlWord& w) {
    const std::string_view n = w.name;
    const bool on = !w.has_parameter || w.parameter != 0;
    GroupState& s = State();
    if (n == "bin") return SkipBinary(w);
    if (n == "colortbl") {
      s.destination = Destination::ColorTable;
      return;
    }
    if (IsSkippedDestination(n)) {
      s.destination = Destination::Skip;
      return;
    }
    if (s.destination == Destination::ColorTable) return ColorComponent(w);
    if (n == "u") return Unicode(w.parameter);
    if (n == "uc") {
      s.unicode_fallback = std::max(0, w.parameter);
      return;
    }
    if (n == "par" || n == "sect" || n == "page" || n == "row" || n == "nestrow") return EndParagraph();
    if (n == "line") return Character(U'\u2028');
    if (n == "tab" || n == "cell" || n == "nestcell") return Character(U'\t');
    if (n == "emdash") return Character(U'\u2014');
    if (n == "endash") return Character(U'\u2013');
    if (n == "bullet") return Character(U'\u2022');
    if (n == "lquote") return Character(U'\u2018');
    if (n == "rquote") return Character(U'\u2019');
    if (n == "ldblquote") return Character(U'\u201C');
    if (n == "rdblquote") return Character(U'\u201D');
    if (n == "emspace" || n == "enspace" || n == "qmspace") return Character(U' ');
    if (n == "b") s.style.bold = on;
    else if (n == "i") s.style.italic = on;
    else if (n == "ul" || n == "uld" || n == "uldb" || n == "ulw" || n == "ulth") s.style.underline = on;
    else if (n == "ulnone") s.style.underline = false;
    else if (n == "strike") s.style.strike = on;
    else if (n == "plain") s.style = TextStyle{};
    else if (n == "fs") {
      if (w.has_parameter && w.parameter > 0) s.style.half_points = w.parameter;
    } else if (n == "cf") s.style.color = TableColor(w.parameter);
    else if (n == "highlight" || n == "cb" || n == "chcbpat") s.style.background = TableColor(w.parameter);
    else if (n == "pard") s.alignment = TAlignment::LeftJustify;
    else if (n == "ql" || n == "qj" || n == "qd") s.alignment = TAlignment::LeftJustify;
    else if (n == "qr") s.alignment = TAlignment::RightJustify;
    else if (n == "qc") s.alignment = TAlignment::Center;
  }

  void ColorComponent(const ControlWord& w) {
    const auto component = static_cast<uint8_t>(std::clamp(w.parameter, 0, 255));
    if (w.name == "red") color_.red = component;
    else if (w.name == "green") color_.green = component;
    else if (w.name == "blue") color_.blue = component;
    else return;
    color_defined_ = true;
  }

  std::optional<TColor> TableColor(int index) const {
    if (index <= 0 || static_cast<size_t>(index) >= colors_.size()) return std::nullopt;
    return colors_[static_cast<size_t>(index)];
  }

  void Unicode(int value) {
    pending_fallback_ = State().unicode_fallback;
    // Values above 32767 are written as negative 16-bit numbers.
    char32_t unit = value < -32768 || value > 65535 ? 0xFFFD : static_cast<char32_t>(static_cast<uint16_t>(value));
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      high_surrogate_ = unit;
      return;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF && high_surrogate_) {
      unit = 0x10000 + ((high_surrogate_ - 0xD800) << 10) + (unit - 0xDC00);
    }
    high_surrogate_ = 0;
    Emit(unit);
  }

  void Character(char32_t c) {
    if (ConsumeFallback()) return;
    if (high_surrogate_) {
      high_surrogate_ = 0;
      Emit(0xFFFD);
    }
    Emit(c);
  }

  void Emit(char32_t c) {
    if (overflow_ > 0) return;
    GroupState& s = State();
    if (s.destination == Destination::ColorTable) {
      if (c == U';') EndColor();
      return;
    }
    if (s.destination != Destination::Text) return;
    if (c < 0x20 && c != U'\t') return;  // control characters are no text
    std::vector<StyledRun>& runs = paragraph_.runs;
    if (runs.empty() || !(runs.back().style == s.style)) runs.push_back(StyledRun{{}, s.style});
    AppendUtf8(runs.back().text, c);
  }

  void EndColor() {
    if (colors_done_) return;  // a second colour table adds nothing
    colors_.push_back(color_defined_ ? std::optional<TColor>(color_) : std::nullopt);
    color_ = TColor{};
    color_defined_ = false;
  }

  void EndParagraph() {
    if (Skipping()) return;
    FlushParagraph(/*keep_empty=*/true);
  }

  void FlushParagraph(bool keep_empty) {
    if (paragraph_.runs.empty() && !keep_empty) return;
    paragraph_.alignment = State().alignment;
    doc_.paragraphs.push_back(std::move(paragraph_));
    paragraph_ = StyledParagraph{};
  }

  std::string_view in_;
  size_t pos_ = 0;
  // The bottom entry stands for the text outside every group; the document's own
  // group sits above it.
  std::vector<GroupState> stack_{GroupState{}};
  size_t overflow_ = 0;
  bool finished_ = false;
  int pending_fallback_ = 0;
  char32_t high_surrogate_ = 0;
  std::vector<std::optional<TColor>> colors_;
  TColor color_;
  bool color_defined_ = false;
  bool colors_done_ = false;
  StyledParagraph paragraph_;
  StyledDocument doc_;
};

}  // namespace

bool IsRtf(std::string_view body) { return body.substr(0, 5) == "{\\rtf"; }

std::optional<StyledDocument> ReadRtf(std::string_view body) {
  if (!IsRtf(body)) return std::nullopt;
  return RtfReader(body).Read();
}

}  // namespace kestrova::ui
