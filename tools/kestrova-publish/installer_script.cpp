#include "installer_script.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "base/files.h"
#include "base/ini.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

// A text as NSIS reads it literally: "$" would start a variable.
std::string Literal(const std::string& text) {
  std::string literal;
  for (char c : text) {
    if (c == '$') {
      literal += "$$";
    } else if (c == '"') {
      literal += "$\\\"";
    } else {
      literal += c;
    }
  }
  return literal;
}

std::string Quoted(const std::string& text) { return "\"" + Literal(text) + "\""; }
// A path below the installation folder, which NSIS names.
std::string Installed(const std::string& name) { return "\"$INSTDIR\\" + Literal(name) + "\""; }

std::string AbsolutePath(const std::string& path) {
  return fs::absolute(fs::path(path)).lexically_normal().string();
}

std::string UpdaterConfigurationName(const std::string& updater) {
  return fs::path(updater).stem().string() + ".ini";
}

// What the shortcuts show: the application's own icon when the configuration names it.
std::string MainProgram(const std::string& configuration) {
  std::string program = IniFile(configuration).ReadString("application", "main_program", "");
  for (char& c : program) {
    if (c == '/') c = '\\';
  }
  return program;
}

std::string Header(const TInstallerRequest& request) {
  const std::string key =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + request.name;
  std::string text;
  text += "; The setup program of " + request.name + " " + request.version +
          ", written by kestrova-publish installer.\n";
  text += "Unicode true\nSetCompressor /SOLID lzma\n";
  text += "!define NAME " + Quoted(request.name) + "\n";
  text += "!define UNINSTALL_KEY " + Quoted(key) + "\n";
  text += "Name \"${NAME}\"\n";
  text += "OutFile " + Quoted(AbsolutePath(request.output)) + "\n";
  if (request.all_users) {
    text += "RequestExecutionLevel admin\nInstallDir \"$PROGRAMFILES\\${NAME}\"\n";
  } else {
    // Per user: nothing to ask, and kestrova can update it without administrator rights.
    text += "RequestExecutionLevel user\nInstallDir \"$LOCALAPPDATA\\Programs\\${NAME}\"\n";
  }
  const char* context = request.all_users ? "all" : "current";
  text += "Page directory\nPage instfiles\nUninstPage uninstConfirm\nUninstPage instfiles\n";
  text += std::string("Function .onInit\n  SetShellVarContext ") + context + "\nFunctionEnd\n";
  text += std::string("Function un.onInit\n  SetShellVarContext ") + context + "\nFunctionEnd\n";
  return text;
}

std::string InstallSection(const TInstallerRequest& request) {
  const std::string updater = fs::path(request.updater).filename().string();
  const std::string main_program = MainProgram(request.configuration);
  const std::string icon = Installed(main_program.empty() ? updater : main_program);
  const std::string shortcut_target = Installed(updater) + " \"\" " + icon;
  std::string text = "Section \"Install\"\n  SetOutPath \"$INSTDIR\"\n";
  text += "  File /r " + Quoted(AbsolutePath(request.source) + "/*") + "\n";
  text += "  File " + Quoted(AbsolutePath(request.updater)) + "\n";
  text += "  File " + Quoted("/oname=" + UpdaterConfigurationName(request.updater)) + " " +
          Quoted(AbsolutePath(request.configuration)) + "\n";
  text += "  WriteUninstaller \"$INSTDIR\\uninstall.exe\"\n";
  // The shortcuts start the updater, which starts the application.
  text += "  CreateDirectory \"$SMPROGRAMS\\${NAME}\"\n";
  text += "  CreateShortcut \"$SMPROGRAMS\\${NAME}\\${NAME}.lnk\" " + shortcut_target + "\n";
  text += "  CreateShortcut \"$DESKTOP\\${NAME}.lnk\" " + shortcut_target + "\n";
  const std::string reg = "  WriteRegStr SHCTX \"${UNINSTALL_KEY}\" ";
  text += reg + "\"DisplayName\" \"${NAME}\"\n";
  text += reg + "\"DisplayVersion\" " + Quoted(request.version) + "\n";
  if (!request.publisher.empty()) text += reg + "\"Publisher\" " + Quoted(request.publisher) + "\n";
  text += reg + "\"DisplayIcon\" " + icon + "\n";
  text += reg + "\"InstallLocation\" \"$INSTDIR\"\n";
  text += reg + "\"UninstallString\" '\"$INSTDIR\\uninstall.exe\"'\n";
  text += reg + "\"QuietUninstallString\" '\"$INSTDIR\\uninstall.exe\" /S'\n";
  text += "  WriteRegDWORD SHCTX \"${UNINSTALL_KEY}\" \"NoModify\" 1\n";
  text += "  WriteRegDWORD SHCTX \"${UNINSTALL_KEY}\" \"NoRepair\" 1\n";
  return text + "SectionEnd\n";
}

std::string UninstallSection(const TInstallerRequest& request) {
  const std::string updater = fs::path(request.updater).filename().string();
  std::string text = "Section \"Uninstall\"\n";
  text += "  Delete \"$DESKTOP\\${NAME}.lnk\"\n  RMDir /r \"$SMPROGRAMS\\${NAME}\"\n";
  // Upgrades add and remove files, so the folder goes whole, but only a folder that
  // holds the updater: never one the user picked with /D and filled otherwise.
  text += "  IfFileExists " + Installed(updater) + " 0 +2\n";
  text += "    RMDir /r \"$INSTDIR\"\n";
  text += "  DeleteRegKey SHCTX \"${UNINSTALL_KEY}\"\n";
  return text + "SectionEnd\n";
}

// The name becomes the installation folder's, the uninstaller's registry key and the
// shortcuts' file names: one name Windows takes for a file, that leaves no folder.
bool WindowsFileName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ') {
    return false;
  }
  return std::none_of(name.begin(), name.end(), [](unsigned char c) {
    return c < 0x20 || std::string_view("\\/:*?\"<>|").find(char(c)) != std::string_view::npos;
  });
}

// What the shell that runs makensis (sh, or cmd on Windows) would take for its own in
// a double-quoted word.
bool ShellSafe(const std::string& path) { return path.find_first_of("\"$`%") == std::string::npos; }

}  // namespace

std::string InstallerScript(const TInstallerRequest& request) {
  return Header(request) + InstallSection(request) + UninstallSection(request);
}

std::string BuildInstaller(const TInstallerRequest& request) {
  std::vector<FolderEntry> entries;
  if (!ListFolder(request.source, entries) || entries.empty()) {
    return request.source + " holds no files to install";
  }
  if (!FileExists(request.updater)) return "no updater at " + request.updater;
  if (!FileExists(request.configuration)) return "no configuration at " + request.configuration;
  if (request.version.empty() || request.version.find_first_of("\"\r\n") != std::string::npos) {
    return "the version must be one line without quotes";
  }
  if (!WindowsFileName(request.name)) {
    return "the name must be a Windows file name (none of \\ / : * ? \" < > |): " + request.name;
  }
  if (request.publisher.find_first_of("\r\n") != std::string::npos) {
    return "the publisher must be one line";
  }
  const std::string script =
      fs::path(AbsolutePath(request.output)).replace_extension(".nsi").string();
  if (!ShellSafe(script)) return "the output path must not hold \" $ ` or %: " + script;
  if (!ReplaceFileSafely(script, InstallerScript(request))) return "cannot write " + script;
  const std::string command = "makensis -V2 -NOCD \"" + script + "\"";
  const int status = std::system(command.c_str());
  if (status != 0) return "makensis failed on " + script + " (is the nsis package installed?)";
  return {};
}

}  // namespace kestrova
