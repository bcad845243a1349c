// Markdown read by libcmark; its node tree written out as the RTF the window's reader knows.
#include <cmark.h>

#include <memory>
#include <vector>

#include "markdown_rtf.h"

namespace kestrova {
namespace {

struct NodeDeleter {
  void operator()(cmark_node* node) const { cmark_node_free(node); }
};
struct IterDeleter {
  void operator()(cmark_iter* iter) const { cmark_iter_free(iter); }
};

class RtfWriter {
 public:
  std::string Write(cmark_node* document) {
    std::unique_ptr<cmark_iter, IterDeleter> iter(cmark_iter_new(document));
    for (cmark_event_type event; (event = cmark_iter_next(iter.get())) != CMARK_EVENT_DONE;) {
      cmark_node* node = cmark_iter_get_node(iter.get());
      if (event == CMARK_EVENT_ENTER) Enter(node);
      else Exit(node);
    }
    return rtf_;
  }

 private:
  static const char* Literal(cmark_node* node) {
    const char* text = cmark_node_get_literal(node);
    return text ? text : "";
  }

  static const char* HeadingStyle(int level) {
    return level == 1 ? "{\\b\\fs32 " : level == 2 ? "{\\b\\fs28 " : "{\\b\\fs24 ";
  }

  void Enter(cmark_node* node) {
    switch (cmark_node_get_type(node)) {
      case CMARK_NODE_DOCUMENT: rtf_ += "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Tahoma;}{\\f1 Courier New;}}\n"; break;
      case CMARK_NODE_HEADING: rtf_ += HeadingStyle(cmark_node_get_heading_level(node)); break;
      case CMARK_NODE_STRONG: rtf_ += "{\\b "; break;
      case CMARK_NODE_EMPH: rtf_ += "{\\i "; break;
      case CMARK_NODE_LIST: next_numbers_.push_back(cmark_node_get_list_start(node)); break;
      case CMARK_NODE_ITEM: StartItem(cmark_node_get_list_type(cmark_node_parent(node))); break;
      case CMARK_NODE_TEXT: rtf_ += EscapeRtfText(Literal(node)); break;
      case CMARK_NODE_CODE: rtf_ += "{\\f1 " + EscapeRtfText(Literal(node)) + "}"; break;
      case CMARK_NODE_CODE_BLOCK: WriteCodeBlock(Literal(node)); break;
      case CMARK_NODE_SOFTBREAK: rtf_ += ' '; break;
      case CMARK_NODE_LINEBREAK: rtf_ += "\\line "; break;
      case CMARK_NODE_THEMATIC_BREAK: rtf_ += "\\par\n"; break;
      default: break;  // links and images show their text; raw HTML is left out
    }
  }

  void Exit(cmark_node* node) {
    switch (cmark_node_get_type(node)) {
      case CMARK_NODE_DOCUMENT: rtf_ += "}\n"; break;
      case CMARK_NODE_HEADING: rtf_ += "\\par}\n"; break;
      case CMARK_NODE_STRONG:
      case CMARK_NODE_EMPH: rtf_ += '}'; break;
      case CMARK_NODE_PARAGRAPH: rtf_ += "\\par\n"; break;
      case CMARK_NODE_LIST: next_numbers_.pop_back(); break;
      default: break;
    }
  }

  // The marker goes before the item's first paragraph; nested lists indent by two blanks.
  void StartItem(cmark_list_type type) {
    rtf_ += std::string(2 * (next_numbers_.size() - 1), ' ');
    if (type == CMARK_ORDERED_LIST) rtf_ += std::to_string(next_numbers_.back()++) + ".\\tab ";
    else rtf_ += "\\bullet\\tab ";
  }

  void WriteCodeBlock(std::string_view code) {
    if (!code.empty() && code.back() == '\n') code.remove_suffix(1);
    for (size_t begin = 0;;) {
      const size_t end = code.find('\n', begin);
      rtf_ += "{\\f1 " + EscapeRtfText(code.substr(begin, end - begin)) + "}\\par\n";
      if (end == std::string_view::npos) break;
      begin = end + 1;
    }
  }

  std::string rtf_;
  std::vector<int> next_numbers_;  // per open list
};

}  // namespace

std::optional<std::string> MarkdownToRtf(std::string_view markdown, std::string& error) {
  std::unique_ptr<cmark_node, NodeDeleter> document(
      cmark_parse_document(markdown.data(), markdown.size(), CMARK_OPT_DEFAULT));
  if (!document) {
    error = "cannot read the Markdown description";
    return std::nullopt;
  }
  return RtfWriter().Write(document.get());
}

}  // namespace kestrova
