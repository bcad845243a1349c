// The replacement script for the Windows command interpreter, run as batch_update.bat.
// cmd.exe reads a script in the ANSI code page, so the script is written in it.
#include <windows.h>

#include <optional>
#include <string_view>

#include "base/text.h"
#include "base/wide_text_win32.h"
#include "core/command_line.h"
#include "core/configuration.h"
#include "upgrade/replacement_script.h"

namespace kestrova {
namespace {

// The executable can be replaced only once the updater has ended; the script tries
// once a second for at most a minute, so a slow exit never loses the new updater and
// a stuck one never keeps the script waiting for ever.
constexpr int kReplaceTries = 60;
constexpr char kWaitOneSecond[] = "ping 127.0.0.1 -n 2 -w 1000 > nul";
// The first wait gives the closing updater a head start, as the fixed wait always did.
constexpr char kWaitTwoSeconds[] = "ping 127.0.0.1 -n 3 -w 1000 > nul";

// Text as the interpreter sees it: "%" always doubled (the script expands variables
// even inside quotes), and the interpreter's operators escaped outside quotes.
std::string EscapeForInterpreter(std::string_view text) {
  std::string escaped;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (c == '%') {
      escaped += "%%";
      continue;
    }
    if (!quoted && std::string_view("^&|<>()").find(c) != std::string_view::npos) escaped += '^';
    escaped += c;
  }
  return escaped;
}

// A file name as one word of a command; Windows file names hold no double quote.
std::string Quoted(const std::string& name) { return EscapeForInterpreter("\"" + name + "\""); }

// The UTF-8 script in the ANSI code page, or nothing when a name has no form there:
// the interpreter would then act on another file.
std::optional<std::string> InAnsiCodePage(const std::string& script) {
  const std::wstring wide = WideText(script);
  if (wide.empty()) return std::string();
  BOOL lossy = FALSE;
  const int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()),
                                         nullptr, 0, nullptr, &lossy);
  if (size <= 0 || lossy) return std::nullopt;
  std::string ansi(size_t(size), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), ansi.data(), size,
                        nullptr, &lossy);
  return ansi;
}

// Moves `from` over `to` as soon as the system lets it (a running executable cannot
// be replaced), trying at most kReplaceTries times.
std::string MoveWhenFree(const std::string& label, const std::string& from, const std::string& to) {
  const std::string tries = "tries_" + label;
  return "set /a " + tries + "=0\r\n" +
         ":" + label + "\r\n" +
         "move /y " + Quoted(from) + " " + Quoted(to) + " > nul 2> nul\r\n" +
         "if not exist " + Quoted(from) + " goto " + label + "_done\r\n" +
         "set /a " + tries + "+=1\r\n" +
         "if %" + tries + "% geq " + std::to_string(kReplaceTries) + " goto " + label + "_done\r\n" +
         kWaitOneSecond + "\r\n" +
         "goto " + label + "\r\n" +
         ":" + label + "_done\r\n";
}

// `start` lets the script end (and delete itself) while the new updater runs on.
std::string RestartUpdater(const TReplacementRequest& request) {
  std::string line = "start \"\" ";
  line += Quoted(request.executable_name);
  for (const std::string& argument : request.updater_arguments) {
    line += ' ';
    line += EscapeForInterpreter(QuoteWindowsArgument(argument));
  }
  return line + "\r\n";
}

}  // namespace

const char* ReplacementScriptName() { return "batch_update.bat"; }

std::string ReplacementScript(const TReplacementRequest& request, bool new_executable,
                              bool new_configuration) {
  // The script is started in the application folder and names nothing outside it, so
  // the folder's name never meets the code page or the interpreter's "%" rules. It
  // refuses to act anywhere else.
  std::string script = "@echo off\r\nsetlocal disableDelayedExpansion\r\nif not exist \"%~nx0\" exit /b 1\r\n";
  script += std::string(kWaitTwoSeconds) + "\r\n";
  if (new_executable) script += MoveWhenFree("executable", kNewUpdaterFileName, request.executable_name);
  if (new_configuration) {
    const std::string configuration_name = ConfigurationPath("", request.executable_name);
    script += MoveWhenFree("configuration", kNewConfigurationFileName, configuration_name);
  }
  if (request.LaunchRequested) script += RestartUpdater(request);
  script += "del \"%~nx0\"\r\n";
  return InAnsiCodePage(script).value_or("");
}

}  // namespace kestrova
