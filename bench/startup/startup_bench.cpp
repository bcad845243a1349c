// Times the start of an application from the moment its starter is spawned to the
// moment the application runs: directly and through each prepared updater folder,
// taking turns, and prints the median of each and its difference to the direct start.
//
//   bench_startup RUNS PROBE NAME=UPDATER...
//
// PROBE is the application (bench_startup_probe); each UPDATER is an updater whose
// configuration starts PROBE with the file it is to write as its first argument.
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

struct Starter {
  std::string name;
  std::string program;
  std::vector<double> milliseconds;
};

long long MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// The probe's moment, once it has written it whole; 0 after ten seconds without.
long long ProbeMoment(const std::string& path) {
  for (int i = 0; i < 10000; ++i) {
    std::ifstream in(path);
    long long moment = 0;
    std::string line;
    if (std::getline(in, line) && in.good() && !line.empty()) moment = std::stoll(line);
    if (moment > 0) return moment;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return 0;
}

// One start: milliseconds from the spawn to the probe's first moment; -1 on failure.
double TimeOneStart(const std::string& program, const std::string& mark) {
  std::filesystem::remove(mark);
  std::vector<std::string> args{program, mark};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const long long start = MonotonicNanoseconds();
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
  const long long moment = ProbeMoment(mark);
  int status = 0;
  waitpid(pid, &status, 0);  // a check in the background ends after the start
  return moment > 0 ? (moment - start) / 1e6 : -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_startup RUNS PROBE NAME=UPDATER...\n");
    return 2;
  }
  const int runs = std::stoi(argv[1]);
  std::vector<Starter> starters{{"direct", argv[2], {}}};
  for (int i = 3; i < argc; ++i) {
    const std::string starter = argv[i];
    const size_t equals = starter.find('=');
    starters.push_back({starter.substr(0, equals), starter.substr(equals + 1), {}});
  }
  const std::string mark =
      (std::filesystem::temp_directory_path() / ("kestrova-startup-" + std::to_string(getpid()))).string();
  for (int run = 0; run < runs; ++run) {
    for (Starter& starter : starters) {
      const double ms = TimeOneStart(starter.program, mark);
      if (ms < 0) {
        std::fprintf(stderr, "%s did not start the application\n", starter.name.c_str());
        return 1;
      }
      starter.milliseconds.push_back(ms);
    }
  }
  std::filesystem::remove(mark);
  const double direct = Median(starters.front().milliseconds);
  std::printf("%-26s %12s %14s\n", "start", "median ms", "vs direct ms");
  for (const Starter& starter : starters) {
    const double median = Median(starter.milliseconds);
    std::printf("%-26s %12.2f %+14.2f\n", starter.name.c_str(), median, median - direct);
  }
  return 0;
}
