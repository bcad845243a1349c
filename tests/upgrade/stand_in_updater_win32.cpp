// A stand-in for the updater in the replacement tests: appends which copy ran, with
// its arguments, to ran.txt in its working folder. Given "--hold", it keeps running
// until a file "release" appears there (at most half a minute), as a closing updater.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

int main(int argc, char** argv) {
  std::string line = KESTROVA_STAND_IN_WORD;
  bool hold = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--hold") hold = true;
    line += std::string(" ") + argv[i];
  }
  for (int i = 0; hold && i < 3000 && !std::filesystem::exists("release"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::ofstream("ran.txt", std::ios::app | std::ios::binary) << line << "\n";
  return 0;
}
