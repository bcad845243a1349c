#include "recipe.h"

#include <functional>
#include <map>

#include "base/text.h"
#include "core/configuration.h"
#include "release/action_list.h"

namespace kestrova {
namespace {

// A value becomes one line of an INI file: a line break would add keys of its own.
bool IsSingleLine(const std::string& value) { return value.find_first_of("\r\n") == std::string::npos; }

// A "#" starts a comment only at the line's start or after a blank: URLs carry "#"
// inside a value, and a comment after a value must not become part of it.
std::string_view WithoutComment(std::string_view line) {
  for (size_t at = line.find('#'); at != std::string_view::npos; at = line.find('#', at + 1)) {
    if (at == 0 || line[at - 1] == ' ' || line[at - 1] == '\t') return line.substr(0, at);
  }
  return line;
}

using Setter = std::function<std::string(TReleaseRecipe&, const std::string&)>;

std::string Once(std::string& field, const std::string& value) {
  if (!field.empty()) return "given twice";
  field = value;
  return {};
}

std::string Inside(std::vector<std::string>& list, const std::string& value, bool folder) {
  // The updater refuses a list whose entries leave the application folder.
  if (folder ? !NamesSubfolder(value) : !NamesPlaceInside(value)) return "must name a place inside the application folder";
  list.push_back(value);
  return {};
}

std::string Version(TReleaseRecipe& recipe, const std::string& value) {
  const std::string fault = VersionFault(value);
  return fault.empty() ? Once(recipe.version, value) : fault;
}

std::string DownloadServer(TReleaseRecipe& recipe, const std::string& value) {
  if (recipe.download_servers.size() == 2) return "at most two download servers";
  const std::string fault = DownloadServerFault(value);
  if (fault.empty()) recipe.download_servers.push_back(value);
  return fault;
}

const std::map<std::string, Setter, std::less<>>& Instructions() {
  static const std::map<std::string, Setter, std::less<>> instructions = {
      {"version", Version},
      {"date", [](TReleaseRecipe& r, const std::string& v) { return Once(r.date, v); }},
      {"filedir", [](TReleaseRecipe& r, const std::string& v) { return Once(r.filedir, v); }},
      {"description", [](TReleaseRecipe& r, const std::string& v) { return Once(r.description, v); }},
      {"download_server", DownloadServer},
      {"save",
       [](TReleaseRecipe& r, const std::string& v) {
         r.save.push_back(v);
         return std::string();
       }},
      {"delete", [](TReleaseRecipe& r, const std::string& v) { return Inside(r.delete_files, v, false); }},
      {"delete_folder", [](TReleaseRecipe& r, const std::string& v) { return Inside(r.delete_folders, v, true); }},
      {"check_shortcuts",
       [](TReleaseRecipe& r, const std::string&) {
         r.check_shortcuts = true;
         return std::string();
       }},
      {"upgrade_kestrova",
       [](TReleaseRecipe& r, const std::string&) {
         r.upgrade_kestrova = true;
         return std::string();
       }},
  };
  return instructions;
}

std::string CompletenessError(const TReleaseRecipe& recipe) {
  if (recipe.version.empty()) return "no version";
  if (recipe.download_servers.empty()) return "no download_server";
  if (recipe.description.empty()) return "no description";
  return {};
}

}  // namespace

std::string VersionFault(std::string_view version) {
  if (IsReleaseVersion(version)) return {};
  return "version \"" + std::string(version) +
         "\" is refused by every updater: 1 to 64 letters, digits and \". - _ +\"";
}

std::string DownloadServerFault(std::string_view url) {
  const std::string quoted = "\"" + std::string(url) + "\"";
  if (url.find_first_of(" \t") != std::string_view::npos) {
    return "a download server has no blanks: " + quoted;
  }
  const bool http = url.starts_with("http://") || url.starts_with("https://");
  if (!http || url.ends_with("//")) {
    return "a download server is an http:// or https:// URL: " + quoted;
  }
  return {};
}

std::optional<TReleaseRecipe> ParseRecipe(const std::string& text, std::string& error) {
  TReleaseRecipe recipe;
  size_t number = 0;
  for (size_t begin = 0; begin < text.size();) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    const std::string_view raw = std::string_view(text).substr(begin, end - begin);
    const std::string line(TrimBlanks(WithoutComment(raw)));
    begin = end + 1;
    ++number;
    if (line.empty()) continue;
    const size_t blank = line.find_first_of(" \t");
    const std::string word = line.substr(0, blank);
    const std::string value = blank == std::string::npos ? "" : std::string(TrimBlanks(line.substr(blank)));
    const auto instruction = Instructions().find(word);
    std::string fault = instruction == Instructions().end() ? "unknown instruction \"" + word + "\""
                        : !IsSingleLine(value)              ? "a line break in the value"
                                                            : instruction->second(recipe, value);
    if (!fault.empty()) {
      error = "line " + std::to_string(number) + ": " + fault;
      return std::nullopt;
    }
  }
  error = CompletenessError(recipe);
  if (!error.empty()) return std::nullopt;
  return recipe;
}

}  // namespace kestrova
